#include "population/transmission.h"

#include <stdexcept>

#include "random/bulk_draws.h"

namespace korvane {

IndexPicker::IndexPicker(int size) : size_(size) {
  // The smallest i with u <= (i + 1)/size is found from an estimate by the
  // same comparisons (the quotients grow with i); it is the answer when it
  // also satisfies i/size <= u, and no index qualifies otherwise.
  for (int k = 0; k < 1000; ++k) {
    const double u = k / 1000.0;
    int i = size > 0 ? static_cast<int>(u * size) : 0;
    while (i > 0 && u <= static_cast<double>(i) / size) --i;
    while (i < size && !(u <= static_cast<double>(i + 1) / size)) ++i;
    table_[k] = i < size && static_cast<double>(i) / size <= u ? i : -1;
    oneDraw_ = oneDraw_ && table_[k] >= 0;
  }
}

namespace {

// The 64 bits of `bits` starting at bit `position`, which may lie up to 63
// bits before the start (those read as 0). Reads the word after the one the
// position falls in.
inline std::uint64_t BitsAt(const std::uint64_t* bits, int position) {
  if (position < 0) return bits[0] << -position;
  const int word = position / 64;
  const int shift = position % 64;
  return shift == 0 ? bits[word] : (bits[word] >> shift) | (bits[word + 1] << (64 - shift));
}

inline std::uint64_t PrefixParity(std::uint64_t x) {
  x ^= x << 1;
  x ^= x << 2;
  x ^= x << 4;
  x ^= x << 8;
  x ^= x << 16;
  x ^= x << 32;
  return x;
}

// One region of loci [begin, begin + count), count >= 1, whose draws are the
// bits from `drawPosition` of `drawBits`, in every plane.
template <std::size_t kPlanes>
void ComposeRegion(const std::uint64_t* drawBits, int drawPosition, int begin, int count,
                   const detail::RowPlane* planes) {
  const int end = begin + count;
  const int firstWord = begin / 64;
  const int lastWord = (end - 1) / 64;
  const int delta = drawPosition - begin;  // the draw of locus g is bit g + delta
  std::uint64_t strand = 0;                // all ones: on the second source after the previous word
  for (int w = firstWord; w <= lastWord; ++w) {
    std::uint64_t region = ~std::uint64_t{0};
    if (w == lastWord) region >>= 63 - (end - 1) % 64;
    std::uint64_t x = BitsAt(drawBits, 64 * w + delta);
    if (w == firstWord) {
      region &= ~std::uint64_t{0} << (begin % 64);
      x ^= std::uint64_t{1} << (begin % 64);  // the start draw: the second source unless u < 0.5
    }
    const std::uint64_t mask = PrefixParity(x & region) ^ strand;
    strand = std::uint64_t{0} - (mask >> 63);
    for (std::size_t p = 0; p < kPlanes; ++p) {
      const detail::RowPlane& plane = planes[p];
      const std::uint64_t child = (plane.second[w] & mask) | (plane.first[w] & ~mask);
      plane.target[w] = (plane.target[w] & ~region) | (child & region);
    }
  }
}

template <std::size_t kPlanes>
void ComposeRowPortableWith(const detail::RowComposition& row, const detail::RowPlane* given) {
  detail::RowPlane planes[kPlanes];  // held in registers across the loop
  for (std::size_t p = 0; p < kPlanes; ++p) planes[p] = given[p];
  std::uint64_t strand = 0;  // all ones: on the second source after the previous word
  for (int w = 0; w < row.words; ++w) {
    const std::uint64_t parity = PrefixParity(row.draws[w] ^ row.heads[w]);
    std::uint64_t mask = parity ^ strand;
    if (row.heads[w] == 0) {
      strand ^= std::uint64_t{0} - (parity >> 63);  // the same as from mask, off the mask's chain
    } else {
      mask = detail::RestartAtHeads(mask, row.heads[w], strand);
      strand = std::uint64_t{0} - (mask >> 63);
    }
    detail::SelectWord<kPlanes>(planes, w, mask);
  }
}

}  // namespace

HaplotypeTransmitter::HaplotypeTransmitter(const MarkerSet& markers) {
  int draws = 0;
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    begin_[r] = markers.offset[r];
    count_[r] = markers.offset[r + 1] - markers.offset[r];
    firstDraw_[r] = draws;
    draws += count_[r] > 0 ? count_[r] : 1;
  }
  firstDraw_[MarkerSet::kRegions] = draws;
  scaled_.assign(draws, 0);
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    scaled_[firstDraw_[r]] = ScaledThreshold(500);
    for (int k = 1; k < count_[r]; ++k) scaled_[firstDraw_[r] + k] = ScaledThreshold(markers.switchThreshold[r][k]);
  }
  drawBits_.assign(WordsForBits(draws) + 1, 0);

  // The draws of all regions fall on their loci' bits unless an empty
  // region, whose draw has no locus, comes before a region with loci.
  rowWords_ = WordsForLoci(markers.total);
  drawsOnLoci_ = true;
  heads_.assign(rowWords_, 0);
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    if (count_[r] == 0) continue;
    if (firstDraw_[r] != begin_[r]) drawsOnLoci_ = false;
    heads_[begin_[r] / 64] |= std::uint64_t{1} << (begin_[r] % 64);
  }
}

void HaplotypeTransmitter::ComposeRow(const std::uint64_t* drawBits, std::span<const detail::RowPlane> rows) const {
  // Every locus of the row belongs to one region, so whole words are written;
  // the padding bits stay 0 because they are 0 in both sources.
  const detail::RowComposition row{drawBits, heads_.data(), rowWords_};
  if (ActiveDrawKernel() == DrawKernel::kAvx2) {
    detail::ComposeRowClmul(row, rows);
  } else {
    detail::ComposeRowPortable(row, rows);
  }
}

void HaplotypeTransmitter::ComposeFrom(const std::uint64_t* drawBits, int base, int firstRegion, int endRegion,
                                       std::span<const detail::RowPlane> rows) const {
  if (rows.empty() || rows.size() > detail::kMaxPlanes) {
    throw std::logic_error("transmission: one or two planes of rows are composed");
  }
  if (base == 0 && firstRegion == 0 && endRegion == MarkerSet::kRegions && drawsOnLoci_) {
    ComposeRow(drawBits, rows);
    return;
  }
  for (int r = firstRegion; r < endRegion; ++r) {
    if (count_[r] == 0) continue;
    if (rows.size() == 1) {
      ComposeRegion<1>(drawBits, firstDraw_[r] - base, begin_[r], count_[r], rows.data());
    } else {
      ComposeRegion<detail::kMaxPlanes>(drawBits, firstDraw_[r] - base, begin_[r], count_[r], rows.data());
    }
  }
}

void HaplotypeTransmitter::ComposeDrawn(const std::uint64_t* drawBits, int firstRegion, int endRegion,
                                        std::span<const detail::RowPlane> rows) const {
  ComposeFrom(drawBits, 0, firstRegion, endRegion, rows);
}

void HaplotypeTransmitter::TransmitRegions(RandomGenerator& gen, int firstRegion, int endRegion,
                                           const std::uint64_t* first, const std::uint64_t* second,
                                           std::uint64_t* target) {
  const detail::RowPlane alleles{first, second, target};
  TransmitRegions(gen, firstRegion, endRegion, std::span<const detail::RowPlane>(&alleles, 1));
}

void HaplotypeTransmitter::TransmitRegions(RandomGenerator& gen, int firstRegion, int endRegion,
                                           std::span<const detail::RowPlane> rows) {
  if (rows.empty() || rows.size() > detail::kMaxPlanes) {
    throw std::logic_error("transmission: one or two planes of rows are composed");
  }
  const int base = firstDraw_[firstRegion];
  DrawBelowBits(gen, scaled_.data() + base, firstDraw_[endRegion] - base, drawBits_.data());
  ComposeFrom(drawBits_.data(), base, firstRegion, endRegion, rows);
}

HaplotypeTransmitter::Planes HaplotypeTransmitter::PlanesOf(const HaplotypeStore& from, int source, HaplotypeStore& to,
                                                            int target, int slot) {
  Planes planes;
  planes.rows[0] = {from.Row(source, 0), from.Row(source, 1), to.Row(target, slot)};
  if (!to.TracksAncestry()) return planes;
  if (from.TracksAncestry()) {
    planes.rows[1] = {from.AncestryRow(source, 0), from.AncestryRow(source, 1), to.AncestryRow(target, slot)};
    planes.count = 2;
    return planes;
  }
  // A reference haplotype: every allele the child copies is of its panel's
  // population, wherever the strand switches.
  planes.fill = from.Population();
  if (!planes.fill) throw std::logic_error("transmission: the ancestry of the source haplotypes is unknown");
  return planes;
}

void HaplotypeTransmitter::Transmit(RandomGenerator& gen, const HaplotypeStore& from, int source, HaplotypeStore& to,
                                    int target, int slot) {
  const Planes planes = PlanesOf(from, source, to, target, slot);
  TransmitRegions(gen, 0, MarkerSet::kRegions, planes.Rows());
  if (planes.fill) to.SetAncestry(target, slot, *planes.fill);
}

namespace detail {

void ComposeRowPortable(const RowComposition& row, std::span<const RowPlane> planes) {
  if (planes.size() == 1) {
    ComposeRowPortableWith<1>(row, planes.data());
  } else {
    ComposeRowPortableWith<kMaxPlanes>(row, planes.data());
  }
}

}  // namespace detail
}  // namespace korvane
