#include "output/output_set.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "output/writer_support.h"
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

// The five formats of the study forms, all ticked.
const FormatSelection kFormFormats{"eigensoft", "admixmap", "plink", "structure-strat", "gc"};

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
    EXPECT_EQ(RunSet(dir, kFormFormats, StudyKind::kQualitative),
              Union({kEigensoft, kAdmixmap, kPlink, kStructureStrat, {"GC.txt"}}));
  }
  {
    TempDir dir;
    EXPECT_EQ(RunSet(dir, FormatSelection{"admixmap", "structure-strat"}, StudyKind::kQualitative),
              Union({kAdmixmap, kStructureStrat}));
  }
  {
    TempDir dir;
    EXPECT_EQ(RunSet(dir, FormatSelection{}, StudyKind::kQualitative), std::set<std::string>{"Origin.txt"});
  }
}

TEST(OutputSetTest, AQuantitativeStudyHasNoCaseControlFormats) {
  {
    TempDir dir;
    EXPECT_EQ(RunSet(dir, kFormFormats, StudyKind::kQuantitative), Union({kEigensoft, kPlink, {"GC.txt"}}));
  }
  {
    TempDir dir;
    EXPECT_EQ(RunSet(dir, FormatSelection{"admixmap", "structure-strat", "gc"}, StudyKind::kQuantitative),
              Union({{"GC.txt"}}));
  }
}

TEST(OutputSetTest, EveryFileGetsTheEventsOfTheAttempt) {
  TempDir dir;
  RunSet(dir, kFormFormats, StudyKind::kQualitative);
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
    OutputSet set(dir.path(), kFormFormats, StudyKind::kQualitative, AncestryFormat::kSourcePool, LineEnds::kLf);
    replicate.FeedLoci(set);
    replicate.FeedIndividuals(set);
    set.Close();
  }
  EXPECT_EQ(ReadFile(dir / "Eigensoft_Pca.geno"), "");
  EXPECT_EQ(ReadFile(dir / "Plink.ped").size(), 3 * 41u);
  {
    OutputSet set(dir.path(), kFormFormats, StudyKind::kQualitative, AncestryFormat::kSourcePool, LineEnds::kLf);
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
    OutputSet set(dir.path(), FormatSelection{"plink"}, StudyKind::kQuantitative, AncestryFormat::kExact,
                  LineEnds::kCrlf);
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
    OutputSet set(dir.path(), kFormFormats, StudyKind::kQuantitative, AncestryFormat::kExact, LineEnds::kLf);
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
    OutputSet set(dir.path(), kFormFormats, StudyKind::kQualitative, AncestryFormat::kSourcePool, LineEnds::kLf);
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
    OutputSet set(dir / "1", kFormFormats, StudyKind::kQualitative, AncestryFormat::kSourcePool, LineEnds::kLf);
    FAIL() << "no OutputError";
  } catch (const OutputError& error) {
    EXPECT_EQ(std::string(error.what()), (dir / "1" / "Origin.txt").string() + ": cannot create: Not a directory");
  }
}

// The files of the five form formats, in the order they are created and in
// the order they are closed.
const std::vector<std::string> kOpeningOrder = {"Origin.txt",
                                                "Eigensoft_Pca.snp",
                                                "Eigensoft.phen",
                                                "Eigensoft_Pca.geno",
                                                "Eigensoft_Strat.geno",
                                                "Eigensoft_Pca.ind",
                                                "Admixmap_loci.txt",
                                                "Admixmap_geno.txt",
                                                "Admixmap_phen.txt",
                                                "Plink.map",
                                                "Plink.ped",
                                                "Structure.txt",
                                                "Strat.txt",
                                                "GC.txt"};
const std::vector<std::string> kClosingOrder = {"Origin.txt",
                                                "Structure.txt",
                                                "Strat.txt",
                                                "Eigensoft_Pca.geno",
                                                "Eigensoft_Strat.geno",
                                                "Eigensoft.phen",
                                                "Eigensoft_Pca.snp",
                                                "Eigensoft_Pca.ind",
                                                "Admixmap_geno.txt",
                                                "Admixmap_phen.txt",
                                                "Admixmap_loci.txt",
                                                "Plink.map",
                                                "Plink.ped",
                                                "GC.txt"};

// The file named by a failure's message "<folder>/<file>: <action>: <reason>".
std::string FileOf(const OutputError& error, const TempDir& dir) {
  const std::string what = error.what();
  const std::string prefix = dir.path().string() + "/";
  if (what.rfind(prefix, 0) != 0) return what;
  return what.substr(prefix.size(), what.find(':') - prefix.size());
}

TEST(OutputSetTest, TheFilesAreCreatedInTheirOpeningOrder) {
  // Whichever file cannot be created, exactly those before it exist.
  for (std::size_t k = 0; k < kOpeningOrder.size(); ++k) {
    SCOPED_TRACE(kOpeningOrder[k]);
    TempDir dir;
    std::filesystem::create_directory(dir / kOpeningOrder[k]);
    try {
      OutputSet set(dir.path(), kFormFormats, StudyKind::kQualitative, AncestryFormat::kSourcePool, LineEnds::kLf);
      FAIL() << "no OutputError";
    } catch (const OutputError& error) {
      EXPECT_EQ(FileOf(error, dir), kOpeningOrder[k]);
    }
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>(kOpeningOrder.begin(), kOpeningOrder.begin() + k + 1));
  }
}

TEST(OutputSetTest, TheFilesAreClosedInTheirClosingOrder) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  // Every file that cannot be stored fails at its close, and the first
  // failure in closing order is reported: taking the reported file away
  // attempt after attempt lists the closing order.
  const TinyReplicate replicate = TinyReplicate::Qualitative();
  std::vector<std::string> full = kOpeningOrder;
  std::vector<std::string> reported;
  while (!full.empty()) {
    TempDir dir;
    for (const std::string& name : full) std::filesystem::create_symlink("/dev/full", dir / name);
    OutputSet set(dir.path(), kFormFormats, StudyKind::kQualitative, AncestryFormat::kSourcePool, LineEnds::kLf);
    replicate.Feed(set);
    try {
      set.Close();
      FAIL() << "no OutputError";
    } catch (const OutputError& error) {
      reported.push_back(FileOf(error, dir));
    }
    const auto at = std::find(full.begin(), full.end(), reported.back());
    ASSERT_NE(at, full.end()) << reported.back();
    full.erase(at);
  }
  EXPECT_EQ(reported, kClosingOrder);
}

TEST(OutputSetTest, AChosenNameThatNoFormatHasIsRefusedBeforeAnyFile) {
  TempDir dir;
  EXPECT_THROW(OutputSet(dir.path(), FormatSelection{"plink", "structure_strat"}, StudyKind::kQualitative,
                         AncestryFormat::kSourcePool, LineEnds::kLf),
               std::invalid_argument);
  EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{});
}

// A writer of one binary file that notes every event it gets on a line of
// its own: a format that a registry row adds, with no code of its own in
// OutputSet.
class ProbeWriter : public FormatWriter {
 public:
  ProbeWriter(const std::filesystem::path& folder, const std::string& name)
      : file_(output_detail::CreateBinaryIn(folder, name.c_str())) {}

  void BeginLoci() override { Note("begin loci"); }
  void Locus(const MapEntry& entry) override { Note("locus snp" + std::to_string(entry.snpNumber)); }
  void EndLoci() override { Note("end loci"); }
  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override {
    const char* trait = !individual.affection                           ? "phenotype"
                        : *individual.affection == Affection::kAffected ? "case"
                                                                        : "control";
    Note("individual " + std::to_string(individual.id) + " " + trait + " " + std::to_string(row.genotypes.size()));
  }
  void Finish(const ReplicateTruth& truth) override {
    if (checkpoint_) checkpoint_();
    Note("finish " + std::to_string(truth.causalPositionsAll.size()));
  }
  void SetCheckpoint(const std::function<void()>& checkpoint) override {
    checkpoint_ = checkpoint;
    Note("checkpoint");
  }
  void Close() override {
    Note("close");
    file_.Close();
  }

 private:
  void Note(const std::string& event) { file_.Write(event + "\n"); }

  OutputFile file_;
  std::function<void()> checkpoint_;
};

constexpr std::array<std::string_view, 10> kProbeNames = {"probe0", "probe1", "probe2", "probe3", "probe4",
                                                          "probe5", "probe6", "probe7", "probe8", "probe9"};

template <std::size_t K>
std::unique_ptr<FormatWriter> CreateProbe(const std::filesystem::path& folder, const WriterSettings&) {
  return std::make_unique<ProbeWriter>(folder, std::string(kProbeNames[K]) + ".log");
}

FormatRow ProbeRow(std::size_t k, WriterFactory create, int opening, int closing, int sharing) {
  return FormatRow{.name = kProbeNames[k],
                   .studies = kCaseControlStudy,
                   .always = false,
                   .formSwitch = "",
                   .create = create,
                   .opening = opening,
                   .closing = closing,
                   .sharing = sharing};
}

TEST(OutputSetTest, AFormatAddedByARowGetsEveryEventInOrder) {
  // This program's formats and a probe opened after ADMIXMAP's files and
  // closed after STRUCTURE and STRAT's, in a CRLF run; beside it a set
  // without the probe.
  std::vector<FormatRow> registry(FormatRegistry().begin(), FormatRegistry().end());
  registry.push_back(ProbeRow(0, CreateProbe<0>, 35, 25, 0));
  const FormatSelection chosen{"eigensoft", "admixmap", "plink", "structure-strat", "gc", "probe0"};
  const TinyReplicate replicate = TinyReplicate::Qualitative();
  TempDir dir;
  auto folder = [&dir](const std::string& name) {
    std::filesystem::create_directories(dir / name);
    return dir / name;
  };
  const std::filesystem::path with = folder("with");
  const std::filesystem::path without = folder("without");
  std::map<std::filesystem::path, int> checkpoints;
  for (const std::filesystem::path& into : {with, without}) {
    OutputSet set(into, into == with ? chosen : kFormFormats, StudyKind::kQualitative, AncestryFormat::kSourcePool,
                  LineEnds::kCrlf, registry);
    set.SetCheckpoint([&checkpoints, into] { ++checkpoints[into]; });
    replicate.Feed(set);
    set.Close();
  }
  // Its binary file keeps its line feeds; the text files have the run's CRLF.
  EXPECT_EQ(ReadFile(with / "probe0.log"),
            "checkpoint\n"
            "begin loci\nlocus snp1\nlocus snp2\nlocus snp3\nlocus snp4\nlocus snp5\nlocus snp6\nlocus snp7\n"
            "end loci\nindividual 1 case 7\nindividual 2 control 7\nindividual 3 case 7\nfinish 1\nclose\n");
  // The set's checkpoint reached the probe, whose Finish called it once.
  EXPECT_EQ(checkpoints[with], checkpoints[without] + 1);
  // The other files are those of the set without it.
  std::set<std::string> files = FilesIn(with);
  EXPECT_EQ(files.erase("probe0.log"), 1u);
  EXPECT_EQ(files, FilesIn(without));
  for (const std::string& name : files) EXPECT_EQ(ReadFile(with / name), ReadFile(without / name)) << name;

  // It applies to case-control studies only.
  const std::filesystem::path quantitative = folder("quantitative");
  {
    OutputSet set(quantitative, chosen, StudyKind::kQuantitative, AncestryFormat::kExact, LineEnds::kLf, registry);
    TinyReplicate::Quantitative().Feed(set);
    set.Close();
  }
  EXPECT_TRUE(std::filesystem::exists(quantitative / "Plink.ped"));
  EXPECT_FALSE(std::filesystem::exists(quantitative / "probe0.log"));

  // Its file is created between ADMIXMAP's and PLINK's.
  using Blocked = std::pair<const char*, bool>;  // a file that cannot be created; whether the probe's is
  for (const auto& [blocked, created] : {Blocked{"Plink.map", true}, Blocked{"Admixmap_phen.txt", false}}) {
    const std::filesystem::path into = folder(std::string("blocked-") + blocked);
    std::filesystem::create_directory(into / blocked);
    EXPECT_THROW(OutputSet(into, chosen, StudyKind::kQualitative, AncestryFormat::kSourcePool, LineEnds::kLf, registry),
                 OutputError);
    EXPECT_EQ(std::filesystem::exists(into / "probe0.log"), created) << blocked;
  }
  if (!std::filesystem::exists("/dev/full")) return;
  // It is closed after STRUCTURE and STRAT and before EIGENSOFT.
  for (const auto& [failing, first] :
       {std::pair<const char*, const char*>{"Strat.txt", "Strat.txt"}, {"Eigensoft.phen", "probe0.log"}}) {
    const std::filesystem::path into = folder(std::string("full-") + failing);
    std::filesystem::create_symlink("/dev/full", into / failing);
    std::filesystem::create_symlink("/dev/full", into / "probe0.log");
    OutputSet set(into, chosen, StudyKind::kQualitative, AncestryFormat::kSourcePool, LineEnds::kLf, registry);
    replicate.Feed(set);
    try {
      set.Close();
      FAIL() << "no OutputError";
    } catch (const OutputError& error) {
      EXPECT_EQ(std::string(error.what()).substr(0, (into / first).string().size()), (into / first).string());
    }
  }
}

template <std::size_t... K>
std::vector<FormatRow> TenProbes(std::index_sequence<K...>) {
  // Opened and closed in the order of their numbers, handed to the team's
  // members the other way round.
  return {ProbeRow(K, CreateProbe<K>, static_cast<int>(K), static_cast<int>(K), -static_cast<int>(K))...};
}

TEST(OutputSetTest, OnATeamOfManyWritersTheFirstFailureInClosingOrderIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::vector<FormatRow> registry = TenProbes(std::make_index_sequence<kProbeNames.size()>());
  FormatSelection all;
  for (std::string_view name : kProbeNames) all.Choose(name);
  TempDir dir;
  std::filesystem::create_symlink("/dev/full", dir / "probe8.log");
  std::filesystem::create_symlink("/dev/full", dir / "probe9.log");
  WorkTeam team(3);
  const TinyReplicate replicate = TinyReplicate::Qualitative();
  for (int round = 0; round < 20; ++round) {
    OutputSet set(dir.path(), all, StudyKind::kQualitative, AncestryFormat::kSourcePool, LineEnds::kLf, registry);
    set.ShareWith(team);
    replicate.Feed(set);
    try {
      set.Close();
      FAIL() << "no OutputError";
    } catch (const OutputError& error) {
      EXPECT_EQ(FileOf(error, dir), "probe8.log");
    }
    for (int k = 0; k < 8; ++k) {
      const std::string log = ReadFile(dir / ("probe" + std::to_string(k) + ".log"));
      EXPECT_TRUE(log.ends_with("finish 1\nclose\n")) << k << ": " << log;
    }
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
  EXPECT_EQ(FilesIn(dir.path()),
            (std::set<std::string>{"Causal_Locus_Plink&Admixmap&Eigensoft.txt", "Causal_Locus_Strat&GC.txt"}));
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
