#pragma once

// Haplotypes of a set of individuals restricted to the chosen loci of one
// replicate attempt, in one contiguous array: individual i's haplotype h
// (0 or 1) is a row of `lociCount` allele classes in catalogue order, and the
// part of region r is the slice [offset[r], offset[r + 1]) of that row. The
// same layout serves the reference panels, the source pools and the admixed
// population, so transmission copies between any of them.

#include <cstdint>
#include <vector>

#include "refdata/marker_set.h"
#include "refdata/reference_data.h"

namespace korvane {

class HaplotypeStore {
 public:
  HaplotypeStore() = default;
  HaplotypeStore(int individualCount, int lociCount)
      : individualCount_(individualCount),
        lociCount_(lociCount),
        classes_(static_cast<std::size_t>(individualCount) * 2 * lociCount) {}

  int IndividualCount() const { return individualCount_; }
  int LociCount() const { return lociCount_; }

  AlleleClass* Haplotype(int individual, int haplotype) {
    return classes_.data() + static_cast<std::size_t>(2 * individual + haplotype) * lociCount_;
  }
  const AlleleClass* Haplotype(int individual, int haplotype) const {
    return classes_.data() + static_cast<std::size_t>(2 * individual + haplotype) * lociCount_;
  }

  void CopyFrom(const HaplotypeStore& other) { classes_ = other.classes_; }

 private:
  int individualCount_ = 0;
  int lociCount_ = 0;
  std::vector<AlleleClass> classes_;
};

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
