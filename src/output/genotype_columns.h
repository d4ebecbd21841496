#pragma once

// The EIGENSOFT genotype of every accepted individual at every chosen locus,
// collected row by row (one individual at a time) and read back column by
// column (one locus at a time, for the .geno lines).
//
// Storage: one 2-bit code per genotype, the number of class-1 alleles
// (0, 1 or 2) or 3 for a missing genotype; 8 individuals share a 16-bit
// word. Individuals are grouped in blocks of 8: block b holds individuals
// 8b .. 8b + 7 and one word per locus, so the word of individual t at
// locus j is word j of block t / 8, bits 2 * (t % 8) and 2 * (t % 8) + 1.
// Blocks are allocated kBlocksPerChunk at a time, so that the store grows
// without copying what it holds.
//
// Appending a row adds its codes to the current block's words in locus
// order (one sequential pass, eight loci per vector operation); reading a
// column visits one word per block, and consecutive columns share their
// cache lines. Unused code slots of the last block are zero and never read.
// A replicate of n individuals and L loci takes about n * L / 4 bytes, and
// at most one chunk (512 individuals) more. A writer that cannot hold them
// all moves the rows held to a SpilledColumns (genotype_spill.h) from time
// to time and clears the store, whose chunks are then reused.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "output/format_writer.h"
#include "output/writer_support.h"

namespace korvane {

class GenotypeColumns {
 public:
  static constexpr int kCodeBits = 2;
  static constexpr int kPerWord = 16 / kCodeBits;
  static constexpr std::uint16_t kMissingCode = 3;
  static constexpr std::size_t kBlocksPerChunk = 64;

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
  // The same characters written to `out`, which has room for IndividualCount(); returns the new end.
  char* PutColumn(std::size_t locus, char* out) const;
  // The words of the column of `locus`, one per block (BlockCount() of them), to `out`.
  void PutWords(std::size_t locus, std::uint16_t* out) const;

  // The blocks holding rows, the last one possibly part full.
  std::size_t BlockCount() const { return (individualCount_ + kPerWord - 1) / kPerWord; }
  // The bytes of one block: a word per locus.
  std::size_t BlockBytes() const { return locusCount_ * sizeof(std::uint16_t); }
  // The words of loci first .. first + count - 1 of every block, locus by
  // locus: the word of block b at locus first + k goes to out[k * BlockCount() + b].
  void PutLociWords(std::size_t first, std::size_t count, std::uint16_t* out) const;
  // Forgets the rows, keeping the locus count and the storage (zeroed) for the next rows.
  void Clear();

  // The characters of the first `codes` codes of consecutive words, eight
  // per word in the order of their slots; returns the new end of `out`.
  static char* PutCodes(const std::uint16_t* words, std::size_t codes, char* out);

 private:
  std::size_t locusCount_ = 0;
  std::size_t individualCount_ = 0;
  // Each chunk holds kBlocksPerChunk blocks of locusCount_ words, zeroed when
  // allocated and by Clear; chunks beyond the rows held wait for reuse.
  std::vector<std::unique_ptr<std::uint16_t[]>> chunks_;
};

}  // namespace korvane
