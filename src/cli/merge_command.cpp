#include "cli/merge_command.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "run/shard_merge.h"

namespace korvane::cli {

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;

}  // namespace

int MergeMain(int argc, const char* const* argv) {
  CLI::App app(
      "combine the shards of one setting (runs of the same parameters and seed over adjacent ranges of replicates, "
      "--first-replicate) into the output directory that one run of the whole range writes: its replicate folders, "
      "the causal-locus logs with one header and the lines in replicate order, Truth_Loci.tsv and one run record",
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
    const MergeSummary summary = MergeShards(request);
    if (!quiet) {
      fmt::print("merged {} shards: replicates {} to {} in {}\n", summary.shardCount, summary.firstReplicate,
                 summary.firstReplicate + summary.replicateCount - 1,
                 std::filesystem::absolute(outputDirectory).lexically_normal().string());
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
