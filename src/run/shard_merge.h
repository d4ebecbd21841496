#pragma once

// Combining the shards of one setting into one run. A study too large for
// one machine runs as shards: processes with the same parameters and seed,
// each writing its own range of replicates (--first-replicate) into its own
// output directory. Because a replicate is a pure function of its seed,
// number and parameters, the shards together hold exactly the replicates one
// process would have written; MergeShards lays them out as that process
// would have: the replicate folders side by side, one causal-locus log of
// each kind with one header and the lines in replicate order, one
// Truth_Loci.tsv, and one run record for the whole range.
//
// The merged run record is the one table that a single run of the whole
// range writes: the shards' common settings, the lowest first replicate, the
// replicate count and the completed replicates summed, the merged output
// directory, and as start the earliest of the shards' starts. A single run
// started at that second writes the same bytes; `--params` of the merged
// record repeats the whole range in one process.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane {

// Shards that cannot be merged (of different settings or seeds, overlapping
// or missing replicate ranges, an unfinished run, a file the merge does not
// know) or an output directory that is not empty: nothing was changed.
class MergeRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct MergeRequest {
  std::vector<std::filesystem::path> shards;
  // As the user gave it: the merged record keeps this text, as a run
  // writing into it would.
  std::string outputDirectory;
  // Hard-link the replicates' files into the merged folders (the shards stay
  // whole; a file on another file system is copied) instead of moving the
  // folders.
  bool link = false;
  // The shards were run with --evaluate and the caller combines their
  // evaluations (evaluation/results.bin): their evaluation folders are
  // accepted and left in the shards. Without it a shard that has one is
  // refused.
  bool evaluations = false;
};

struct MergeSummary {
  int firstReplicate = 0;
  int replicateCount = 0;
  int shardCount = 0;
};

// Checks every shard and then writes the merged run into
// request.outputDirectory, which must be empty or absent. Throws
// MergeRefused (nothing written) or std::runtime_error naming the path and
// the system's reason when a file cannot be read or written.
MergeSummary MergeShards(const MergeRequest& request);

}  // namespace korvane
