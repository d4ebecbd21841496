#pragma once

// Haplotype transmission of the calibrated model: the same bit-packed
// composition as HaplotypeTransmitter (population/transmission.h), with every
// region start and switch drawn at full resolution from a LaneGenerator: a
// switch before a locus is "u below r" with u a 64-bit value and r the
// locus's recombination fraction as a 64-bit threshold, so that fractions
// far below a thousandth act as themselves.

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "parallel/work_team.h"
#include "population/transmission.h"
#include "random/lane_generator.h"
#include "refdata/haplotype_store.h"
#include "refdata/marker_set.h"

namespace korvane {

// A strand a child must copy at one locus: `strand` 0 (the source's first
// haplotype) or 1 (its second) at global locus `locus`.
struct ForcedStrand {
  int locus = -1;  // none when negative
  int strand = 0;
};

class CalibratedTransmitter {
 public:
  explicit CalibratedTransmitter(const MarkerSet& markers);

  int DrawsPerHaplotype() const { return layout_.FirstDraw(MarkerSet::kRegions); }

  // Haplotype `slot` of individual `target` of `to` gets, in every region, a
  // recombinant of the two haplotypes of individual `source` of `from`, with
  // its ancestry where `to` tracks it. With a forced strand, the draws are
  // made as always and, where they give the other strand at that locus, the
  // start of the locus's region is inverted: the strand pattern of the region
  // is then drawn from its distribution given the strand at the locus (the
  // start is a fair draw, so inverting it maps the patterns of one strand
  // one to one onto those of the other, with equal probabilities).
  void Transmit(LaneGenerator& gen, const HaplotypeStore& from, int source, HaplotypeStore& to, int target, int slot,
                ForcedStrand forced = ForcedStrand{});

  // Region after region, each from its own pair of reference rows: region r
  // of the row `target` from individual pick(r) of `from` (the migrant
  // haplotype of the continuous trait model, one reference individual per
  // region). The picks are made in region order before the draws.
  template <typename Pick>
  void TransmitPerRegion(LaneGenerator& gen, const HaplotypeStore& from, Pick pick, std::uint64_t* target) {
    int picks[MarkerSet::kRegions];
    for (int& p : picks) p = pick();
    DrawBelowBits(gen, thresholds_.data(), DrawsPerHaplotype(), bits_.data());
    for (int r = 0; r < MarkerSet::kRegions; ++r) {
      const detail::RowPlane plane{from.Row(picks[r], 0), from.Row(picks[r], 1), target};
      layout_.ComposeDrawn(bits_.data(), r, r + 1, std::span<const detail::RowPlane>(&plane, 1));
    }
  }

 private:
  HaplotypeTransmitter layout_;            // the draws' layout and the composition
  const MarkerSet* markers_;               // for the region of a forced locus
  std::vector<std::uint64_t> thresholds_;  // per draw of a haplotype
  std::vector<std::uint64_t> bits_;        // the draws of one haplotype, and a spare word
};

// A work team and a calibrated transmitter for each of its members.
struct CalibratedBreeders {
  CalibratedBreeders(WorkTeam& members, const MarkerSet& markers)
      : team(members), transmitters(static_cast<std::size_t>(members.Size()), CalibratedTransmitter(markers)) {}

  // Runs build(part, begin, end) over items [0, count) in contiguous parts,
  // one per member, when the items' draws are worth splitting. Every item
  // draws from its own keyed stream, so the parts change nothing but the
  // time.
  template <typename Build>
  void ForParts(int count, long long drawsPerItem, Build build) {
    const long long draws = static_cast<long long>(count) * drawsPerItem;
    int parts = draws >= kDrawsWorthSplitting ? team.Size() : 1;
    parts = std::max(1, std::min(parts, count));
    if (parts == 1) {
      build(0, 0, count);
      return;
    }
    team.Run(parts, [&](int part) {
      const auto bound = [&](int k) { return static_cast<int>(static_cast<long long>(count) * k / parts); };
      build(part, bound(part), bound(part + 1));
    });
  }
  static constexpr long long kDrawsWorthSplitting = 100000;

  WorkTeam& team;
  std::vector<CalibratedTransmitter> transmitters;
};

}  // namespace korvane
