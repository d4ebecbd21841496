#pragma once

// Haplotypes of a set of individuals restricted to the chosen loci of one
// replicate attempt, one bit per allele.
//
// Encoding. Every locus is biallelic with one allele in each class, so an
// allele is one bit: 1 for class 1 (A or T), 0 for class 2 (C or G). The
// stores only hold validated classes; storing any class other than 1 stores
// class 2.
//
// Rows. Individual i's haplotype h (0 or 1) is row 2i + h, a run of
// `WordsPerRow()` 64-bit words, rows one after the other. Locus g (its global
// index among the chosen loci, catalogue order) is bit g % 64 of word g / 64
// of the row: the first locus is the least significant bit of the first
// word, so shifting a word left moves its bits towards later loci.
//
// Regions. The loci of region r are the bits [offset[r], offset[r + 1]) of a
// row: one run across word boundaries, not padded, so a region can start and
// end inside a word and two short regions can share one. A bit position is
// thus the global index itself, the same in every store of an attempt (the
// reference panels, the source pools, the admixed population), and the
// layout needs nothing of the marker set but the number of loci.
//
// Padding. The bits above the last locus in a row's last word are 0 and stay
// 0: transmission writes only the bits of its region, so whole-word work
// (copies, counts, comparisons of rows) treats rows as plain bit strings.
//
// Why this shape. Transmission builds a child's region from the two
// haplotypes of a parent with a strand mask m, 64 loci per word:
// child = (second & m) | (first & ~m), the first and the last word of the
// region merged under the region's bits (see qual/transmission.h). The counts
// of class-1 alleles per locus over a population add whole rows into
// bit-sliced counters, and the writers unpack two rows into genotype pairs a
// nibble at a time. A generation of 1000 individuals at 12867 loci takes
// 3.2 MB, an eighth of one byte per allele.

#include <cstdint>
#include <vector>

#include "refdata/marker_set.h"
#include "refdata/packed_row.h"
#include "refdata/reference_data.h"

namespace korvane {

class HaplotypeStore {
 public:
  HaplotypeStore() = default;
  HaplotypeStore(int individualCount, int lociCount)
      : individualCount_(individualCount),
        lociCount_(lociCount),
        wordsPerRow_(WordsForLoci(lociCount)),
        words_(static_cast<std::size_t>(individualCount) * 2 * wordsPerRow_, 0) {}

  int IndividualCount() const { return individualCount_; }
  int LociCount() const { return lociCount_; }
  int WordsPerRow() const { return wordsPerRow_; }

  const std::uint64_t* Row(int individual, int haplotype) const {
    return words_.data() + static_cast<std::size_t>(2 * individual + haplotype) * wordsPerRow_;
  }
  std::uint64_t* Row(int individual, int haplotype) {
    return words_.data() + static_cast<std::size_t>(2 * individual + haplotype) * wordsPerRow_;
  }

  AlleleClass Allele(int individual, int haplotype, int locus) const {
    return ClassAt(Row(individual, haplotype), locus);
  }
  void SetAllele(int individual, int haplotype, int locus, AlleleClass alleleClass) {
    SetClassAt(Row(individual, haplotype), locus, alleleClass);
  }

  // The number of class-1 alleles at every locus over all haplotypes.
  std::vector<int> ClassOneCounts() const;

  void CopyFrom(const HaplotypeStore& other) { words_ = other.words_; }

 private:
  int individualCount_ = 0;
  int lociCount_ = 0;
  int wordsPerRow_ = 0;
  std::vector<std::uint64_t> words_;
};

// Unpacks two rows into genotype pairs for the writers: for every locus
// g < lociCount, pairs[2g] is the class of `first` and pairs[2g + 1] that of
// `second`; a locus whose bit is set in `missing` (when given, a packed row of
// the same layout) gets the pair 0, 0.
void UnpackGenotypePairs(const std::uint64_t* first, const std::uint64_t* second, const std::uint64_t* missing,
                         int lociCount, std::uint8_t* pairs);

// The reference individuals of both populations restricted to the chosen loci.
struct ReferencePanel {
  HaplotypeStore yri;
  HaplotypeStore second;
  int panelSize = 0;

  const HaplotypeStore& Of(SourcePopulation population) const {
    return population == SourcePopulation::kYri ? yri : second;
  }
};

// Keeps, of every reference haplotype, the classes of the chosen loci.
ReferencePanel LoadPanels(const ReferenceData& data, const MarkerSet& markers);

}  // namespace korvane
