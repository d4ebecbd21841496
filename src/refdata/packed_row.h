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

// Row views for code that reads or writes single alleles by index, as with
// unpacked classes: view[g] is the class of locus g.
class ConstHaplotypeRow {
 public:
  explicit ConstHaplotypeRow(const std::uint64_t* words) : words_(words) {}
  AlleleClass operator[](int locus) const { return ClassAt(words_, locus); }
  const std::uint64_t* Words() const { return words_; }

 private:
  const std::uint64_t* words_;
};

class HaplotypeRow {
 public:
  // One allele of the row, assignable from a class like a byte would be.
  class Allele {
   public:
    Allele(std::uint64_t* words, int locus) : words_(words), locus_(locus) {}
    operator AlleleClass() const { return ClassAt(words_, locus_); }  // NOLINT: stands for a class
    Allele& operator=(AlleleClass alleleClass) {
      SetClassAt(words_, locus_, alleleClass);
      return *this;
    }
    Allele& operator=(const Allele& other) { return *this = static_cast<AlleleClass>(other); }

   private:
    std::uint64_t* words_;
    int locus_;
  };

  explicit HaplotypeRow(std::uint64_t* words) : words_(words) {}
  Allele operator[](int locus) const { return Allele(words_, locus); }
  std::uint64_t* Words() const { return words_; }

 private:
  std::uint64_t* words_;
};

}  // namespace korvane
