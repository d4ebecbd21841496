// The estimate of the bytes a run writes, against the files a run of each
// study writes on the shipped data, and the refusal of a run that would not
// fit on its disk.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "output/format_registry.h"
#include "qual/QUAL.h"
#include "quan/QUAN.h"
#include "quan/trait_model.h"
#include "run/run_driver.h"
#include "test_files.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::TempDir;

// Records what a run announces.
class AnnouncingHost : public FormHost {
 public:
  void Refresh(const RunProgress& /*progress*/) override {}
  void SetRunning(bool /*running*/) override {}
  void Announce(const RunEstimate& estimate) override { announced.push_back(estimate); }
  std::vector<RunEstimate> announced;
};

// The files of each format in a replicate folder.
const std::map<std::string, std::vector<std::string>>& FilesOfFormats() {
  static const std::map<std::string, std::vector<std::string>> files{
      {"origin", {"Origin.txt"}},
      {"eigensoft",
       {"Eigensoft_Pca.geno", "Eigensoft_Pca.snp", "Eigensoft_Pca.ind", "Eigensoft.phen", "Eigensoft_Strat.geno"}},
      {"admixmap", {"Admixmap_geno.txt", "Admixmap_loci.txt", "Admixmap_phen.txt"}},
      {"plink", {"Plink.ped", "Plink.map"}},
      {"bed", {"Plink.bed", "Plink.bim", "Plink.fam"}},
      {"vcf.gz", {"Genotypes.vcf.gz", "Genotypes.vcf.gz.tbi"}},
      {"bcf", {"Genotypes.bcf", "Genotypes.bcf.csi"}},
      {"structure-strat", {"Structure.txt", "Strat.txt"}},
      {"gc", {"GC.txt"}},
      {"truth", {"Loci.tsv", "Individuals.tsv", "Truth.tsv"}},
      {"local-ancestry", {"LocalAncestry.bp"}},
  };
  return files;
}

// Runs one replicate of every format with the ancestry tracked and checks
// that each format's estimate is at least the bytes written and not far
// above them, and that the run announced the sum.
template <typename Study>
void CheckEstimates(Study& study, StudyKind kind, int qtls, LineEnds lineEnds) {
  TempDir tmp;
  study.parameters.outputDirectory = (tmp.path() / "out").string();
  study.parameters.sampleSize = 400;
  study.parameters.totalLocusCount = 2000;
  study.parameters.nullLocusCount = 100;
  study.parameters.missingRate = 0.01;
  study.parameters.replicateCount = 1;
  RunOptions options;
  options.dataDir = fs::path(KORVANE_SOURCE_DIR) / "data";
  options.seed = 7;
  options.calibrated = true;
  options.localAncestry = true;
  options.lineEnds = lineEnds;
  options.formats.names = {"bed", "vcf.gz", "bcf"};
  AnnouncingHost host;
  ASSERT_EQ(study.Run(options, host).status, RunOutcome::Status::kCompleted);
  ASSERT_EQ(host.announced.size(), 1u);

  ReplicateShape shape;
  shape.study = kind;
  shape.individuals = 400;
  shape.loci = 2000;
  shape.nullLoci = 100;
  shape.qtls = qtls;
  shape.missingRate = 0.01;
  shape.localAncestry = true;
  shape.lineEnds = lineEnds;
  std::uintmax_t sum = 0;
  for (const FormatRow& row : FormatRegistry()) {
    if (!row.studies.Has(kind)) continue;
    std::uintmax_t written = 0;
    for (const std::string& file : FilesOfFormats().at(std::string(row.name))) {
      written += fs::file_size(tmp.path() / "out" / "1" / file);
    }
    const std::uintmax_t estimated = row.estimate(shape);
    sum += estimated;

    // Text files follow from their layouts; compressed ones and the tracts
    // depend on the data, and are estimated with a margin.
    const bool dataDependent = row.name == "vcf.gz" || row.name == "bcf" || row.name == "local-ancestry";
    EXPECT_GE(estimated, written) << row.name;
    EXPECT_LE(static_cast<double>(estimated), static_cast<double>(written) * (dataDependent ? 2.5 : 1.25)) << row.name;
  }
  EXPECT_EQ(host.announced[0].perReplicate, sum);
  EXPECT_EQ(host.announced[0].total, sum);
}

TEST(RunEstimateTest, EachFormatsEstimateCoversItsFiles) {
  QualStudy qual;
  CheckEstimates(qual, StudyKind::kQualitative, 0, LineEnds::kLf);
  QuanStudy quan;
  const auto qtls = static_cast<int>(ActiveQtls(quan.parameters).size());
  CheckEstimates(quan, StudyKind::kQuantitative, qtls, LineEnds::kCrlf);
}

// A run that no disk holds is refused before anything is written, its
// output directory not even created; the estimate was announced first.
TEST(RunEstimateTest, ARunLargerThanTheFreeSpaceIsRefused) {
  TempDir tmp;
  QualStudy study;
  study.parameters.outputDirectory = (tmp.path() / "new" / "out").string();
  study.parameters.sampleSize = 10000000;
  study.parameters.totalLocusCount = 12867;
  study.parameters.replicateCount = 1000000;
  RunOptions options;
  options.dataDir = tmp.path() / "no-data";  // never read
  AnnouncingHost host;
  const RunOutcome outcome = study.Run(options, host);
  EXPECT_EQ(outcome.status, RunOutcome::Status::kRefused);
  EXPECT_TRUE(outcome.shortOfSpace);
  EXPECT_THAT(outcome.message, HasSubstr("per replicate) and its file system has"));
  EXPECT_FALSE(fs::exists(tmp.path() / "new"));
  ASSERT_EQ(host.announced.size(), 1u);
  EXPECT_EQ(host.announced[0].replicates, 1000000);
  EXPECT_GT(host.announced[0].total, std::uintmax_t{1} << 60);

  // Told to ignore the space, the run goes on to read its data (and fails
  // there: it has none).
  options.ignoreSpace = true;
  const RunOutcome started = study.Run(options, host);
  EXPECT_EQ(started.status, RunOutcome::Status::kFailed);
  EXPECT_TRUE(started.dataFailed);
  options.ignoreSpace = false;

  // The refusal names the formats chosen only by name too: an unknown one
  // is refused before the estimate.
  options.formats.names = {"no-such-format"};
  host.announced.clear();
  const RunOutcome unknown = study.Run(options, host);
  EXPECT_EQ(unknown.status, RunOutcome::Status::kRefused);
  EXPECT_THAT(unknown.message, HasSubstr("no-such-format"));
  EXPECT_TRUE(host.announced.empty());
}

}  // namespace
}  // namespace korvane
