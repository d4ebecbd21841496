// The PLINK binary files: byte for byte on hand-made replicates, and decoded
// back against the genotypes given, from a writer's own store and from one
// store that an OutputSet shares with EIGENSOFT, held or spilled.

#include "output/plink_binary_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "output/eigensoft_writer.h"
#include "output/origin_writer.h"
#include "output/output_set.h"
#include "parallel/work_team.h"
#include "test_files.h"
#include "tiny_replicate.h"

namespace korvane {
namespace {

using testing::ReadFile;
using testing::ReadTree;
using testing::TempDir;
using testing::TinyReplicate;

std::string Bytes(std::initializer_list<int> bytes) {
  std::string text;
  for (int byte : bytes) text.push_back(static_cast<char>(byte));
  return text;
}

void Write(const TinyReplicate& replicate, const TempDir& dir, LineEnds lineEnds) {
  PlinkBinaryWriter writer(dir.path(), lineEnds);
  replicate.Feed(writer);
  writer.Close();
}

// Allele 1 is the rarer class; a tie gives allele 1 to the class seen
// second (snp1, snp5, snp7: class 1 seen first; snp6: class 2); the
// missing genotypes of snp2 and snp7 are 01; three individuals leave two
// zero bits in each locus's byte.
TEST(PlinkBinaryWriterTest, QualitativeReplicate) {
  TempDir dir;
  Write(TinyReplicate::Qualitative(), dir, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "Plink.bed"), Bytes({0x6c, 0x1b, 0x01, 0x23, 0x36, 0x3c, 0x3a, 0x0b, 0x23, 0x26}));
  EXPECT_EQ(ReadFile(dir / "Plink.bim"),
            "1\tsnp1\t0.000000\t1000\t2\t1\n"
            "1\tsnp2\t0.000000\t2000\t1\t2\n"
            "1\tsnp3\t0.001000\t3000\t2\t1\n"
            "2\tsnp4\t0.000000\t500\t2\t1\n"
            "2\tsnp5\t1.250000\t12345678\t2\t1\n"
            "3\tsnp6\t0.000000\t42\t1\t2\n"
            "3\tsnp7\t0.000000\t43\t2\t1\n");
  EXPECT_EQ(ReadFile(dir / "Plink.fam"),
            "1 1 0 0 1 2\n"
            "2 2 0 0 2 1\n"
            "3 3 0 0 1 2\n");
}

// The phenotype as in Plink.ped; CRLF line ends reach the text files only.
TEST(PlinkBinaryWriterTest, QuantitativeReplicateInCrlf) {
  TempDir lf;
  TempDir crlf;
  Write(TinyReplicate::Quantitative(), lf, LineEnds::kLf);
  Write(TinyReplicate::Quantitative(), crlf, LineEnds::kCrlf);
  EXPECT_EQ(ReadFile(crlf / "Plink.bed"), ReadFile(lf / "Plink.bed"));
  EXPECT_EQ(ReadFile(lf / "Plink.bed"), Bytes({0x6c, 0x1b, 0x01, 0x23, 0x36, 0x3c, 0x3a, 0x0b, 0x23, 0x26}));
  EXPECT_EQ(ReadFile(crlf / "Plink.fam"),
            "1 1 0 0 1 -3.46\r\n"
            "2 2 0 0 2 20.00\r\n"
            "3 3 0 0 1 0.12\r\n");
  EXPECT_EQ(ReadFile(crlf / "Plink.bim").substr(0, 48), "1\tsnp1\t0.000000\t1000\t2\t1\r\n1\tsnp2\t0.000000\t2000\t1");
}

// Loci that one allele class (or none) fills: allele 1 is 0 as PLINK makes
// it, the carriers homozygous for allele 2; five individuals fill a byte
// and two codes of the next.
TEST(PlinkBinaryWriterTest, MonomorphicAndEmptyLociOverTwoBytes) {
  TinyReplicate r;
  r.entries = {{1, 1, std::nullopt, 10}, {1, 2, 0.5, 20}, {1, 3, 0.25, 30}, {2, 4, std::nullopt, 40}};
  r.isNull.assign(4, 0);
  for (int i = 1; i <= 5; ++i) {
    r.individuals.push_back({i, Sex::kFemale, i % 2 ? Affection::kAffected : Affection::kUnaffected, std::nullopt, 0});
    const Genotype missingOrOne = i == 3 ? Genotype{0, 0} : Genotype{1, 1};
    r.genotypes.push_back({missingOrOne, {2, 2}, {0, 0}, i <= 2 ? Genotype{2, 1} : Genotype{1, 1}});
  }
  TempDir dir;
  Write(r, dir, LineEnds::kLf);
  // snp1: 11 11 01 11 | 11; snp2: 11 x5; snp3: 01 x5; snp4: two
  // heterozygotes then three homozygotes of class 1, allele 1 class 2.
  EXPECT_EQ(ReadFile(dir / "Plink.bed"), Bytes({0x6c, 0x1b, 0x01, 0xdf, 0x03, 0xff, 0x03, 0x55, 0x01, 0xfa, 0x03}));
  EXPECT_EQ(ReadFile(dir / "Plink.bim"),
            "1\tsnp1\t0.000000\t10\t0\t1\n"
            "1\tsnp2\t0.500000\t20\t0\t2\n"
            "1\tsnp3\t0.750000\t30\t0\t0\n"
            "2\tsnp4\t0.000000\t40\t2\t1\n");
}

TEST(PlinkBinaryWriterTest, AnEmptySampleGivesTheMagicBytesAndTheLoci) {
  TinyReplicate r = TinyReplicate::Qualitative();
  r.individuals.clear();
  r.genotypes.clear();
  TempDir dir;
  Write(r, dir, LineEnds::kLf);
  EXPECT_EQ(ReadFile(dir / "Plink.bed"), Bytes({0x6c, 0x1b, 0x01}));
  EXPECT_EQ(ReadFile(dir / "Plink.fam"), "");
  EXPECT_EQ(ReadFile(dir / "Plink.bim").substr(0, 25), "1\tsnp1\t0.000000\t1000\t0\t0\n");
}

TEST(PlinkBinaryWriterTest, WithoutFinishTheLocusFilesStayEmpty) {
  const TinyReplicate r = TinyReplicate::Qualitative();
  TempDir dir;
  {
    PlinkBinaryWriter writer(dir.path(), LineEnds::kLf);
    r.FeedLoci(writer);
    r.FeedIndividuals(writer);
    writer.Close();
  }
  EXPECT_EQ(ReadFile(dir / "Plink.bed"), "");
  EXPECT_EQ(ReadFile(dir / "Plink.bim"), "");
  EXPECT_EQ(ReadFile(dir / "Plink.fam").size(), 36u);
}

TEST(PlinkBinaryWriterTest, RejectsInconsistentInput) {
  const TinyReplicate r = TinyReplicate::Qualitative();
  TempDir dir;
  PlinkBinaryWriter writer(dir.path(), LineEnds::kLf);
  r.FeedLoci(writer);
  const std::vector<Genotype> shortRow(3, Genotype{1, 1});
  const std::vector<std::uint8_t> flags(3, 0);
  EXPECT_THROW(writer.Individual(r.individuals[0], GenotypeRow{shortRow, flags}), std::invalid_argument);
  IndividualRecord neither = r.individuals[0];
  neither.affection = std::nullopt;
  EXPECT_THROW(writer.Individual(neither, r.Row(0)), std::invalid_argument);
  writer.Individual(r.individuals[0], r.Row(0));
  EXPECT_THROW(writer.Locus(r.entries[0]), std::logic_error);
}

TEST(PlinkBinaryWriterTest, AFileThatCannotBeCreatedIsNamed) {
  TempDir dir;
  std::filesystem::create_directory(dir / "Plink.bed");
  try {
    PlinkBinaryWriter writer(dir.path(), LineEnds::kLf);
    ADD_FAILURE() << "no OutputError";
  } catch (const OutputError& error) {
    EXPECT_NE(std::string(error.what()).find((dir / "Plink.bed").string()), std::string::npos) << error.what();
  }
}

// A full disk: the failed write names Plink.bed, at the latest when it is closed.
TEST(PlinkBinaryWriterTest, AFailedWriteIsReportedWithThePath) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  std::filesystem::create_symlink("/dev/full", dir / "Plink.bed");
  const TinyReplicate r = TinyReplicate::Qualitative();
  std::string message = "(no OutputError)";
  try {
    PlinkBinaryWriter writer(dir.path(), LineEnds::kLf);
    r.Feed(writer);
    writer.Close();
  } catch (const OutputError& error) {
    message = error.what();
  }
  EXPECT_NE(message.find((dir / "Plink.bed").string()), std::string::npos) << message;
}

// A random replicate of `n` individuals at `loci` loci, about 5 % missing,
// with some loci of one class only.
TinyReplicate RandomReplicate(int n, int loci, bool quantitative) {
  TinyReplicate r;
  unsigned state = 7u + static_cast<unsigned>(n * 31 + loci);
  auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
  for (int j = 0; j < loci; ++j)
    r.entries.push_back({1 + j / 25, j + 1, j % 25 ? std::optional(0.01 * j) : std::nullopt, 100.0 * j});
  r.isNull.assign(static_cast<std::size_t>(loci), 0);
  r.truth.causalPositionsAll = {loci / 3};
  for (int i = 1; i <= n; ++i) {
    IndividualRecord individual{i, next() % 2 ? Sex::kMale : Sex::kFemale, std::nullopt, std::nullopt, 0};
    if (quantitative) {
      individual.phenotype = static_cast<double>(next() % 1000) / 10.0;
    } else {
      individual.affection = next() % 2 ? Affection::kAffected : Affection::kUnaffected;
    }
    r.individuals.push_back(individual);
    std::vector<Genotype> row(static_cast<std::size_t>(loci));
    for (std::size_t j = 0; j < row.size(); ++j) {
      const unsigned draw = next();
      const std::uint8_t fixed = j % 11 == 0 ? 1 : j % 13 == 0 ? 2 : 0;
      if (draw % 100 >= 5) {
        row[j] = fixed != 0 ? Genotype{fixed, fixed}
                            : Genotype{static_cast<std::uint8_t>(1 + draw / 100 % 2),
                                       static_cast<std::uint8_t>(1 + draw / 300 % 2)};
      }
    }
    r.genotypes.push_back(row);
  }
  return r;
}

// Plink.bed read back with the alleles of Plink.bim: each individual's
// genotype as the sorted allele codes ("12", "22", "00" when missing).
std::vector<std::vector<std::string>> Decode(const std::filesystem::path& dir, std::size_t n) {
  const std::string bed = ReadFile(dir / "Plink.bed");
  std::istringstream bim(ReadFile(dir / "Plink.bim"));
  EXPECT_EQ(bed.substr(0, 3), Bytes({0x6c, 0x1b, 0x01}));
  const std::size_t bytes = (n + 3) / 4;
  std::vector<std::vector<std::string>> loci;
  std::string chromosome, id, cm, bp, a1, a2;
  for (std::size_t j = 0; bim >> chromosome >> id >> cm >> bp >> a1 >> a2; ++j) {
    std::vector<std::string> column;
    for (std::size_t i = 0; i < n; ++i) {
      const int code = (static_cast<unsigned char>(bed.at(3 + j * bytes + i / 4)) >> (2 * (i % 4))) & 3;
      const std::string pairs[4] = {a1 + a1, "00", std::min(a1, a2) + std::max(a1, a2), a2 + a2};
      column.push_back(pairs[code]);
    }
    // The padding bits are zero.
    if (n % 4 != 0) {
      EXPECT_EQ(static_cast<unsigned char>(bed.at(3 + j * bytes + bytes - 1)) >> (2 * (n % 4)), 0);
    }
    loci.push_back(column);
  }
  EXPECT_EQ(bed.size(), 3 + loci.size() * bytes);
  return loci;
}

void ExpectGenotypesOf(const TinyReplicate& r, const std::filesystem::path& dir) {
  const auto loci = Decode(dir, r.individuals.size());
  ASSERT_EQ(loci.size(), r.entries.size());
  for (std::size_t j = 0; j < loci.size(); ++j) {
    for (std::size_t i = 0; i < r.individuals.size(); ++i) {
      const Genotype g = r.genotypes[i][j];
      const char low = static_cast<char>('0' + std::min(g.first, g.second));
      const char high = static_cast<char>('0' + std::max(g.first, g.second));
      ASSERT_EQ(loci[j][i], std::string({low, high})) << "locus " << j << ", individual " << i;
    }
  }
}

// The files of an attempt that writes EIGENSOFT and the PLINK binary files
// from one store, with the given memory bound, the scratch file left out.
std::map<std::string, std::string> SharedStoreFiles(const TinyReplicate& r, StudyKind study, std::size_t bound,
                                                    const std::filesystem::path& dir, WorkTeam* team = nullptr) {
  OutputSet set(dir, FormatSelection{"eigensoft", "bed"}, study, AncestryFormat::kSourcePool, LineEnds::kLf,
                FormatRegistry(), bound);
  if (team != nullptr) set.ShareWith(*team);
  r.Feed(set);
  set.Close();
  return ReadTree(dir);
}

TEST(PlinkBinaryWriterTest, OneSharedStoreGivesTheFilesOfSeparateWritersHeldOrSpilled) {
  for (const bool quantitative : {false, true}) {
    for (const int n : {0, 1, 4, 9, 30, 203}) {
      SCOPED_TRACE(::testing::Message() << n << " individuals, quantitative " << quantitative);
      const TinyReplicate r = RandomReplicate(n, 61, quantitative);
      const StudyKind study = quantitative ? StudyKind::kQuantitative : StudyKind::kQualitative;
      // Each writer on its own store, as the EIGENSOFT writer always was.
      TempDir alone;
      {
        EigensoftWriter eigensoft(alone.path(), LineEnds::kLf);
        PlinkBinaryWriter bed(alone.path(), LineEnds::kLf);
        OriginWriter origin(alone.path(), AncestryFormat::kSourcePool, LineEnds::kLf);
        r.Feed(origin);
        r.Feed(eigensoft);
        r.Feed(bed);
        origin.Close();
        eigensoft.Close();
        bed.Close();
      }
      ExpectGenotypesOf(r, alone.path());
      const auto expected = ReadTree(alone.path());
      TempDir held;
      EXPECT_TRUE(SharedStoreFiles(r, study, OutputSet::kDefaultGenotypeMemoryBound, held.path()) == expected);
      // A bound of one block of 8 individuals: every block goes to the
      // scratch file, and the loci are read back one at a time.
      TempDir spilled;
      EXPECT_TRUE(SharedStoreFiles(r, study, 1, spilled.path()) == expected);
      TempDir someBands;
      EXPECT_TRUE(SharedStoreFiles(r, study, 3 * 2 * 61 + 5, someBands.path()) == expected);
      // On a team the writers finish side by side, but those of a spilled
      // store take turns.
      WorkTeam team(3);
      TempDir teamHeld;
      EXPECT_TRUE(SharedStoreFiles(r, study, OutputSet::kDefaultGenotypeMemoryBound, teamHeld.path(), &team) ==
                  expected);
      TempDir teamSpilled;
      EXPECT_TRUE(SharedStoreFiles(r, study, 1, teamSpilled.path(), &team) == expected);
    }
  }
}

// The checkpoint is called between loci of Plink.bed, and a throw from it
// ends the writing.
TEST(PlinkBinaryWriterTest, TheCheckpointIsCalledWhileTheLociAreWritten) {
  const TinyReplicate r = RandomReplicate(40, 200, false);
  TempDir dir;
  PlinkBinaryWriter writer(dir.path(), LineEnds::kLf);
  int calls = 0;
  writer.SetCheckpoint([&calls] { ++calls; }, 50);  // 10 bytes a locus: every fourth locus
  r.Feed(writer);
  writer.Close();
  EXPECT_EQ(calls, 50);
  TempDir stopped;
  PlinkBinaryWriter stopping(stopped.path(), LineEnds::kLf);
  stopping.SetCheckpoint([] { throw std::runtime_error("stop"); }, 50);
  r.FeedLoci(stopping);
  r.FeedIndividuals(stopping);
  EXPECT_THROW(stopping.Finish(r.truth), std::runtime_error);
}

}  // namespace
}  // namespace korvane
