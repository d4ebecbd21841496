#pragma once

// The text of genotype rows, written straight into an output buffer.
//
// A genotype prints as one of five texts: missing, or the allele codes
// 1 1, 1 2, 2 1, 2 2 (1 for class 1, A or T; 2 for any other class, of
// haplotype 1 then haplotype 2). Each format's five texts are fixed byte
// patterns, so a row is a run of table look-ups and stores. Each function
// returns the new end of the text and needs, from `out`, the room its
// ...Room function gives (some store a whole padded pattern and step back
// over its unused bytes). Runs of a row written one after the other need
// only the room of all their genotypes together.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "output/format_writer.h"

namespace korvane::output_detail {

// 0 for a missing genotype, then 1 + 2 * (first is not class 1) + (second is not class 1).
inline unsigned TextIndex(const Genotype& genotype) {
  const unsigned first = genotype.first;
  const unsigned second = genotype.second;
  const unsigned present = 0u - static_cast<unsigned>(first != 0);
  return (1u + 2u * static_cast<unsigned>(first != 1) + static_cast<unsigned>(second != 1)) & present;
}

// " a b" per genotype, " 0 0" when missing (PLINK, GC).
char* PutSpacedCodes(char* out, std::span<const Genotype> genotypes);
constexpr std::size_t SpacedCodesRoom(std::size_t genotypes) { return 4 * genotypes; }
// " a b" per genotype, " -9 -9" when missing (STRUCTURE, STRAT).
char* PutSpacedCodesOrMinusNine(char* out, std::span<const Genotype> genotypes);
constexpr std::size_t SpacedCodesOrMinusNineRoom(std::size_t genotypes) { return 6 * genotypes + 16; }
// ' "a,b" ' per genotype, ' "0,0" ' when missing (ADMIXMAP).
char* PutQuotedPairs(char* out, std::span<const Genotype> genotypes);
constexpr std::size_t QuotedPairsRoom(std::size_t genotypes) { return 7 * genotypes + 4; }

// Replaces `nulls` by the indices of the set flags, in increasing order.
void CollectNullLoci(std::span<const std::uint8_t> isNull, std::vector<std::uint32_t>& nulls);

// The loci split by their null-locus flag, `nulls` being the null loci's
// indices in increasing order: PutSplit writes, with `put`, the genotypes of
// the other loci in locus order; PutNullLoci those of the null loci.
template <typename Put>
char* PutSplit(char* out, std::span<const Genotype> genotypes, std::span<const std::uint32_t> nulls, Put put) {
  std::size_t start = 0;
  for (std::uint32_t j : nulls) {
    out = put(out, genotypes.subspan(start, j - start));
    start = j + 1;
  }
  return put(out, genotypes.subspan(start));
}
template <typename Put>
char* PutNullLoci(char* out, std::span<const Genotype> genotypes, std::span<const std::uint32_t> nulls, Put put) {
  for (std::uint32_t j : nulls) out = put(out, genotypes.subspan(j, 1));
  return out;
}

}  // namespace korvane::output_detail
