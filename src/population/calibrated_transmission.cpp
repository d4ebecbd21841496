#include "population/calibrated_transmission.h"

#include "random/bulk_draws.h"

namespace korvane {

CalibratedTransmitter::CalibratedTransmitter(const MarkerSet& markers)
    : layout_(markers), markers_(&markers), thresholds_(static_cast<std::size_t>(DrawsPerHaplotype()), 0) {
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    const int first = layout_.FirstDraw(r);
    thresholds_[first] = std::uint64_t{1} << 63;  // u below one half: start on the first source
    for (int k = 1; k < layout_.Count(r); ++k) thresholds_[first + k] = ThresholdOf(markers.recombination[r][k]);
  }
  bits_.assign(static_cast<std::size_t>(WordsForBits(DrawsPerHaplotype())) + 1, 0);
}

void CalibratedTransmitter::Transmit(LaneGenerator& gen, const HaplotypeStore& from, int source, HaplotypeStore& to,
                                     int target, int slot, ForcedStrand forced) {
  const HaplotypeTransmitter::Planes planes = HaplotypeTransmitter::PlanesOf(from, source, to, target, slot);
  DrawBelowBits(gen, thresholds_.data(), DrawsPerHaplotype(), bits_.data());
  if (forced.locus >= 0) {
    // The strand at the locus is the first source's when the region's start
    // bit and its switch bits up to the locus are of odd parity.
    const int r = markers_->RegionOf(forced.locus);
    const int first = layout_.FirstDraw(r);
    const int last = first + (forced.locus - layout_.Begin(r));
    int parity = 0;
    for (int w = first / 64; w <= last / 64; ++w) {
      std::uint64_t word = bits_[w];
      if (w == first / 64) word &= ~std::uint64_t{0} << (first % 64);
      if (w == last / 64) word &= ~std::uint64_t{0} >> (63 - last % 64);
      parity ^= __builtin_popcountll(word) & 1;
    }
    const int strand = 1 ^ parity;
    if (strand != forced.strand) bits_[first / 64] ^= std::uint64_t{1} << (first % 64);
  }
  layout_.ComposeDrawn(bits_.data(), 0, MarkerSet::kRegions, planes.Rows());
  if (planes.fill) to.SetAncestry(target, slot, *planes.fill);
}

}  // namespace korvane
