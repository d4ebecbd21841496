#pragma once

// The EIGENSOFT genotype of every accepted individual at every chosen locus,
// collected row by row (one individual at a time) and read back column by
// column (one locus at a time, for the .geno lines).
//
// Storage: one 2-bit code per genotype, the number of class-1 alleles
// (0, 1 or 2) or 3 for a missing genotype; 32 individuals share a 64-bit
// word. Individuals are grouped in blocks of 32: block b holds individuals
// 32b .. 32b + 31 and one word per locus, so the word of individual t at
// locus j is
//
//   words_[(t / 32) * locus_count + j],  bits 2 * (t % 32) and 2 * (t % 32) + 1.
//
// Appending a row fills the current block's words in locus order (one
// sequential pass); reading a column visits one word per block. Unused code
// slots of the last block are zero and never read. A replicate of n
// individuals and L loci takes about n * L / 4 bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "output/format_writer.h"
#include "output/writer_support.h"

namespace korvane {

class GenotypeColumns {
 public:
  static constexpr int kCodeBits = 2;
  static constexpr int kPerWord = 64 / kCodeBits;
  static constexpr std::uint64_t kMissingCode = 3;

  GenotypeColumns() = default;

  // The number of loci of every row; only while no row has been added.
  void SetLocusCount(std::size_t locusCount);
  std::size_t LocusCount() const { return locusCount_; }
  std::size_t IndividualCount() const { return individualCount_; }

  // Adds one individual's genotypes; the row must have LocusCount() entries.
  void Append(std::span<const Genotype> row);
  // Appends the column of `locus`: one character '0', '1', '2' (the number of
  // class-1 alleles) or '9' (missing) per individual in the order added.
  void AppendColumn(std::size_t locus, output_detail::TextBuffer& text) const;

 private:
  std::size_t locusCount_ = 0;
  std::size_t individualCount_ = 0;
  std::vector<std::uint64_t> words_;
};

}  // namespace korvane
