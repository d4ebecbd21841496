#pragma once

// Haplotype transmission: the index draw among n items and the recombining
// copy of one region's haplotype, used by every population model.

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "parallel/work_team.h"
#include "population/row_compose.h"
#include "random/random_generator.h"
#include "refdata/haplotype_store.h"
#include "refdata/marker_set.h"

namespace korvane {

// PickIndex(n): draws u = U(0,1) and returns the smallest index i with
// i/n <= u <= (i+1)/n (quotients in double precision). Ties go to the lower
// index, so PickIndex(1000) returns 1000u - 1 for u > 0 and 0 for u = 0.
// The answer for each of the thousand values of u is tabulated once.
class IndexPicker {
 public:
  explicit IndexPicker(int size);

  int Size() const { return size_; }
  int Pick(RandomGenerator& gen) const {
    for (;;) {
      const int index = table_[DrawThousandths(gen)];
      if (index >= 0) return index;
    }
  }
  // The index for a given draw (-1 when no index qualifies).
  int IndexFor(int thousandths) const { return table_[thousandths]; }
  // Whether every draw gives an index, so that a pick takes one draw.
  bool OneDrawPerPick() const { return oneDraw_; }

 private:
  int size_;
  std::array<int, 1000> table_;
  bool oneDraw_ = true;
};

// Transmission of packed haplotypes (refdata/haplotype_store.h), region
// after region: one U(0,1) picks the starting source of a region (the second
// when u >= 0.5), then one U(0,1) per further chosen locus switches sources
// when it is below the recombination fraction between the locus and its
// predecessor; a region without loci still makes its first draw. The tests
// hold it to a per-locus reference on unpacked classes.
//
// The draws of a haplotype are known in advance: region r takes
// max(1, count_r) of them, the first picking the starting source, each
// further one deciding a switch before its locus, so a haplotype's regions
// take DrawsPerHaplotype() draws in one run. They are drawn in bulk as bits
// (random/bulk_draws.h): for the first draw of a region "u below 0.5", for a
// switch draw "u below the recombination fraction". Inverting the first bit
// turns it into "start on the second source", and then every bit of the
// region is a change of strand: the strand at a locus is the parity of the
// region's bits up to it, a prefix XOR within each word carried from word to
// word. With the strand mask m, the child's word is
// (second & m) | (first & ~m), merged under the region's bits into the
// words it shares with its neighbours. A whole row is composed in one pass
// instead, with a prefix parity that restarts at each region's first locus.
//
// Local ancestry. Where the child's store keeps ancestry rows
// (refdata/haplotype_store.h), its ancestry row is composed from the
// sources' ancestry rows under the same strand mask in the same pass, or,
// from a store of one population's reference haplotypes, filled with that
// population's bit: no draw is added or moved, so the alleles and the
// generator's stream are those of a transmission without it.
class HaplotypeTransmitter {
 public:
  explicit HaplotypeTransmitter(const MarkerSet& markers);

  int DrawsPerHaplotype() const { return firstDraw_[MarkerSet::kRegions]; }
  // Draws of regions [firstRegion, endRegion).
  int Draws(int firstRegion, int endRegion) const { return firstDraw_[endRegion] - firstDraw_[firstRegion]; }

  // Regions [firstRegion, endRegion) of the packed row `target`, recombined
  // from the packed rows `first` and `second`, in region order.
  void TransmitRegions(RandomGenerator& gen, int firstRegion, int endRegion, const std::uint64_t* first,
                       const std::uint64_t* second, std::uint64_t* target);

  void TransmitAll(RandomGenerator& gen, const std::uint64_t* first, const std::uint64_t* second,
                   std::uint64_t* target) {
    TransmitRegions(gen, 0, MarkerSet::kRegions, first, second, target);
  }

  // The same with the planes of `rows` (the alleles, then their ancestry
  // when tracked), all composed under the same strand mask.
  void TransmitRegions(RandomGenerator& gen, int firstRegion, int endRegion, std::span<const detail::RowPlane> rows);

  // Haplotype `slot` of individual `target` of `to` gets, in every region, a
  // recombinant of the two haplotypes of individual `source` of `from`; with
  // its ancestry when `to` tracks it. Throws std::logic_error when `to`
  // tracks ancestry and `from` neither tracks it nor is of one population.
  void Transmit(RandomGenerator& gen, const HaplotypeStore& from, int source, HaplotypeStore& to, int target, int slot);

  // The layout of a haplotype's draws: region r's are draws
  // [FirstDraw(r), FirstDraw(r + 1)), the first picking the starting source
  // ("below one half": the first), each further one a switch before locus
  // Begin(r) + k.
  int FirstDraw(int region) const { return firstDraw_[region]; }
  int Begin(int region) const { return begin_[region]; }
  int Count(int region) const { return count_[region]; }

  // Regions [firstRegion, endRegion) of the planes `rows` composed from draws
  // already made: bit p of `drawBits` is draw p of a whole haplotype, in the
  // layout above, and `drawBits` has a spare word after the last one. The
  // same composition as TransmitRegions makes of its own draws.
  void ComposeDrawn(const std::uint64_t* drawBits, int firstRegion, int endRegion,
                    std::span<const detail::RowPlane> rows) const;

  // The planes of a transmission from individual `source` of `from` into
  // haplotype `slot` of individual `target` of `to`: the alleles, and their
  // ancestry where `to` tracks it and `from` does. Where `to` tracks ancestry
  // and `from` is a store of one population's reference haplotypes, only the
  // alleles, and that population is returned for the caller to fill the
  // child's ancestry row with. Throws std::logic_error when `to` tracks
  // ancestry and the source's is unknown.
  struct Planes {
    std::array<detail::RowPlane, detail::kMaxPlanes> rows{};
    std::size_t count = 1;
    std::optional<SourcePopulation> fill{};
    std::span<const detail::RowPlane> Rows() const { return {rows.data(), count}; }
  };
  static Planes PlanesOf(const HaplotypeStore& from, int source, HaplotypeStore& to, int target, int slot);

 private:
  std::array<int, MarkerSet::kRegions> begin_{};
  std::array<int, MarkerSet::kRegions> count_{};
  std::array<int, MarkerSet::kRegions + 1> firstDraw_{};
  std::vector<std::int32_t> scaled_;     // per draw of a haplotype, its scaled threshold
  std::vector<std::uint64_t> drawBits_;  // the bits of one run of draws, and one spare word
  // For whole rows: the bits of the regions' first loci, and whether every
  // region's draws sit on its loci' bits.
  std::vector<std::uint64_t> heads_;
  int rowWords_ = 0;
  bool drawsOnLoci_ = true;

  void ComposeRow(const std::uint64_t* drawBits, std::span<const detail::RowPlane> rows) const;
  // Regions [firstRegion, endRegion) from bits whose bit 0 is draw `base`.
  void ComposeFrom(const std::uint64_t* drawBits, int base, int firstRegion, int endRegion,
                   std::span<const detail::RowPlane> rows) const;
};

// A work team and a transmitter for each of its members: the children of a
// generation are built in parts (population/generation_parts.h), each part with its own
// transmitter, whose buffers it fills.
struct Breeders {
  Breeders(WorkTeam& members, const MarkerSet& markers)
      : team(members), transmitters(static_cast<std::size_t>(members.Size()), HaplotypeTransmitter(markers)) {}

  WorkTeam& team;
  std::vector<HaplotypeTransmitter> transmitters;

  int DrawsPerHaplotype() const { return transmitters.front().DrawsPerHaplotype(); }
  // The parts worth making of a generation whose picks all take one draw:
  // small generations are not split, their parts would be mostly waiting.
  int Parts(bool oneDrawPicks, int children) const {
    const long long draws = 2LL * children * DrawsPerHaplotype();
    return oneDrawPicks && draws >= kDrawsWorthSplitting ? team.Size() : 1;
  }
  static constexpr long long kDrawsWorthSplitting = 100000;
};

}  // namespace korvane
