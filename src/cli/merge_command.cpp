#include "cli/merge_command.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/evaluate_command.h"
#include "evaluate/result_file.h"
#include "run/shard_merge.h"

namespace korvane::cli {

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;

namespace fs = std::filesystem;

// The replicate folders of a shard: its folders named by a number.
std::set<int> ReplicateNumbers(const fs::path& shard) {
  std::set<int> numbers;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(shard, ec)) {
    const std::string name = entry.path().filename().string();
    int n = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), n);
    if (error == std::errc() && end == name.data() + name.size() && std::to_string(n) == name && entry.is_directory()) {
      numbers.insert(n);
    }
  }
  return numbers;
}

// The evaluations of shards run with --evaluate, read from their
// evaluation/results.bin and checked to be of the same settings and of
// exactly each shard's replicates; none when no shard has an evaluation.
// Shards of which only some have one are refused, before anything moves.
std::vector<ResultFile> ShardEvaluations(const std::vector<fs::path>& shards) {
  std::vector<const fs::path*> with, without;
  for (const fs::path& shard : shards) (fs::is_directory(shard / "evaluation") ? with : without).push_back(&shard);
  if (with.empty()) return {};
  if (!without.empty()) {
    throw MergeRefused(fmt::format(
        "{} holds an evaluation and {} holds none: run every shard with --evaluate, or none (and evaluate the "
        "merged run with korvane evaluate DIR)",
        with.front()->string(), without.front()->string()));
  }
  std::vector<ResultFile> parts;
  for (const fs::path& shard : shards) {
    const fs::path path = shard / "evaluation" / kResultFileName;
    try {
      parts.push_back(ReadResultFile(path));
    } catch (const std::exception& e) {
      throw MergeRefused(e.what());
    }
    const ResultFile& part = parts.back();
    if (part.principalComponents != parts.front().principalComponents || part.keepLoci != parts.front().keepLoci) {
      throw MergeRefused(
          fmt::format("{} and {}: evaluated with other settings (--evaluate-pcs {} and {}, --evaluate-loci {} and {})",
                      shards.front().string(), shard.string(), parts.front().principalComponents,
                      part.principalComponents, parts.front().keepLoci ? "on" : "off", part.keepLoci ? "on" : "off"));
    }
    std::set<int> evaluated;
    for (const ReplicateResult& result : part.results) evaluated.insert(result.replicate);
    if (evaluated.size() != part.results.size() || evaluated != ReplicateNumbers(shard)) {
      throw MergeRefused(fmt::format("{}: its evaluation holds {} replicates, not those of its replicate folders",
                                     path.string(), part.results.size()));
    }
  }
  return parts;
}

}  // namespace

int MergeMain(int argc, const char* const* argv) {
  CLI::App app(
      "combine the shards of one setting (runs of the same parameters and seed over adjacent ranges of replicates, "
      "--first-replicate) into the output directory that one run of the whole range writes: its replicate folders, "
      "the causal-locus logs with one header and the lines in replicate order, Truth_Loci.tsv, one run record and, "
      "for shards run with --evaluate, the evaluation of all the replicates",
      "korvane merge");
  app.get_formatter()->column_width(30);
  std::vector<std::string> shardDirs;
  std::string outputDirectory;
  bool link = false;
  bool quiet = false;
  app.add_option("SHARD_DIR", shardDirs, "the output directories of the shards, in any order")
      ->required()
      ->type_name("DIR");
  app.add_option("--output-directory", outputDirectory, "the merged run's directory: new or empty")
      ->required()
      ->type_name("DIR");
  app.add_flag("--link", link,
               "hard-link the replicates' files into the merged directory and leave the shards whole (files on "
               "another file system are copied); without it the replicate folders are moved");
  app.add_flag("--quiet", quiet, "no summary line");
  app.footer(
      "Exit status: 0 when merged, 2 for refused usage or shards that cannot be merged (nothing is changed), 1 when "
      "a file cannot be read or written.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::ParseError& error) {
    fmt::print(stderr, "korvane merge: {}\nRun 'korvane merge --help' for the options.\n", error.what());
    return kExitRefused;
  }

  MergeRequest request;
  request.shards.assign(shardDirs.begin(), shardDirs.end());
  request.outputDirectory = outputDirectory;
  request.link = link;
  try {
    std::vector<ResultFile> evaluations = ShardEvaluations(request.shards);
    request.evaluations = !evaluations.empty();
    const MergeSummary summary = MergeShards(request);
    if (!quiet) {
      fmt::print("merged {} shards: replicates {} to {} in {}\n", summary.shardCount, summary.firstReplicate,
                 summary.firstReplicate + summary.replicateCount - 1,
                 std::filesystem::absolute(outputDirectory).lexically_normal().string());
    }
    if (!evaluations.empty()) {
      const bool qualitative = evaluations.front().results.front().study == StudyKind::kQualitative;
      WriteCombinedEvaluation(outputDirectory, qualitative, std::move(evaluations), quiet);
    }
  } catch (const MergeRefused& refused) {
    fmt::print(stderr, "korvane merge: {}\n", refused.what());
    return kExitRefused;
  } catch (const std::exception& e) {
    fmt::print(stderr, "korvane merge: {}\n", e.what());
    return kExitFailed;
  }
  return 0;
}

}  // namespace korvane::cli
