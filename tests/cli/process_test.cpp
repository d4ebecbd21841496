// The korvane program as users and schedulers run it: two runs into one
// folder, stop signals at any moment of a multi-worker run, the top of the
// replicate range, the default seed, notes about the data folder.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "korvane_process.h"
#include "output/replicate_folders.h"
#include "test_files.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::ReadTree;
using testing::SplitLines;
using testing::TempDir;

using testing::Ended;
using testing::kData;
using testing::Process;
using testing::RunKorvane;
using testing::Start;
using testing::Wait;

// Every numbered folder is a whole replicate with its log line, and nothing
// else is left: no partial folder, no lock file.
void ExpectOnlyWholeReplicates(const fs::path& out, int sampleSize) {
  const auto log = ReadFile(out / "Causal_Locus_Plink&Admixmap&Eigensoft.txt");
  if (!log.empty()) {
    EXPECT_EQ(log.back(), '\n') << log;
  }
  for (const auto& entry : fs::directory_iterator(out)) {
    const std::string name = entry.path().filename().string();
    EXPECT_THAT(name, ::testing::Not(::testing::EndsWith(".partial")));
    EXPECT_NE(name, OutputDirectoryLock::kFileName);
    if (!entry.is_directory()) continue;
    EXPECT_EQ(SplitLines(ReadFile(entry.path() / "Plink.ped")).size(), static_cast<std::size_t>(sampleSize)) << name;
    EXPECT_THAT(log, HasSubstr("\n" + name + "      SNP")) << name;
  }
}

TEST(ProcessTest, TwoRunsIntoOneFolderNeverSplice) {
  TempDir tmp;
  const std::vector<std::string> common = {"qual",
                                           "--data",
                                           kData,
                                           "--output-directory",
                                           "out",
                                           "--quiet",
                                           "--threads",
                                           "2",
                                           "--replicate-count",
                                           "3",
                                           "--total-locus-count",
                                           "2000",
                                           "--sample-size",
                                           "600"};
  auto with = [&](const std::string& seed) {
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--seed", seed});
    return args;
  };
  const Process a = Start(tmp.path(), "a", with("1"));
  const Process b = Start(tmp.path(), "b", with("2"));
  const Ended endedA = Wait(a, std::chrono::seconds(300));
  const Ended endedB = Wait(b, std::chrono::seconds(300));
  // One of them wrote; the other was refused, for the lock or for the
  // folders the first one left.
  ASSERT_EQ(std::min(endedA.status, endedB.status), 0) << endedA.err << endedB.err;
  ASSERT_EQ(std::max(endedA.status, endedB.status), 2) << endedA.err << endedB.err;
  const Ended& refused = endedA.status == 2 ? endedA : endedB;
  EXPECT_THAT(refused.err,
              ::testing::AnyOf(HasSubstr("another run is writing there"), HasSubstr("holds a replicate already")));

  // The folder holds exactly what the winner alone writes (a run of a
  // minute or more in a sanitizer build on a busy machine).
  const Ended solo = Wait(
      Start(tmp.path(), "alone",
            {"qual", "--data", kData, "--output-directory", "alone", "--quiet", "--threads", "1", "--replicate-count",
             "3", "--total-locus-count", "2000", "--sample-size", "600", "--seed", endedA.status == 0 ? "1" : "2"}),
      std::chrono::seconds(300));
  ASSERT_EQ(solo.status, 0) << solo.err;
  auto files = ReadTree(tmp / "out");
  auto alone = ReadTree(tmp / "alone");
  files.erase("korvane-runs.toml");
  alone.erase("korvane-runs.toml");
  EXPECT_TRUE(files == alone);

  // A held lock refuses at once, naming the folder; the next free number is
  // offered for folders that exist.
  {
    const auto lock = OutputDirectoryLock::TryAcquire((tmp / "out").string());
    ASSERT_TRUE(lock);
    const Ended locked = RunKorvane(tmp.path(), with("3"));
    EXPECT_EQ(locked.status, 2);
    EXPECT_THAT(locked.err, HasSubstr("out: another run is writing there"));
  }
  const Ended taken = RunKorvane(tmp.path(), with("3"));
  EXPECT_EQ(taken.status, 2);
  EXPECT_THAT(taken.err, HasSubstr("out/1 holds a replicate already"));
  EXPECT_THAT(taken.err, HasSubstr("--first-replicate 4"));
  EXPECT_THAT(taken.err, HasSubstr("--overwrite"));
  std::vector<std::string> resume = with("3");
  resume.insert(resume.end(), {"--first-replicate", "4", "--replicate-count", "1"});
  EXPECT_EQ(RunKorvane(tmp.path(), resume).status, 0);
  ExpectOnlyWholeReplicates(tmp / "out", 600);
}

// A stop request at any moment ends a multi-worker run promptly with 130,
// the record written and only whole replicates left.
TEST(ProcessTest, StopSignalsEndARunAtAnyMoment) {
  TempDir tmp;
  int run = 0;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    int stopped = 0;
    // The later delays stop a run whose start is slow (a sanitizer build on
    // a busy machine).
    for (const int delayMs : {0, 2, 4, 6, 10, 25, 60, 150, 400, 1000, 2500}) {
      const std::string out = "out" + std::to_string(++run);
      SCOPED_TRACE(out + " signal " + std::to_string(signal) + " after " + std::to_string(delayMs) + " ms");
      const Process p =
          Start(tmp.path(), out,
                {"qual", "--data", kData, "--output-directory", out, "--quiet", "--seed", "1", "--threads", "2",
                 "--replicate-count", "40", "--total-locus-count", "3000", "--sample-size", "500"});
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
      ::kill(p.pid, signal);
      const Ended ended = Wait(p);
      ASSERT_NE(ended.status, -1) << "the run did not end";
      if (ended.status == 0) continue;                                       // it had finished
      if (ended.status == 128 + signal && !fs::exists(tmp / out)) continue;  // before the program could catch it
      ASSERT_EQ(ended.status, 130) << ended.err;
      ++stopped;
      if (!fs::exists(tmp / out)) continue;  // stopped before the output directory was made
      const std::string record = ReadFile(tmp / out / "korvane-runs.toml");
      EXPECT_THAT(record, HasSubstr("outcome = \"stopped\""));
      ExpectOnlyWholeReplicates(tmp / out, 500);
    }
    // The earliest signals may come before the program has started, the
    // latest after a fast build has finished; the others stop it.
    EXPECT_GE(stopped, 3) << "signal " << signal;
  }
}

TEST(ProcessTest, TheTopOfTheReplicateRange) {
  TempDir tmp;
  const Ended top =
      RunKorvane(tmp.path(), {"qual", "--data", kData, "--output-directory", "out", "--quiet", "--threads", "2",
                              "--first-replicate", "1048574", "--replicate-count", "2", "--sample-size", "0"});
  EXPECT_EQ(top.status, 0) << top.err;
  EXPECT_TRUE(fs::is_directory(tmp / "out" / "1048574"));
  EXPECT_TRUE(fs::is_directory(tmp / "out" / "1048575"));

  const Ended beyond = RunKorvane(tmp.path(), {"qual", "--data", kData, "--output-directory", "out2", "--quiet",
                                               "--first-replicate", "2147483646", "--replicate-count", "2"});
  EXPECT_EQ(beyond.status, 2);
  EXPECT_FALSE(fs::exists(tmp / "out2"));
}

// The estimate is printed before the run starts; a run larger than its disk
// is refused before anything is written, unless told to ignore the space.
TEST(ProcessTest, ARunLargerThanItsDiskIsRefused) {
  TempDir tmp;
  const std::vector<std::string> huge{
      "qual", "--data",        kData,      "--output-directory",  "out",   "--quiet",           "--seed",
      "1",    "--sample-size", "10000000", "--total-locus-count", "12867", "--replicate-count", "1000000"};
  const Ended refused = RunKorvane(tmp.path(), huge);
  EXPECT_EQ(refused.status, 2);
  EXPECT_THAT(refused.out, HasSubstr("writes about "));
  EXPECT_THAT(refused.out, HasSubstr(" per replicate)"));
  EXPECT_THAT(refused.err, HasSubstr("out: the run would write about "));
  EXPECT_THAT(refused.err, HasSubstr("or start it anyway with --ignore-space"));
  EXPECT_FALSE(fs::exists(tmp / "out"));

  std::vector<std::string> ignoring = huge;
  ignoring[2] = "no-data";  // so that the run ends at its data once it starts
  ignoring.emplace_back("--ignore-space");
  const Ended started = RunKorvane(tmp.path(), ignoring);
  EXPECT_EQ(started.status, 1);
  EXPECT_THAT(started.err, HasSubstr("no-data"));

  const Ended small = RunKorvane(tmp.path(), {"qual", "--data", kData, "--output-directory", "small", "--quiet",
                                              "--seed", "1", "--replicate-count", "1"});
  EXPECT_EQ(small.status, 0) << small.err;
  EXPECT_TRUE(std::regex_search(small.out, std::regex("\nwrites about [0-9.]+ (kB|MB)\n"))) << small.out;
}

TEST(ProcessTest, RunsWithoutASeedDiffer) {
  TempDir tmp;
  auto seedOf = [&](const std::string& out) {
    const Ended ended = RunKorvane(
        tmp.path(), {"qual", "--data", kData, "--output-directory", out, "--quiet", "--replicate-count", "0"});
    EXPECT_EQ(ended.status, 0) << ended.err;
    std::smatch match;
    EXPECT_TRUE(std::regex_search(ended.out, match, std::regex("seed ([0-9]+)")));
    EXPECT_THAT(ReadFile(tmp / out / "korvane-runs.toml"), HasSubstr("seed = " + match[1].str() + "\n"));
    return match[1].str();
  };
  // Started within the same second: with a clock seed they would be equal.
  EXPECT_NE(seedOf("a"), seedOf("b"));
}

// The model of a run goes from the command line into its record, its
// in-process evaluation and the runs that repeat it with --params.
TEST(ProcessTest, ACalibratedRunIsRecordedEvaluatedAndRepeatedAsSuch) {
  TempDir tmp;
  const std::vector<std::string> study = {"quan",
                                          "--data",
                                          kData,
                                          "--quiet",
                                          "--seed",
                                          "7",
                                          "--sample-size",
                                          "100",
                                          "--total-locus-count",
                                          "200",
                                          "--null-locus-count",
                                          "20",
                                          "--replicate-count",
                                          "2",
                                          "--evaluate",
                                          "--evaluate-pcs",
                                          "0"};
  const auto run = [&](const std::string& out, std::vector<std::string> more) {
    std::vector<std::string> args = study;
    args.insert(args.end(), {"--output-directory", out});
    args.insert(args.end(), more.begin(), more.end());
    return RunKorvane(tmp.path(), args);
  };
  const Ended calibrated = run("calibrated", {"--calibrated"});
  ASSERT_EQ(calibrated.status, 0) << calibrated.err;
  EXPECT_THAT(ReadFile(tmp / "calibrated" / "korvane-runs.toml"), HasSubstr("\ncalibrated = true\n"));
  const std::string summary = ReadFile(tmp / "calibrated" / "evaluation" / "summary.tsv");
  EXPECT_THAT(summary, HasSubstr("\tcalibrated model\n"));
  EXPECT_THAT(summary, ::testing::Not(HasSubstr("specified model")));
  EXPECT_THAT(calibrated.out, HasSubstr("replicates of the calibrated model\n"));
  EXPECT_THAT(calibrated.err, ::testing::Not(HasSubstr("warning:")));

  const Ended specified = run("specified", {});
  ASSERT_EQ(specified.status, 0) << specified.err;
  EXPECT_THAT(ReadFile(tmp / "specified" / "korvane-runs.toml"), HasSubstr("\ncalibrated = false\n"));
  EXPECT_THAT(ReadFile(tmp / "specified" / "evaluation" / "summary.tsv"), HasSubstr("\tspecified model\n"));
  EXPECT_THAT(specified.err, HasSubstr("korvane: warning: Model: these replicates are of the specified model."));

  // --params repeats the model; --calibrated 0 turns it off.
  const Ended again = RunKorvane(tmp.path(), {"quan", "--params", "calibrated/korvane-runs.toml", "--quiet",
                                              "--output-directory", "again", "--replicate-count", "0"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_THAT(ReadFile(tmp / "again" / "korvane-runs.toml"), HasSubstr("\ncalibrated = true\n"));
  const Ended off = RunKorvane(tmp.path(), {"quan", "--params", "calibrated/korvane-runs.toml", "--calibrated", "0",
                                            "--quiet", "--output-directory", "off", "--replicate-count", "0"});
  ASSERT_EQ(off.status, 0) << off.err;
  EXPECT_THAT(ReadFile(tmp / "off" / "korvane-runs.toml"), HasSubstr("\ncalibrated = false\n"));
}

TEST(ProcessTest, DataFromTheWorkingFolderIsNamedWhenItFails) {
  TempDir tmp;
  fs::create_directory(tmp / "data");  // an analysis project's own data folder
  const Ended ended = RunKorvane(tmp.path(), {"qual", "--output-directory", "out", "--quiet"});
  EXPECT_EQ(ended.status, 1);
  EXPECT_THAT(ended.err, HasSubstr("file not found"));
  EXPECT_THAT(ended.err, HasSubstr("taken from the folder 'data' of the working folder"));
  EXPECT_THAT(ended.err, HasSubstr("--data DIR"));
}

}  // namespace
}  // namespace korvane
