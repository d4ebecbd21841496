// korvane merge: the shards of one setting, merged, are byte for byte the run
// of one process over the same replicates; shards that are not of one run are
// refused with a message naming what differs, and nothing is written.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "korvane_process.h"
#include "test_files.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::ReadTree;
using testing::TempDir;
using testing::WriteFile;

using testing::Ended;
using testing::kData;
using testing::RunKorvane;

std::vector<std::string> Study(const std::vector<std::string>& settings, const std::string& seed, int first, int count,
                               const std::string& outputDirectory) {
  std::vector<std::string> args = settings;
  args.insert(args.end(),
              {"--data", kData, "--seed", seed, "--first-replicate", std::to_string(first), "--replicate-count",
               std::to_string(count), "--output-directory", outputDirectory, "--quiet", "--threads", "1"});
  return args;
}

const std::vector<std::string> kQual = {"qual", "--sample-size",      "40", "--total-locus-count",
                                        "60",   "--null-locus-count", "10"};
const std::vector<std::string> kQuan = {"quan",       "--model",
                                        "continuous", "--calibrated",
                                        "1",          "--sample-size",
                                        "30",         "--total-locus-count",
                                        "50",         "--null-locus-count",
                                        "10",         "--line-ends",
                                        "crlf"};

// Writes shards of replicates first..first+size-1 of the run `settings` and
// `seed` under dir/shards, one per entry of `firsts`; returns their paths
// relative to `dir`.
std::vector<std::string> Shards(const fs::path& dir, const std::vector<std::string>& settings, const std::string& seed,
                                const std::vector<std::pair<int, int>>& ranges) {
  std::vector<std::string> paths;
  for (const auto& [first, count] : ranges) {
    const std::string path = "shards/" + std::to_string(first);
    const Ended run = RunKorvane(dir, Study(settings, seed, first, count, path));
    EXPECT_EQ(run.status, 0) << run.err;
    paths.push_back(path);
  }
  return paths;
}

std::string WithoutLine(std::string text, const std::string& key) {
  const std::size_t at = text.find(key + " = ");
  if (at == std::string::npos) return text;
  return text.erase(at, text.find('\n', at) + 1 - at);
}

std::string Value(const std::string& text, const std::string& key) {
  const std::size_t at = text.find(key + " = ");
  if (at == std::string::npos) return "";
  const std::size_t start = at + key.size() + 3;
  return text.substr(start, text.find('\n', start) - start);
}

// The merged run against one process's run of the same replicates: every
// file the same bytes; the run record too, but for its start, which is the
// earliest of the shards' starts.
void ExpectSameRun(const fs::path& single, const fs::path& merged, const std::vector<fs::path>& shardRecords) {
  auto a = ReadTree(single);
  auto b = ReadTree(merged);
  ASSERT_EQ(a.size(), b.size());
  std::string earliest;
  for (const fs::path& record : shardRecords) {
    const std::string start = Value(ReadFile(record), "start");
    if (earliest.empty() || start < earliest) earliest = start;
  }
  EXPECT_EQ(Value(b["korvane-runs.toml"], "start"), earliest);
  a["korvane-runs.toml"] = WithoutLine(a["korvane-runs.toml"], "start");
  b["korvane-runs.toml"] = WithoutLine(b["korvane-runs.toml"], "start");
  for (const auto& [name, bytes] : a) {
    ASSERT_TRUE(b.count(name)) << name;
    EXPECT_TRUE(b[name] == bytes) << name;
  }
}

TEST(MergeTest, ThreeShardsGiveTheBytesOfOneRun) {
  TempDir tmp;
  ASSERT_EQ(RunKorvane(tmp.path() / "single", Study(kQual, "11", 1, 6, "out")).status, 0);
  const fs::path sharded = tmp.path() / "sharded";
  std::vector<std::string> shards = Shards(sharded, kQual, "11", {{3, 2}, {1, 2}, {5, 2}});
  std::vector<fs::path> records;
  for (const std::string& s : shards) records.push_back(sharded / s / "korvane-runs.toml");
  WriteFile(sharded / shards[0] / ".snakemake_timestamp", "");  // a workflow engine's mark is no part of the run
  const std::map<std::string, std::string> shardFiles = ReadTree(sharded / "shards");
  std::vector<std::string> args = {"merge", "--link", "--output-directory", "out"};
  args.insert(args.end(), shards.begin(), shards.end());  // in no particular order
  const Ended merge = RunKorvane(sharded, args);
  ASSERT_EQ(merge.status, 0) << merge.err;
  EXPECT_THAT(merge.out, HasSubstr("merged 3 shards: replicates 1 to 6"));
  ExpectSameRun(tmp.path() / "single" / "out", sharded / "out", records);
  // Linked: the shards are whole, and the merged files share their storage.
  EXPECT_EQ(ReadTree(sharded / "shards"), shardFiles);
  struct stat info {};
  ASSERT_EQ(::stat((sharded / "out" / "4" / "Plink.ped").c_str(), &info), 0);
  EXPECT_EQ(info.st_nlink, 2u);

  // --params of the merged record repeats the whole range in one process.
  const Ended repeat = RunKorvane(sharded, {"qual", "--params", "out/korvane-runs.toml", "--output-directory", "again",
                                            "--quiet", "--threads", "1"});
  ASSERT_EQ(repeat.status, 0) << repeat.err;
  for (int n = 1; n <= 6; ++n) {
    const std::string folder = std::to_string(n);
    EXPECT_EQ(ReadTree(sharded / "again" / folder), ReadTree(sharded / "out" / folder)) << n;
  }
}

TEST(MergeTest, QuantitativeCalibratedCrlfShardsMovedIntoPlace) {
  TempDir tmp;
  // A later first replicate and uneven shards.
  ASSERT_EQ(RunKorvane(tmp.path() / "single", Study(kQuan, "4294967295", 4, 5, "out")).status, 0);
  const fs::path sharded = tmp.path() / "sharded";
  std::vector<std::string> shards = Shards(sharded, kQuan, "4294967295", {{4, 1}, {5, 3}, {8, 1}});
  std::vector<fs::path> records;
  for (const std::string& s : shards) records.push_back(tmp.path() / ("record" + s.substr(7)));
  for (std::size_t i = 0; i < shards.size(); ++i) fs::copy_file(sharded / shards[i] / "korvane-runs.toml", records[i]);
  std::vector<std::string> args = {"merge", "--output-directory", "out"};
  args.insert(args.end(), shards.begin(), shards.end());
  const Ended merge = RunKorvane(sharded, args);
  ASSERT_EQ(merge.status, 0) << merge.err;
  ExpectSameRun(tmp.path() / "single" / "out", sharded / "out", records);
  EXPECT_FALSE(fs::exists(sharded / "shards" / "5" / "6"));  // moved, not copied
}

// Shards run with --evaluate: the merge combines their evaluations into the
// one a single run with --evaluate writes, byte for byte (every replicate's
// results are kept exactly in evaluation/results.bin); shards evaluated in
// part, or with other settings, or with a damaged results file, are refused.
TEST(MergeTest, EvaluatedShardsCombineIntoTheEvaluationOfOneRun) {
  TempDir tmp;
  std::vector<std::string> evaluated = kQual;
  evaluated.insert(evaluated.end(), {"--evaluate", "--evaluate-pcs", "2", "--evaluate-loci"});
  ASSERT_EQ(RunKorvane(tmp.path() / "single", Study(evaluated, "13", 1, 6, "out")).status, 0);
  ASSERT_TRUE(fs::exists(tmp.path() / "single" / "out" / "evaluation" / "results.bin"));
  const fs::path sharded = tmp.path() / "sharded";
  std::vector<std::string> shards = Shards(sharded, evaluated, "13", {{4, 3}, {1, 3}});
  std::vector<fs::path> records;
  for (const std::string& s : shards) records.push_back(sharded / s / "korvane-runs.toml");
  std::vector<std::string> args = {"merge", "--link", "--output-directory", "out"};
  args.insert(args.end(), shards.begin(), shards.end());
  const Ended merge = RunKorvane(sharded, args);
  ASSERT_EQ(merge.status, 0) << merge.err;
  EXPECT_THAT(merge.out, HasSubstr("evaluation in "));
  ExpectSameRun(tmp.path() / "single" / "out", sharded / "out", records);

  const fs::path dir = tmp.path() / "refused";
  ASSERT_EQ(RunKorvane(dir, Study(evaluated, "13", 1, 3, "a")).status, 0);
  ASSERT_EQ(RunKorvane(dir, Study(kQual, "13", 4, 3, "plain")).status, 0);
  std::vector<std::string> otherPcs = evaluated;
  otherPcs[otherPcs.size() - 2] = "3";
  ASSERT_EQ(RunKorvane(dir, Study(otherPcs, "13", 4, 3, "other-pcs")).status, 0);
  ASSERT_EQ(RunKorvane(dir, Study(evaluated, "13", 4, 3, "damaged")).status, 0);
  const fs::path results = dir / "damaged" / "evaluation" / "results.bin";
  const std::string bytes = ReadFile(results);
  WriteFile(results, bytes.substr(0, bytes.size() / 2));
  const std::map<std::string, std::string> before = ReadTree(dir);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain", "a holds an evaluation and plain holds none"},
      {"other-pcs", "evaluated with other settings (--evaluate-pcs 2 and 3"},
      {"damaged", "damaged/evaluation/results.bin: not an evaluation's results file"},
  };
  for (const auto& [other, message] : cases) {
    const Ended refused = RunKorvane(dir, {"merge", "--output-directory", "merged", "a", other});
    EXPECT_EQ(refused.status, 2) << other;
    EXPECT_THAT(refused.err, HasSubstr(message)) << other;
    EXPECT_FALSE(fs::exists(dir / "merged")) << other;
  }
  EXPECT_EQ(ReadTree(dir), before);
}

struct Refusal {
  std::string what;
  std::string message;
};

TEST(MergeTest, ShardsNotOfOneRunAreRefusedAndNothingIsWritten) {
  TempDir tmp;
  const fs::path dir = tmp.path();
  ASSERT_EQ(RunKorvane(dir, Study(kQual, "5", 1, 2, "a")).status, 0);
  ASSERT_EQ(RunKorvane(dir, Study(kQual, "5", 3, 2, "b")).status, 0);
  ASSERT_EQ(RunKorvane(dir, Study(kQual, "6", 3, 2, "other-seed")).status, 0);
  std::vector<std::string> otherSize = kQual;
  otherSize[2] = "50";
  ASSERT_EQ(RunKorvane(dir, Study(otherSize, "5", 3, 2, "other-size")).status, 0);
  ASSERT_EQ(RunKorvane(dir, Study(kQual, "5", 2, 2, "overlap")).status, 0);
  ASSERT_EQ(RunKorvane(dir, Study(kQual, "5", 6, 2, "gap")).status, 0);
  ASSERT_EQ(RunKorvane(dir, Study(kQual, "5", 3, 2, "lost")).status, 0);
  fs::remove_all(dir / "lost" / "4");
  ASSERT_EQ(RunKorvane(dir, Study(kQual, "5", 3, 2, "two-runs")).status, 0);
  ASSERT_EQ(RunKorvane(dir, Study(kQual, "5", 5, 1, "two-runs")).status, 0);
  ASSERT_EQ(RunKorvane(dir, Study(kQual, "5", 3, 2, "stranger")).status, 0);
  WriteFile(dir / "stranger" / "notes.txt", "mine\n");
  ASSERT_EQ(RunKorvane(dir, Study(kQual, "5", 3, 2, "unfinished")).status, 0);
  fs::create_directories(dir / "unfinished" / ".5.partial");
  fs::create_directories(dir / "full");
  WriteFile(dir / "full" / "x", "x");

  const std::map<std::string, std::string> before = ReadTree(dir);
  const std::vector<std::pair<std::vector<std::string>, Refusal>> cases = {
      {{"a", "other-seed"}, {"seed", "different seeds: a has seed 5, other-seed has seed 6"}},
      {{"a", "other-size"}, {"settings", "different settings: sample-size is 40 in a but 50 in other-size"}},
      {{"a", "overlap"}, {"overlap", "overlapping shards: a and overlap both hold replicate 2"}},
      {{"gap", "a"}, {"gap", "missing replicates 3 to 5: in no shard (between a and gap)"}},
      {{"a", "lost"}, {"lost folder", "lost: replicate folder 4 is missing"}},
      {{"a", "two-runs"}, {"two runs", "holds 2 runs; a shard is the output directory of exactly one run"}},
      {{"a", "stranger"}, {"unknown file", "stranger: holds notes.txt, which is not a file of a run's output"}},
      {{"a", "unfinished"},
       {"partial", "unfinished: holds .5.partial, the unfinished folder of a stopped or failed run"}},
      {{"a", "nowhere"}, {"no shard", "nowhere: not a directory"}},
  };
  for (const auto& [shards, refusal] : cases) {
    std::vector<std::string> args = {"merge", "--output-directory", "merged"};
    args.insert(args.end(), shards.begin(), shards.end());
    const Ended merge = RunKorvane(dir, args);
    EXPECT_EQ(merge.status, 2) << refusal.what;
    EXPECT_THAT(merge.err, HasSubstr(refusal.message)) << refusal.what;
    EXPECT_FALSE(fs::exists(dir / "merged")) << refusal.what;
  }
  const Ended full = RunKorvane(dir, {"merge", "--output-directory", "full", "a", "b"});
  EXPECT_EQ(full.status, 2);
  EXPECT_THAT(full.err, HasSubstr("full: exists and is not an empty directory"));
  const Ended usage = RunKorvane(dir, {"merge", "a", "b"});
  EXPECT_EQ(usage.status, 2);
  EXPECT_THAT(usage.err, HasSubstr("--output-directory"));
  EXPECT_EQ(ReadTree(dir), before);  // the shards untouched
}

}  // namespace
}  // namespace korvane
