#pragma once

// Views of one packed haplotype row for tests that read or write single
// alleles by index, as with unpacked classes: HaplotypeOf(store, i, h)[g] is
// the class of locus g of haplotype h of individual i.

#include <cstdint>
#include <type_traits>

#include "refdata/packed_row.h"

namespace korvane::testing {

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

template <typename Rows>
auto HaplotypeOf(Rows& rows, int individual, int haplotype) {
  if constexpr (std::is_const_v<Rows>) {
    return ConstHaplotypeRow(rows.Row(individual, haplotype));
  } else {
    return HaplotypeRow(rows.Row(individual, haplotype));
  }
}

}  // namespace korvane::testing
