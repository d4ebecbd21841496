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

// Whether a file is one of the files added beside the specified ones: the
// truth files and the ancestry tracts. They are not part of the held
// replicates, which hold the specified files only.
bool AddedBeside(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  return name.ends_with(".tsv") || name.ends_with(".bp");
}

// The specified files of `produced` are those held; the files added beside
// them are exactly `added`.
void CompareWithGolden(const std::string& name, const fs::path& produced, const std::set<std::string>& added) {
  const fs::path golden = kGoldenDir / name;
  const auto expected = FilesUnder(golden);
  const auto actual = FilesUnder(produced);
  std::set<std::string> addedFound;
  for (const auto& [path, bytes] : actual) {
    if (AddedBeside(path)) {
      addedFound.insert(path);
    } else {
      EXPECT_EQ(expected.count(path), 1u) << path << " is not held";
    }
  }
  EXPECT_EQ(addedFound, added);
  for (const auto& [path, bytes] : expected) {
    const auto it = actual.find(path);
    ASSERT_NE(it, actual.end()) << path << " was not produced";
    EXPECT_TRUE(it->second == bytes) << name << "/" << path << " differs from the held replicate";
  }
}

// The files a run adds beside the specified ones in each of `replicates`
// folders, with the truth files and local ancestry as chosen.
std::set<std::string> AddedFiles(int replicates, bool truth, bool localAncestry) {
  std::set<std::string> files;
  if (truth) files.insert("Truth_Loci.tsv");
  for (int n = 1; n <= replicates; ++n) {
    const std::string folder = std::to_string(n) + "/";
    if (truth) {
      for (const char* name : {"Loci.tsv", "Truth.tsv", "Individuals.tsv"}) files.insert(folder + name);
    }
    if (localAncestry) files.insert(folder + "LocalAncestry.bp");
  }
  return files;
}

// Runs the study with the truth files off, on, and on with local ancestry
// tracked: the specified files are the same byte for byte every time.
template <typename Study>
void RunAndCompare(const std::string& name, Study& study, RunOptions options) {
  const fs::path golden = kGoldenDir / name;
  const char* update = std::getenv("KORVANE_UPDATE_GOLDEN");
  const bool rewrite = update && std::string(update) == "1";
  if (!rewrite) {
    ASSERT_TRUE(fs::is_directory(golden)) << golden << " is missing";
  }
  struct Added {
    bool truth;
    bool localAncestry;
    const char* trace;
  };
  for (const Added added : {Added{false, false, "no files added"}, Added{true, false, "truth files"},
                            Added{true, true, "truth files and local ancestry"}}) {
    SCOPED_TRACE(added.trace);
    TempDir tmp;
    study.parameters.outputDirectory = (tmp / "out").string();
    options.truth = added.truth;
    options.localAncestry = added.localAncestry;
    testing::RecordingHost host;
    const RunOutcome outcome = study.Run(options, host);
    ASSERT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
    if (rewrite && !added.truth) {
      fs::remove_all(golden);
      fs::create_directories(golden);
      fs::copy(tmp / "out", golden, fs::copy_options::recursive);
      GTEST_SKIP() << "rewrote " << golden;
    }
    // The run record of a front end is not part of the engine's output.
    CompareWithGolden(name, tmp / "out", AddedFiles(study.parameters.replicateCount, added.truth, added.localAncestry));
  }
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

// The calibrated model, held as soon as its statistics were verified.
RunOptions CalibratedGoldenOptions(std::uint64_t seed) {
  RunOptions options = GoldenOptions(seed);
  options.calibrated = true;
  return options;
}

TEST(GoldenTest, CalibratedQualitativeDiscrete) {
  QualStudy study;
  study.parameters = SmallQual(ModelKind::kDiscrete);
  RunAndCompare("calibrated-qual-discrete", study, CalibratedGoldenOptions(301));
  // Every piece of work draws from its own stream: one thread, whose team
  // builds alone, writes the same replicates as several.
  RunOptions one = CalibratedGoldenOptions(301);
  one.threads = 1;
  RunAndCompare("calibrated-qual-discrete", study, one);
}

TEST(GoldenTest, CalibratedQualitativeContinuous) {
  QualStudy study;
  study.parameters = SmallQual(ModelKind::kContinuous);
  RunAndCompare("calibrated-qual-continuous", study, CalibratedGoldenOptions(302));
}

TEST(GoldenTest, CalibratedQuantitativeDiscrete) {
  QuanStudy study;
  study.parameters = SmallQuan(ModelKind::kDiscrete);
  RunAndCompare("calibrated-quan-discrete", study, CalibratedGoldenOptions(401));
}

TEST(GoldenTest, CalibratedQuantitativeContinuous) {
  QuanStudy study;
  study.parameters = SmallQuan(ModelKind::kContinuous);
  RunAndCompare("calibrated-quan-continuous", study, CalibratedGoldenOptions(402));
}

}  // namespace
}  // namespace korvane
