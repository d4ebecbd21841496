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
//
// Ancestry. When asked (local ancestry), a store also keeps an ancestry row
// beside every haplotype row, of the same layout and padding: bit g is 1 when
// allele g was copied from a YRI reference haplotype, 0 when from one of the
// second population. Transmission composes it with the same strand mask as
// the alleles, so it costs no draw; a store that does not track it holds no
// ancestry words at all. A store of reference haplotypes holds one
// population's alleles only and says which (`Population()`) instead of
// keeping rows.

#include <cstdint>
#include <optional>
#include <vector>

#include "refdata/marker_set.h"
#include "refdata/packed_row.h"
#include "refdata/reference_data.h"

namespace korvane {

class HaplotypeStore {
 public:
  HaplotypeStore() = default;
  HaplotypeStore(int individualCount, int lociCount, bool trackAncestry = false)
      : individualCount_(individualCount),
        lociCount_(lociCount),
        wordsPerRow_(WordsForLoci(lociCount)),
        tracksAncestry_(trackAncestry),
        words_(static_cast<std::size_t>(individualCount) * 2 * wordsPerRow_, 0),
        ancestry_(trackAncestry ? words_.size() : 0, 0) {}

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

  // Copies the other store's rows (alleles and ancestry) into this one's
  // memory, which a store of the same shape reuses.
  void CopyFrom(const HaplotypeStore& other) {
    words_ = other.words_;
    ancestry_ = other.ancestry_;
    tracksAncestry_ = other.tracksAncestry_;
    population_ = other.population_;
  }

  // Whether an ancestry row is kept beside every haplotype row.
  bool TracksAncestry() const { return tracksAncestry_; }
  // The ancestry row of a haplotype; only for a store that tracks it.
  const std::uint64_t* AncestryRow(int individual, int haplotype) const {
    return ancestry_.data() + static_cast<std::size_t>(2 * individual + haplotype) * wordsPerRow_;
  }
  std::uint64_t* AncestryRow(int individual, int haplotype) {
    return ancestry_.data() + static_cast<std::size_t>(2 * individual + haplotype) * wordsPerRow_;
  }
  // Marks a whole haplotype as copied from one population: every locus bit
  // of its ancestry row 1 for YRI, 0 for the second population.
  void SetAncestry(int individual, int haplotype, SourcePopulation population) {
    FillAncestryRow(AncestryRow(individual, haplotype), lociCount_, population);
  }

  // The population every allele of the store comes from, for a store of one
  // population's reference haplotypes; none for a store that mixes them.
  std::optional<SourcePopulation> Population() const { return population_; }
  void SetPopulation(SourcePopulation population) { population_ = population; }

  // Fills the `lociCount` locus bits of a packed ancestry row with the
  // population's bit (1 for YRI), the padding above them 0.
  static void FillAncestryRow(std::uint64_t* row, int lociCount, SourcePopulation population);

 private:
  int individualCount_ = 0;
  int lociCount_ = 0;
  int wordsPerRow_ = 0;
  bool tracksAncestry_ = false;
  std::optional<SourcePopulation> population_;
  std::vector<std::uint64_t> words_;
  std::vector<std::uint64_t> ancestry_;
};

// The number of 1 bits in the first `words` words of a packed row: of an
// ancestry row, the alleles copied from YRI (the padding is 0).
int CountOnes(const std::uint64_t* row, int words);

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
