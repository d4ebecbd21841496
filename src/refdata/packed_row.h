#pragma once

// Rows of alleles packed one bit per allele: bit g % 64 of word g / 64 is 1
// for class 1 (A or T) and 0 for class 2 (C or G). The reference panels are
// kept in this form per region and file; the stores of an attempt
// (refdata/haplotype_store.h) use it for the chosen loci.

#include <cstdint>

namespace korvane {

using AlleleClass = std::uint8_t;  // 1: A or T, 2: C or G

inline constexpr int kLociPerWord = 64;

constexpr int WordsForLoci(int lociCount) { return (lociCount + kLociPerWord - 1) / kLociPerWord; }

// The class of locus g of a packed row.
inline AlleleClass ClassAt(const std::uint64_t* row, int locus) {
  return (row[locus / kLociPerWord] >> (locus % kLociPerWord)) & 1u ? 1 : 2;
}

inline void SetClassAt(std::uint64_t* row, int locus, AlleleClass alleleClass) {
  const std::uint64_t bit = std::uint64_t{1} << (locus % kLociPerWord);
  std::uint64_t& word = row[locus / kLociPerWord];
  word = alleleClass == 1 ? word | bit : word & ~bit;
}

}  // namespace korvane
