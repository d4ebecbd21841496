#pragma once

// Composing a whole child row from the bits of its draws (the inner loop of
// HaplotypeTransmitter, see qual/transmission.h), in a portable form and in
// one using the carry-less multiplication of AVX2-era processors.
//
// draws: one bit per locus, at a region's first locus "u below 0.5" (start
// on the first source), at every other locus "u below the recombination
// fraction" (switch); heads: the bits of the regions' first loci. With the
// head bits inverted, every bit marks a change of strand from the first
// source before the region, so the strand at a locus is the parity of those
// bits from its region's first locus up to it, and the child takes the
// second source's allele where it is 1.

//
// Planes: the alleles are one plane of rows; with local ancestry the ancestry
// rows are a second one, composed under the same mask in the same pass, so
// that the mask is computed once per word for both.

#include <cstdint>
#include <span>

namespace korvane::detail {

struct RowComposition {
  const std::uint64_t* draws;
  const std::uint64_t* heads;
  int words;
};

// One plane of a transmission: the rows of both sources and the child's row.
struct RowPlane {
  const std::uint64_t* first;
  const std::uint64_t* second;
  std::uint64_t* target;
};

// The most planes a transmission composes: the alleles and their ancestry.
inline constexpr std::size_t kMaxPlanes = 2;

// Composes every plane (one or two) under the row's strand mask.
void ComposeRowPortable(const RowComposition& row, std::span<const RowPlane> planes);
void ComposeRowClmul(const RowComposition& row, std::span<const RowPlane> planes);

// The child's word w of every plane under `mask`: the second source's bit
// where the mask is 1, the first's where it is 0.
template <std::size_t kPlanes>
inline void SelectWord(const RowPlane* planes, int w, std::uint64_t mask) {
  for (std::size_t p = 0; p < kPlanes; ++p) {
    planes[p].target[w] = (planes[p].second[w] & mask) | (planes[p].first[w] & ~mask);
  }
}

// After the parity of a word is computed as if no region started in it, each
// head restarts it: the bits from the head up are flipped by the strand just
// below the head (the previous word's strand for a head at bit 0).
inline std::uint64_t RestartAtHeads(std::uint64_t strand, std::uint64_t heads, std::uint64_t incoming) {
  for (; heads != 0; heads &= heads - 1) {
    const int q = __builtin_ctzll(heads);
    const std::uint64_t below = q == 0 ? incoming : std::uint64_t{0} - ((strand >> (q - 1)) & 1u);
    strand ^= below & (~std::uint64_t{0} << q);
  }
  return strand;
}

}  // namespace korvane::detail
