#pragma once

// Haplotype transmission: the index draw among n items and the recombining
// copy of one region's haplotype, used by every population model.

#include <array>
#include <span>
#include <vector>

#include "random/random_generator.h"
#include "refdata/haplotype_store.h"
#include "refdata/marker_set.h"

namespace korvane {

// PickIndex(n): draws u = U(0,1) and returns the smallest index i with
// i/n <= u <= (i+1)/n (quotients in double precision). Ties go to the lower
// index, so PickIndex(1000) returns 1000u - 1 for u > 0 and 0 for u = 0.
// The answer for each of the thousand values of u is tabulated once.
class IndexPicker {
 public:
  explicit IndexPicker(int size);

  int Size() const { return size_; }
  int Pick(RandomGenerator& gen) const {
    for (;;) {
      const int index = table_[DrawThousandths(gen)];
      if (index >= 0) return index;
    }
  }
  // The index for a given draw (-1 when no index qualifies).
  int IndexFor(int thousandths) const { return table_[thousandths]; }

 private:
  int size_;
  std::array<int, 1000> table_;
};

// Builds region r of `target` from two source haplotypes of that region
// (rows in the layout of HaplotypeStore, each pointing at the whole row):
// one U(0,1) picks the starting source (the second when u >= 0.5), then one
// U(0,1) per further chosen locus switches sources when it is below the
// recombination fraction between the locus and its predecessor.
inline void RecombineHaplotype(RandomGenerator& gen, const MarkerSet& markers, int region,
                               const AlleleClass* source1, const AlleleClass* source2, AlleleClass* target) {
  const int begin = markers.offset[region];
  const int count = markers.offset[region + 1] - begin;
  const AlleleClass* current = DrawThousandths(gen) >= 500 ? source2 : source1;
  const AlleleClass* other = current == source1 ? source2 : source1;
  if (count == 0) return;
  const int* threshold = markers.switchThreshold[region].data();
  target[begin] = current[begin];
  for (int k = 1; k < count; ++k) {
    if (DrawThousandths(gen) < threshold[k]) std::swap(current, other);
    target[begin + k] = current[begin + k];
  }
}

// Haplotype `slot` of individual `target` gets, in every region, a
// recombinant of the two haplotypes of individual `source` of `from`.
inline void TransmitAllRegions(RandomGenerator& gen, const MarkerSet& markers, const HaplotypeStore& from,
                               int source, HaplotypeStore& to, int target, int slot) {
  const AlleleClass* a = from.Haplotype(source, 0);
  const AlleleClass* b = from.Haplotype(source, 1);
  AlleleClass* out = to.Haplotype(target, slot);
  for (int r = 0; r < MarkerSet::kRegions; ++r) RecombineHaplotype(gen, markers, r, a, b, out);
}

}  // namespace korvane
