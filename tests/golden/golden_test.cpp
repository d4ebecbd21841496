// Small fixed-seed replicates of every study and model, held byte for byte:
// a replicate is a pure function of its seed, parameters and data, so any
// change to these files is a change of the system's output.
//
// KORVANE_UPDATE_GOLDEN=1 rewrites the held files from the current engine
// (only when an output change is intended).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "qual/QUAL.h"
#include "quan/QUAN.h"
#include "recording_host.h"
#include "test_files.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

const fs::path kGoldenDir = fs::path(KORVANE_SOURCE_DIR) / "tests" / "golden";

RunOptions GoldenOptions(std::uint64_t seed, LineEnds lineEnds = LineEnds::kLf) {
  RunOptions options;
  options.dataDir = fs::path(KORVANE_SOURCE_DIR) / "data";
  options.seed = seed;
  options.lineEnds = lineEnds;
  return options;
}

std::map<std::string, std::string> FilesUnder(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), root).generic_string()] = ReadFile(entry.path());
  }
  return files;
}

bool Updating() {
  const char* update = std::getenv("KORVANE_UPDATE_GOLDEN");
  return update && std::string(update) == "1";
}

// The held files of `name` against those produced; `extra` names files the
// run writes beside them (the local-ancestry tracts), which must be there
// and are not held.
void CompareWithGolden(const std::string& name, const fs::path& produced, const std::set<std::string>& extra = {}) {
  const fs::path golden = kGoldenDir / name;
  if (Updating()) {
    if (!extra.empty()) GTEST_SKIP() << "the held files are rewritten from runs without extra files";
    fs::remove_all(golden);
    fs::create_directories(golden);
    fs::copy(produced, golden, fs::copy_options::recursive);
    GTEST_SKIP() << "rewrote " << golden;
  }
  ASSERT_TRUE(fs::is_directory(golden)) << golden << " is missing";
  const auto expected = FilesUnder(golden);
  auto actual = FilesUnder(produced);
  for (const std::string& path : extra) {
    EXPECT_EQ(actual.erase(path), 1u) << path << " was not produced";
  }
  ASSERT_EQ(actual.size(), expected.size());
  for (const auto& [path, bytes] : expected) {
    const auto it = actual.find(path);
    ASSERT_NE(it, actual.end()) << path << " was not produced";
    EXPECT_TRUE(it->second == bytes) << name << "/" << path << " differs from the held replicate";
  }
}

template <typename Study>
void RunAndCompare(const std::string& name, Study& study, const RunOptions& options,
                   const std::set<std::string>& extra = {}) {
  TempDir tmp;
  study.parameters.outputDirectory = (tmp / "out").string();
  testing::RecordingHost host;
  const RunOutcome outcome = study.Run(options, host);
  ASSERT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
  // The run record of a front end is not part of the engine's output.
  CompareWithGolden(name, tmp / "out", extra);
}

// The same replicates with local ancestry tracked: every held file is the
// same byte for byte, and each replicate has its tracts besides.
template <typename Study>
void RunWithLocalAncestryAndCompare(const std::string& name, Study& study, RunOptions options) {
  options.localAncestry = true;
  std::set<std::string> tracts;
  for (int n = 1; n <= study.parameters.replicateCount; ++n) tracts.insert(std::to_string(n) + "/LocalAncestry.bp");
  RunAndCompare(name, study, options, tracts);
}

QualParameters SmallQual(ModelKind model) {
  QualParameters p;
  p.modelKind = model;
  p.totalLocusCount = 80;
  p.nullLocusCount = 8;
  p.sampleSize = 40;
  p.prevalence = 0.1;
  p.missingRate = 0.05;
  p.replicateCount = 2;
  return p;
}

QuanParameters SmallQuan(ModelKind model) {
  QuanParameters p;
  p.modelKind = model;
  p.totalLocusCount = 80;
  p.nullLocusCount = 8;
  p.sampleSize = 40;
  p.missingRate = 0.05;
  p.replicateCount = 2;
  return p;
}

TEST(GoldenTest, QualitativeDiscrete) {
  QualStudy study;
  study.parameters = SmallQual(ModelKind::kDiscrete);
  RunAndCompare("qual-discrete", study, GoldenOptions(101));
}

TEST(GoldenTest, QualitativeContinuous) {
  QualStudy study;
  study.parameters = SmallQual(ModelKind::kContinuous);
  RunAndCompare("qual-continuous", study, GoldenOptions(102));
}

TEST(GoldenTest, QualitativeDiscreteWindowsLineEnds) {
  QualStudy study;
  study.parameters = SmallQual(ModelKind::kDiscrete);
  study.parameters.replicateCount = 1;
  RunAndCompare("qual-discrete-crlf", study, GoldenOptions(103, LineEnds::kCrlf));
}

TEST(GoldenTest, QuantitativeDiscrete) {
  QuanStudy study;
  study.parameters = SmallQuan(ModelKind::kDiscrete);
  RunAndCompare("quan-discrete", study, GoldenOptions(201));
}

TEST(GoldenTest, QuantitativeContinuous) {
  QuanStudy study;
  study.parameters = SmallQuan(ModelKind::kContinuous);
  RunAndCompare("quan-continuous", study, GoldenOptions(202));
}

TEST(GoldenTest, LocalAncestryLeavesEveryHeldFileAsItIs) {
  {
    SCOPED_TRACE("qual-discrete");
    QualStudy study;
    study.parameters = SmallQual(ModelKind::kDiscrete);
    RunWithLocalAncestryAndCompare("qual-discrete", study, GoldenOptions(101));
  }
  {
    SCOPED_TRACE("qual-continuous");
    QualStudy study;
    study.parameters = SmallQual(ModelKind::kContinuous);
    RunWithLocalAncestryAndCompare("qual-continuous", study, GoldenOptions(102));
  }
  {
    SCOPED_TRACE("qual-discrete-crlf");
    QualStudy study;
    study.parameters = SmallQual(ModelKind::kDiscrete);
    study.parameters.replicateCount = 1;
    RunWithLocalAncestryAndCompare("qual-discrete-crlf", study, GoldenOptions(103, LineEnds::kCrlf));
  }
  {
    SCOPED_TRACE("quan-discrete");
    QuanStudy study;
    study.parameters = SmallQuan(ModelKind::kDiscrete);
    RunWithLocalAncestryAndCompare("quan-discrete", study, GoldenOptions(201));
  }
  {
    SCOPED_TRACE("quan-continuous");
    QuanStudy study;
    study.parameters = SmallQuan(ModelKind::kContinuous);
    RunWithLocalAncestryAndCompare("quan-continuous", study, GoldenOptions(202));
  }
}

}  // namespace
}  // namespace korvane
