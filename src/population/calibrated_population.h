#pragma once

// The populations of the calibrated model: the source pools and the admixed
// population built with the same generations as the specified model, each
// founder and child drawn from its own keyed stream at full resolution
// (parents and reference individuals exactly uniform), and the children of a
// final generation from which a replicate's whole sample is drawn.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "population/admixture.h"
#include "population/calibrated_transmission.h"
#include "population/source_pools.h"
#include "random/lane_generator.h"

namespace korvane {

// What a stream of a calibrated attempt draws, part of its key.
enum class CalibratedStream : std::uint64_t {
  kMarkers = 1,
  kFounders,
  kMating,
  kMatingTransmission,
  kTraitChoice,
  kOffspringChoice,
  kOffspring,
  kWriting,
};

// The keys of one attempt's streams. `realization` counts the populations
// the attempt built (a discarded one is replaced by the next), so that a
// rebuilt population draws from new streams.
struct CalibratedKeys {
  std::uint64_t attempt = 0;
  std::uint64_t realization = 0;

  // The stream of item `which` of the draws `what` of group `group` (a pool,
  // a generation, a phase of the sample).
  std::uint64_t Key(CalibratedStream what, std::uint64_t group, std::uint64_t which) const {
    return StreamKey(attempt, static_cast<std::uint64_t>(what) << 56 | (realization & 0xFFFF) << 40 | group, which);
  }
};

// Both source pools: founders, then `matings` generations of random mating
// (at least one), every child's two parents drawn uniformly and
// independently from the previous generation. The pools' current generation
// is the final one. Refresh points at the founders and at every generation.
void BuildCalibratedPools(const CalibratedKeys& keys, const MarkerSet& markers, const ReferencePanel& panel,
                          int matings, SourcePools& pools, const std::function<void()>& refresh, WorkTeam& team);

// The admixed population: as BuildAdmixedPopulation (population/admixture.h),
// with migrants and founders as there, until its mean YRI ancestry reaches
// `target` (RunFailure after kMaxGenerations).
void BuildCalibratedAdmixed(const CalibratedKeys& keys, const MarkerSet& markers, const ReferencePanel& panel,
                            int migrantCount, double target, MigrantPick pick, AdmixedPopulation& population,
                            const std::function<void()>& refresh, WorkTeam& team);

// A child of random mating in a final generation: its parents (drawn
// uniformly and independently, so its two alleles at any locus are
// independent draws from the generation's allele frequencies) and, where a
// trait locus decided whether it is taken, the strand each parent passes on
// there.
struct ChildPlan {
  int parentA = 0, parentB = 0;
  int strandA = 0, strandB = 0;
  std::uint64_t key = 0;  // the stream of its transmissions
};

// Builds child k of `children` as individual k of `batch` (haplotype 0 from
// parent A, 1 from parent B, of `parents`), on the team; with `forcedLocus`
// at least 0, each haplotype carries its parent's planned strand there.
void BuildChildren(CalibratedBreeders& breeders, const HaplotypeStore& parents, std::span<const ChildPlan> children,
                   int forcedLocus, HaplotypeStore& batch);

// The children of a replicate's sample, decided one by one (parents,
// strands at the trait locus, status) and built in batches on the team, then
// handed to the writer in the order they were decided. Children come from up
// to two final generations (the two source pools), each a `source`.
class OffspringBatches {
 public:
  static constexpr int kBatch = 256;

  OffspringBatches(CalibratedBreeders& breeders, int loci, bool trackAncestry, int forcedLocus)
      : breeders_(breeders), forcedLocus_(forcedLocus) {
    for (HaplotypeStore& store : stores_) store = HaplotypeStore(kBatch, loci, trackAncestry);
  }

  // A decided child of source 0 or 1, with the caller's `tag` for its writing.
  void Add(int source, const ChildPlan& plan, int tag) {
    plans_[source].push_back(plan);
    order_.push_back({source, static_cast<int>(plans_[source].size()) - 1, tag});
  }
  bool Full() const { return plans_[0].size() >= kBatch || plans_[1].size() >= kBatch; }
  bool Empty() const { return order_.empty(); }

  // Builds the children from their sources' parents and calls
  // emit(store, index, source, tag) for each in the order added.
  template <typename Emit>
  void Flush(const HaplotypeStore& source0, const HaplotypeStore* source1, Emit emit) {
    const HaplotypeStore* parents[2] = {&source0, source1};
    for (int s = 0; s < 2; ++s) {
      if (!plans_[s].empty()) BuildChildren(breeders_, *parents[s], plans_[s], forcedLocus_, stores_[s]);
    }
    for (const Entry& entry : order_) emit(stores_[entry.source], entry.index, entry.source, entry.tag);
    plans_[0].clear();
    plans_[1].clear();
    order_.clear();
  }

 private:
  struct Entry {
    int source, index, tag;
  };
  CalibratedBreeders& breeders_;
  int forcedLocus_;
  HaplotypeStore stores_[2];
  std::vector<ChildPlan> plans_[2];
  std::vector<Entry> order_;
};

}  // namespace korvane
