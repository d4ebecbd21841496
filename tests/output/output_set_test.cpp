#include "output/output_set.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "test_files.h"
#include "tiny_replicate.h"

namespace korvane {
namespace {

using ::testing::HasSubstr;
using testing::ReadFile;
using testing::TempDir;
using testing::TinyReplicate;
using testing::WriteFile;

std::set<std::string> FilesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

const std::set<std::string> kEigensoft = {"Eigensoft_Pca.snp", "Eigensoft.phen", "Eigensoft_Pca.geno",
                                          "Eigensoft_Strat.geno", "Eigensoft_Pca.ind"};
const std::set<std::string> kAdmixmap = {"Admixmap_loci.txt", "Admixmap_geno.txt", "Admixmap_phen.txt"};
const std::set<std::string> kPlink = {"Plink.map", "Plink.ped"};
const std::set<std::string> kStructureStrat = {"Structure.txt", "Strat.txt"};

std::set<std::string> Union(std::initializer_list<std::set<std::string>> groups) {
  std::set<std::string> all = {"Origin.txt"};
  for (const auto& group : groups) all.insert(group.begin(), group.end());
  return all;
}

std::set<std::string> RunSet(const TempDir& dir, const FormatSelection& formats, StudyKind study) {
  const TinyReplicate replicate =
      study == StudyKind::kQualitative ? TinyReplicate::Qualitative() : TinyReplicate::Quantitative();
  OutputSet set(dir.path(), formats, study, AncestryFormat::kSourcePool, LineEnds::kLf);
  replicate.Feed(set);
  set.Close();
  return FilesIn(dir.path());
}

TEST(OutputSetTest, OpensTheFilesOfTheTickedFormats) {
  {
    TempDir dir;
    EXPECT_EQ(RunSet(dir, FormatSelection{}, StudyKind::kQualitative),
              Union({kEigensoft, kAdmixmap, kPlink, kStructureStrat, {"GC.txt"}}));
  }
  {
    TempDir dir;
    EXPECT_EQ(RunSet(dir, FormatSelection{false, true, false, true, false}, StudyKind::kQualitative),
              Union({kAdmixmap, kStructureStrat}));
  }
  {
    TempDir dir;
    EXPECT_EQ(RunSet(dir, FormatSelection{false, false, false, false, false}, StudyKind::kQualitative),
              std::set<std::string>{"Origin.txt"});
  }
}

TEST(OutputSetTest, AQuantitativeStudyHasNoCaseControlFormats) {
  {
    TempDir dir;
    EXPECT_EQ(RunSet(dir, FormatSelection{}, StudyKind::kQuantitative), Union({kEigensoft, kPlink, {"GC.txt"}}));
  }
  {
    TempDir dir;
    EXPECT_EQ(RunSet(dir, FormatSelection{false, true, false, true, true}, StudyKind::kQuantitative),
              Union({{"GC.txt"}}));
  }
}

TEST(OutputSetTest, EveryFileGetsTheEventsOfTheAttempt) {
  TempDir dir;
  RunSet(dir, FormatSelection{}, StudyKind::kQualitative);
  EXPECT_EQ(ReadFile(dir / "Origin.txt"), "IndID    Proportion of YRI\n1        1.0\n2        0.0\n3        1.0\n");
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Strat.geno"), "112\n");
  EXPECT_EQ(ReadFile(dir / "Admixmap_phen.txt"), "trait\n1\n0\n1\n");
  EXPECT_EQ(ReadFile(dir / "Plink.map").substr(0, 22), "1 snp1  0.000000 1000\n");
  EXPECT_EQ(ReadFile(dir / "Structure.txt"), "1 1 1 1 2 1 1\n2 2 2 -9 -9 2 1\n3 1 2 2 2 2 2\n");
  EXPECT_EQ(ReadFile(dir / "GC.txt").substr(0, 32), "1 1 2 2 2 1 2 2 1 2 1 1 1 2 1 1\n");
}

TEST(OutputSetTest, ARepeatedAttemptStartsFromEmptyFiles) {
  TempDir dir;
  const TinyReplicate replicate = TinyReplicate::Qualitative();
  {
    // A failed attempt: rows but no closing step.
    OutputSet set(dir.path(), FormatSelection{}, StudyKind::kQualitative, AncestryFormat::kSourcePool,
                  LineEnds::kLf);
    replicate.FeedLoci(set);
    replicate.FeedIndividuals(set);
    set.Close();
  }
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.geno"), "");
  EXPECT_EQ(ReadFile(dir / "Plink.ped").size(), 3 * 41u);
  {
    OutputSet set(dir.path(), FormatSelection{}, StudyKind::kQualitative, AncestryFormat::kSourcePool,
                  LineEnds::kLf);
    replicate.FeedLoci(set);
    set.Individual(replicate.individuals[0], replicate.Row(0));
    set.Finish(replicate.truth);
    set.Close();
  }
  EXPECT_EQ(ReadFile(dir / "Origin.txt"), "IndID    Proportion of YRI\n1        1.0\n");
  EXPECT_EQ(ReadFile(dir / "Plink.ped"), "1 1 0 0 1 2 1 1 1 2 2 2 2 1 1 1 2 2 1 2 \n");
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.geno"), "2\n1\n0\n2\n0\n1\n");
}

TEST(OutputSetTest, WithoutCloseTheDestructorStillStoresTheRows) {
  TempDir dir;
  {
    OutputSet set(dir.path(), FormatSelection{false, false, true, false, false}, StudyKind::kQuantitative,
                  AncestryFormat::kExact, LineEnds::kCrlf);
    const TinyReplicate replicate = TinyReplicate::Quantitative();
    replicate.Feed(set);
  }
  EXPECT_EQ(ReadFile(dir / "Origin.txt"),
            "IndID    Proportion of YRI\r\n1        1.000000\r\n2        0.000000\r\n3        1.000000\r\n");
  EXPECT_EQ(ReadFile(dir / "Plink.ped").substr(0, 47), "1 1 0 0 1 -3.46 1 1 1 2 2 2 2 1 1 1 2 2 1 2 \r\n2");
}

// Shared with a team, the writers close on several threads; of two files
// that fail, the one closed first in order (PLINK before GC) is reported,
// and every other file is complete.
TEST(OutputSetTest, OnATeamTheFirstFailureInClosingOrderIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  std::filesystem::create_symlink("/dev/full", dir / "Plink.ped");
  std::filesystem::create_symlink("/dev/full", dir / "GC.txt");
  WorkTeam team(3);
  const TinyReplicate replicate = TinyReplicate::Quantitative();
  for (int round = 0; round < 20; ++round) {
    OutputSet set(dir.path(), FormatSelection{}, StudyKind::kQuantitative, AncestryFormat::kExact, LineEnds::kLf);
    set.ShareWith(team);
    replicate.Feed(set);
    try {
      set.Close();
      FAIL() << "no OutputError";
    } catch (const OutputError& error) {
      EXPECT_EQ(std::string(error.what()), (dir / "Plink.ped").string() + ": write error: No space left on device");
    }
    EXPECT_EQ(ReadFile(dir / "Origin.txt"),
              "IndID    Proportion of YRI\n1        1.000000\n2        0.000000\n3        1.000000\n");
  }
}

TEST(OutputSetTest, AFileThatCannotBeCreatedStopsTheOpeningInOrder) {
  TempDir dir;
  // Plink.map cannot be created: the files before it exist, those after it do not.
  std::filesystem::create_directory(dir / "Plink.map");
  try {
    OutputSet set(dir.path(), FormatSelection{}, StudyKind::kQualitative, AncestryFormat::kSourcePool,
                  LineEnds::kLf);
    FAIL() << "no OutputError";
  } catch (const OutputError& error) {
    EXPECT_THAT(error.what(), HasSubstr((dir / "Plink.map").string() + ": cannot create: "));
  }
  EXPECT_EQ(FilesIn(dir.path()), Union({kEigensoft, kAdmixmap, {"Plink.map"}}));
}

TEST(OutputSetTest, AFolderThatIsAFileNamesTheAncestryFile) {
  TempDir dir;
  WriteFile(dir / "1", "");
  try {
    OutputSet set(dir / "1", FormatSelection{}, StudyKind::kQualitative, AncestryFormat::kSourcePool,
                  LineEnds::kLf);
    FAIL() << "no OutputError";
  } catch (const OutputError& error) {
    EXPECT_EQ(std::string(error.what()), (dir / "1" / "Origin.txt").string() + ": cannot create: Not a directory");
  }
}

// The causal-locus logs.

struct LogPaths {
  std::filesystem::path all;
  std::filesystem::path stratGc;
};

LogPaths QualitativeLogs(const TempDir& dir) {
  return {dir / "Causal_Locus_Plink&Admixmap&Eigensoft.txt", dir / "Causal_Locus_Strat&GC.txt"};
}
LogPaths QuantitativeLogs(const TempDir& dir) {
  return {dir / "Causal_Loci_Plink&Admixmap&Eigensoft.txt", dir / "Causal_Loci_Strat&GC.txt"};
}

TEST(CausalLogsTest, QualitativeRunOfTwoReplicates) {
  TempDir dir;
  CausalLogs logs(dir.path().string(), StudyKind::kQualitative, LineEnds::kLf);
  logs.WriteHeader(0);
  logs.StartLine(1);
  logs.CausalEntry(7, 5);
  logs.StartLine(2);
  logs.CausalEntry(1234, 0);
  logs.Close();
  EXPECT_EQ(FilesIn(dir.path()), (std::set<std::string>{"Causal_Locus_Plink&Admixmap&Eigensoft.txt",
                                                          "Causal_Locus_Strat&GC.txt"}));
  const LogPaths paths = QualitativeLogs(dir);
  EXPECT_EQ(ReadFile(paths.all), "Simu#  Causal locus\n1      SNP7  \n2      SNP1234\n");
  EXPECT_EQ(ReadFile(paths.stratGc), "Simu#  Causal locus\n1      SNP5  \n2      SNP0  \n");
}

TEST(CausalLogsTest, QuantitativeHeadersAndEntries) {
  TempDir dir;
  {
    CausalLogs logs(dir.path().string(), StudyKind::kQuantitative, LineEnds::kLf);
    logs.WriteHeader(0);
    logs.StartLine(1);
    logs.QtlEntries({}, {}, true);
    logs.WriteHeader(2);
    logs.StartLine(1);
    const int all[] = {17, 1234};
    const int candidate[] = {3, 999};
    logs.QtlEntries(all, candidate, true);
    logs.StartLine(2);
    logs.QtlEntries(all, candidate, false);
    logs.Close();
  }
  const LogPaths paths = QuantitativeLogs(dir);
  EXPECT_EQ(ReadFile(paths.all),
            "Simu#  \n1      \n"
            "Simu#  QTL1   QTL2   \n1      SNP17  SNP1234 \n2      SNP17 SNP1234 \n");
  EXPECT_EQ(ReadFile(paths.stratGc),
            "Simu#  \n1      \n"
            "Simu#  QTL1   QTL2   \n1      SNP3   SNP999 \n2      SNP3 SNP999 \n");
}

TEST(CausalLogsTest, RunsAppendToTheLogs) {
  TempDir dir;
  for (int run = 0; run < 2; ++run) {
    CausalLogs logs(dir.path().string(), StudyKind::kQualitative, LineEnds::kCrlf);
    logs.WriteHeader(0);
    logs.StartLine(1);
    if (run == 0) {
      logs.EndLine();  // a run that ended before its first replicate's entry
    } else {
      logs.CausalEntry(3, 2);
    }
    logs.Close();
  }
  const LogPaths paths = QualitativeLogs(dir);
  EXPECT_EQ(ReadFile(paths.all), "Simu#  Causal locus\r\n1      \r\nSimu#  Causal locus\r\n1      SNP3  \r\n");
  EXPECT_EQ(ReadFile(paths.stratGc), "Simu#  Causal locus\r\n1      \r\nSimu#  Causal locus\r\n1      SNP2  \r\n");
}

TEST(CausalLogsTest, CompletedLinesReachTheFileAtOnce) {
  TempDir dir;
  CausalLogs logs(dir.path().string() + "/", StudyKind::kQuantitative, LineEnds::kLf);
  logs.WriteHeader(1);
  logs.StartLine(1);
  const LogPaths paths = QuantitativeLogs(dir);
  EXPECT_EQ(ReadFile(paths.all), "Simu#  QTL1   \n");
  const int all[] = {12};
  const int candidate[] = {9};
  logs.QtlEntries(all, candidate, false);
  EXPECT_EQ(ReadFile(paths.all), "Simu#  QTL1   \n1      SNP12 \n");
  EXPECT_EQ(ReadFile(paths.stratGc), "Simu#  QTL1   \n1      SNP9 \n");
  EXPECT_THROW(logs.QtlEntries(all, {}, false), std::invalid_argument);
  logs.Close();
}

TEST(CausalLogsTest, AMissingDirectoryNamesTheLog) {
  TempDir dir;
  const std::string missing = (dir / "absent").string();
  try {
    CausalLogs logs(missing, StudyKind::kQualitative, LineEnds::kLf);
    FAIL() << "no OutputError";
  } catch (const OutputError& error) {
    EXPECT_EQ(std::string(error.what()), missing +
                                             "/Causal_Locus_Plink&Admixmap&Eigensoft.txt: cannot open for appending: "
                                             "No such file or directory");
  }
}

}  // namespace
}  // namespace korvane
