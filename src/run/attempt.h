#pragma once

// What a simulation routine gets for one replicate attempt, and how it ends.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "output/output_set.h"
#include "parallel/work_team.h"
#include "random/random_generator.h"
#include "refdata/reference_data.h"

namespace korvane {

struct AttemptContext {
  RandomGenerator& gen;
  std::uint32_t seed;  // seeded into `gen` where the routine starts its stream
  const ReferenceData& data;
  OutputSet& output;
  std::function<void()> refresh;    // a refresh point: the host shows the record; may throw RunStopped
  WorkTeam& team;                   // builds the children of a generation in parts
  bool localAncestry = false;       // track the ancestry of every allele (RunOptions::localAncestry)
  bool calibrated = false;          // simulate with the calibrated model (RunOptions::calibrated)
  std::uint64_t calibratedKey = 0;  // the calibrated model's key of the attempt's streams
};

// A routine that gives up (no causal-locus candidate, too few null loci
// after its retries) returns complete = false with the reason of its last
// discarded population.
struct AttemptResult {
  bool complete = true;
  std::string reason;
  // For the causal-locus logs: 1-based positions among all chosen loci and
  // among the non-null chosen loci, one per causal locus or QTL (0: none).
  std::vector<int> positionsAll;
  std::vector<int> positionsCandidate;
  int nullLoci = 0;  // the null loci (AIMs) of the replicate's files
};

// The host asked the run to stop.
class RunStopped : public std::exception {
 public:
  const char* what() const noexcept override { return "run stopped"; }
};

// Bounds of the routines' loops that the parameters cannot rule out (the
// generations of an admixed population are bounded in population/bounds.h).
inline constexpr int kMaxUnproductiveCycles = 10000;
// A routine discards a population and builds a new one while it has
// discarded at most this many; it gives up at the twelfth.
inline constexpr int kRetryLimit = 10;

// The populations one replicate attempt may discard (no causal-locus or QTL
// candidate, too few null loci) before its routine gives up.
class DiscardBudget {
 public:
  // Counts one more discarded population; false when the routine must give
  // up instead of building another.
  bool Discard() {
    if (discarded_ > kRetryLimit) return false;
    ++discarded_;
    return true;
  }

 private:
  int discarded_ = 0;
};

}  // namespace korvane
