#pragma once

// `korvane merge SHARD_DIR... --output-directory DIR`: the shards of one
// setting, each the output directory of a run over its own range of
// replicates, combined into one run's output directory (run/shard_merge.h).

namespace korvane::cli {

// Parses the arguments after "merge" (argv[0] is "merge") and merges.
// Returns the exit status: 0 when merged, 2 for refused usage or shards that
// cannot be merged (nothing changed), 1 when a file could not be read or
// written.
int MergeMain(int argc, const char* const* argv);

}  // namespace korvane::cli
