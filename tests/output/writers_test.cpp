#include <gtest/gtest.h>

#include <string>

#include "output/admixmap_writer.h"
#include "output/eigensoft_writer.h"
#include "output/gc_writer.h"
#include "output/origin_writer.h"
#include "output/plink_writer.h"
#include "output/structure_strat_writer.h"
#include "test_files.h"
#include "tiny_replicate.h"

namespace korvane {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::TinyReplicate;

template <typename Writer, typename... Args>
void WriteReplicate(const TinyReplicate& replicate, const TempDir& dir, Args... args) {
  Writer writer(dir.path(), args...);
  replicate.Feed(writer);
  writer.Close();
}

TEST(OriginWriterTest, SourcePoolRowsReadOneOrZero) {
  TempDir dir;
  TinyReplicate replicate = TinyReplicate::Qualitative();
  replicate.individuals[2].ancestry = 0.999;  // not a YRI pool individual
  WriteReplicate<OriginWriter>(replicate, dir, AncestryFormat::kSourcePool, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "Origin.txt"),
            "IndID    Proportion of YRI\n"
            "1        1.0\n"
            "2        0.0\n"
            "3        0.0\n");
}

TEST(OriginWriterTest, ExactRowsPrintSixDecimals) {
  TempDir dir;
  TinyReplicate replicate = TinyReplicate::Qualitative();
  replicate.individuals[0].ancestry = 0.245;
  replicate.individuals[1].ancestry = 0.0000005;
  replicate.individuals[2].ancestry = 1.0;
  WriteReplicate<OriginWriter>(replicate, dir, AncestryFormat::kExact, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "Origin.txt"),
            "IndID    Proportion of YRI\n"
            "1        0.245000\n"
            "2        0.000000\n"
            "3        1.000000\n");
}

TEST(OriginWriterTest, HeaderIsWrittenWhenOpened) {
  TempDir dir;
  OriginWriter writer(dir.path(), AncestryFormat::kSourcePool, LineEnds::kLf);
  writer.Close();
  EXPECT_EQ(ReadFile(dir / "Origin.txt"), "IndID    Proportion of YRI\n");
}

TEST(PlinkWriterTest, QualitativeMapAndPedigree) {
  TempDir dir;
  WriteReplicate<PlinkWriter>(TinyReplicate::Qualitative(), dir, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "Plink.map"),
            "1 snp1  0.000000 1000\n"
            "1 snp2  0.000000 2000\n"
            "1 snp3  0.001000 3000\n"
            "2 snp4  0.000000 500\n"
            "2 snp5  1.250000 12345678\n"
            "3 snp6  0.000000 42\n"
            "3 snp7  0.000000 43\n");
  EXPECT_EQ(ReadFile(dir / "Plink.ped"),
            "1 1 0 0 1 2 1 1 1 2 2 2 2 1 1 1 2 2 1 2 \n"
            "2 2 0 0 2 1 2 2 0 0 1 1 1 2 2 1 1 1 0 0 \n"
            "3 3 0 0 1 2 1 2 2 2 1 1 1 1 2 2 1 2 2 1 \n");
}

TEST(PlinkWriterTest, QuantitativePedigreeCarriesThePhenotype) {
  TempDir dir;
  WriteReplicate<PlinkWriter>(TinyReplicate::Quantitative(), dir, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "Plink.ped"),
            "1 1 0 0 1 -3.46 1 1 1 2 2 2 2 1 1 1 2 2 1 2 \n"
            "2 2 0 0 2 20.00 2 2 0 0 1 1 1 2 2 1 1 1 0 0 \n"
            "3 3 0 0 1 0.12 1 2 2 2 1 1 1 1 2 2 1 2 2 1 \n");
}

TEST(PlinkWriterTest, CrlfModeStoresCarriageReturns) {
  TempDir dir;
  WriteReplicate<PlinkWriter>(TinyReplicate::Qualitative(), dir, LineEnds::kCrlf);
  const std::string map = ReadFile(dir / "Plink.map");
  EXPECT_EQ(map.substr(0, 48), "1 snp1  0.000000 1000\r\n1 snp2  0.000000 2000\r\n1 ");
  EXPECT_EQ(ReadFile(dir / "Plink.ped").substr(0, 44), "1 1 0 0 1 2 1 1 1 2 2 2 2 1 1 1 2 2 1 2 \r\n2 ");
}

TEST(StructureStratWriterTest, SplitsTheLociByTheirNullFlag) {
  TempDir dir;
  WriteReplicate<StructureStratWriter>(TinyReplicate::Qualitative(), dir, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "Strat.txt"),
            "1 2 2 2 2 1 2 2 1 2\n"
            "2 1 1 1 1 2 1 1 -9 -9\n"
            "3 2 1 1 1 1 1 2 2 1\n");
  EXPECT_EQ(ReadFile(dir / "Structure.txt"),
            "1 1 1 1 2 1 1\n"
            "2 2 2 -9 -9 2 1\n"
            "3 1 2 2 2 2 2\n");
}

TEST(StructureStratWriterTest, NoNullLociLeavesTheIdentifierAlone) {
  TempDir dir;
  TinyReplicate replicate = TinyReplicate::Qualitative();
  replicate.isNull.assign(replicate.isNull.size(), 0);
  WriteReplicate<StructureStratWriter>(replicate, dir, LineEnds::kCrlf);
  EXPECT_EQ(ReadFile(dir / "Structure.txt"), "1\r\n2\r\n3\r\n");
  EXPECT_EQ(ReadFile(dir / "Strat.txt").substr(0, 33), "1 2 1 1 1 2 2 2 2 1 1 1 2 2 1 2\r\n");
}

TEST(StructureStratWriterTest, RejectsARowWithoutAFlagPerLocus) {
  TempDir dir;
  TinyReplicate replicate = TinyReplicate::Qualitative();
  StructureStratWriter writer(dir.path(), LineEnds::kLf);
  const std::vector<std::uint8_t> shortFlags(3, 0);
  EXPECT_THROW(writer.Individual(replicate.individuals[0], GenotypeRow{replicate.genotypes[0], shortFlags}),
               std::invalid_argument);
}

TEST(AdmixmapWriterTest, LociGenotypesAndTrait) {
  TempDir dir;
  WriteReplicate<AdmixmapWriter>(TinyReplicate::Qualitative(), dir, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "Admixmap_loci.txt"),
            "\"LocusName\" \"NumberOfAlleles\" \"DistanceFromLast\"\n"
            "\"snp1\"  2 NA\n"
            "\"snp2\"  2 NA\n"
            "\"snp3\"  2 0.001000\n"
            "\"snp4\"  2 NA\n"
            "\"snp5\"  2 1.250000\n"
            "\"snp6\"  2 NA\n"
            "\"snp7\"  2 NA\n");
  EXPECT_EQ(ReadFile(dir / "Admixmap_geno.txt"),
            "id snp1 snp2 snp3 snp4 snp5 snp6 snp7 \n"
            "1  \"1,1\"  \"1,2\"  \"2,2\"  \"2,1\"  \"1,1\"  \"2,2\"  \"1,2\" \n"
            "2  \"2,2\"  \"0,0\"  \"1,1\"  \"1,2\"  \"2,1\"  \"1,1\"  \"0,0\" \n"
            "3  \"1,2\"  \"2,2\"  \"1,1\"  \"1,1\"  \"2,2\"  \"1,2\"  \"2,1\" \n");
  EXPECT_EQ(ReadFile(dir / "Admixmap_phen.txt"), "trait\n1\n0\n1\n");
}

TEST(AdmixmapWriterTest, TheSmallestPrintedDistanceIsNotNa) {
  TempDir dir;
  AdmixmapWriter writer(dir.path(), LineEnds::kLf);
  writer.BeginLoci();
  writer.Locus({1, 1, std::nullopt, 10});
  writer.Locus({1, 2, 0.0000006, 20});
  writer.Locus({1, 3, 0.00000049, 30});
  writer.Locus({1, 4, -0.5, 40});
  writer.EndLoci();
  writer.Close();
  EXPECT_EQ(ReadFile(dir / "Admixmap_loci.txt"),
            "\"LocusName\" \"NumberOfAlleles\" \"DistanceFromLast\"\n"
            "\"snp1\"  2 NA\n"
            "\"snp2\"  2 0.000001\n"
            "\"snp3\"  2 NA\n"
            "\"snp4\"  2 NA\n");
  EXPECT_EQ(ReadFile(dir / "Admixmap_geno.txt"), "id snp1 snp2 snp3 snp4 \n");
}

TEST(GcWriterTest, NullLociComeAfterTheCandidateLoci) {
  TempDir dir;
  WriteReplicate<GcWriter>(TinyReplicate::Qualitative(), dir, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "GC.txt"),
            "1 1 2 2 2 1 2 2 1 2 1 1 1 2 1 1\n"
            "2 0 1 1 1 2 1 1 0 0 2 2 0 0 2 1\n"
            "3 1 1 1 1 1 1 2 2 1 1 2 2 2 2 2\n");
}

TEST(GcWriterTest, QuantitativeLinesCarryThePhenotype) {
  TempDir dir;
  TinyReplicate replicate = TinyReplicate::Quantitative();
  replicate.isNull.assign(replicate.isNull.size(), 0);
  WriteReplicate<GcWriter>(replicate, dir, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "GC.txt"),
            "1 -3.46 1 1 1 2 2 2 2 1 1 1 2 2 1 2\n"
            "2 20.00 2 2 0 0 1 1 1 2 2 1 1 1 0 0\n"
            "3 0.12 1 2 2 2 1 1 1 1 2 2 1 2 2 1\n");
}

TEST(GcWriterTest, ManyNullLociAreAllHeldBack) {
  // More null loci than a fixed buffer of 13000 codes would hold.
  TempDir dir;
  const int loci = 7001;
  std::vector<Genotype> genotypes(loci, Genotype{1, 2});
  std::vector<std::uint8_t> isNull(loci, 1);
  genotypes.back() = Genotype{2, 2};
  isNull.back() = 0;
  GcWriter writer(dir.path(), LineEnds::kLf);
  writer.Individual(IndividualRecord{1, Sex::kMale, Affection::kAffected, std::nullopt, 0.0},
                    GenotypeRow{genotypes, isNull});
  writer.Close();
  std::string expected = "1 1 2 2";
  for (int j = 0; j < loci - 1; ++j) expected += " 1 2";
  expected += "\n";
  EXPECT_EQ(ReadFile(dir / "GC.txt"), expected);
}

TEST(EigensoftWriterTest, QualitativeReplicate) {
  TempDir dir;
  WriteReplicate<EigensoftWriter>(TinyReplicate::Qualitative(), dir, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.ind"), "1 M Case\n2 F Control\n3 M Case\n");
  EXPECT_EQ(ReadFile(dir / "Eigensoft.phen"), "101");
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.geno"), "201\n190\n022\n210\n021\n191\n");
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Strat.geno"), "112\n");
  // snp4, the first locus of region 2, is causal: snp5 keeps its distance from it.
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.snp"),
            "snp1  1 0.000000 1000 1 2\n"
            "snp2  1 0.000000 2000 1 2\n"
            "snp3  1 0.001000 3000 1 2\n"
            "snp5  2 1.250000 12345678 1 2\n"
            "snp6  3 0.000000 42 1 2\n"
            "snp7  3 0.000000 43 1 2\n");
}

TEST(EigensoftWriterTest, QuantitativeReplicateWithARepeatedQtl) {
  TempDir dir;
  WriteReplicate<EigensoftWriter>(TinyReplicate::Quantitative(), dir, LineEnds::kCrlf);
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.ind"), "1 M Null\r\n2 F Null\r\n3 M Null\r\n");
  EXPECT_EQ(ReadFile(dir / "Eigensoft.phen"), "-3.46\r\n20.00\r\n0.12\r\n");
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.geno"), "201\r\n190\r\n022\r\n210\r\n021\r\n");
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Strat.geno"), "112\r\n191\r\n");
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.snp"),
            "snp1  1 0.000000 1000 1 2\r\n"
            "snp2  1 0.000000 2000 1 2\r\n"
            "snp3  1 0.001000 3000 1 2\r\n"
            "snp5  2 1.250000 12345678 1 2\r\n"
            "snp6  3 0.000000 42 1 2\r\n");
}

TEST(EigensoftWriterTest, NoCausalLocusPutsEveryLocusInThePcaFiles) {
  TempDir dir;
  TinyReplicate replicate = TinyReplicate::Qualitative();
  replicate.truth.causalPositionsAll = {0};
  WriteReplicate<EigensoftWriter>(replicate, dir, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.geno"), "201\n190\n022\n112\n210\n021\n191\n");
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Strat.geno"), "");
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.snp").substr(78, 27), "snp4  2 0.000000 500 1 2\nsn");
}

TEST(EigensoftWriterTest, AnEmptySampleGivesOneEmptyLinePerLocus) {
  TempDir dir;
  TinyReplicate replicate = TinyReplicate::Qualitative();
  replicate.individuals.clear();
  replicate.truth.causalPositionsAll = {0};
  WriteReplicate<EigensoftWriter>(replicate, dir, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.geno"), std::string(7, '\n'));
  EXPECT_EQ(ReadFile(dir / "Eigensoft.phen"), "");
}

TEST(EigensoftWriterTest, WithoutFinishTheClosingFilesStayEmpty) {
  TempDir dir;
  {
    EigensoftWriter writer(dir.path(), LineEnds::kLf);
    const TinyReplicate replicate = TinyReplicate::Qualitative();
    replicate.FeedLoci(writer);
    replicate.FeedIndividuals(writer);
    writer.Close();
  }
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.ind"), "1 M Case\n2 F Control\n3 M Case\n");
  EXPECT_EQ(ReadFile(dir / "Eigensoft.phen"), "101");
  for (const char* name : {"Eigensoft_Pca.geno", "Eigensoft_Strat.geno", "Eigensoft_Pca.snp"}) {
    EXPECT_EQ(ReadFile(dir / name), "") << name;
  }
}

TEST(EigensoftWriterTest, RejectsInconsistentInput) {
  TempDir dir;
  const TinyReplicate replicate = TinyReplicate::Qualitative();
  {
    EigensoftWriter writer(dir.path(), LineEnds::kLf);
    replicate.FeedLoci(writer);
    replicate.FeedIndividuals(writer);
    EXPECT_THROW(writer.Finish(ReplicateTruth{{8}}), std::invalid_argument);
  }
  {
    EigensoftWriter writer(dir.path(), LineEnds::kLf);
    replicate.FeedLoci(writer);
    const std::vector<Genotype> shortRow(6, Genotype{1, 1});
    EXPECT_THROW(writer.Individual(replicate.individuals[0], GenotypeRow{shortRow, {}}), std::invalid_argument);
  }
}

// A case-control column is never made up: an individual with neither a
// case-control status nor a phenotype value is refused by every writer that
// prints a trait, and one of a quantitative study by the case-control formats.
TEST(WritersTest, AnIndividualWithoutCaseControlStatusIsRefused) {
  TempDir dir;
  const TinyReplicate qualitative = TinyReplicate::Qualitative();
  IndividualRecord neither = qualitative.individuals[0];
  neither.affection = std::nullopt;
  const IndividualRecord withPhenotype = TinyReplicate::Quantitative().individuals[0];
  const GenotypeRow row = qualitative.Row(0);
  PlinkWriter plink(dir.path(), LineEnds::kLf);
  GcWriter gc(dir.path(), LineEnds::kLf);
  EigensoftWriter eigensoft(dir.path(), LineEnds::kLf);
  AdmixmapWriter admixmap(dir.path(), LineEnds::kLf);
  StructureStratWriter structureStrat(dir.path(), LineEnds::kLf);
  const std::initializer_list<FormatWriter*> traitWriters = {&plink, &gc, &eigensoft, &admixmap, &structureStrat};
  for (FormatWriter* writer : traitWriters) EXPECT_THROW(writer->Individual(neither, row), std::invalid_argument);
  EXPECT_THROW(admixmap.Individual(withPhenotype, row), std::invalid_argument);
  EXPECT_THROW(structureStrat.Individual(withPhenotype, row), std::invalid_argument);
}

}  // namespace
}  // namespace korvane
