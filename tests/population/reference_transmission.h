#pragma once

// The per-locus reference of the transmission that the packed, bulk-drawn
// HaplotypeTransmitter is held to.

#include <utility>

#include "random/random_generator.h"
#include "refdata/marker_set.h"

namespace korvane::testing {

// The per-locus statement of the transmission, on unpacked classes: builds
// region r of `target` from two source haplotypes of that region (rows of
// one class per chosen locus, each pointing at the whole row): one U(0,1)
// picks the starting source (the second when u >= 0.5), then one U(0,1) per
// further chosen locus switches sources when it is below the recombination
// fraction between the locus and its predecessor. A region without loci
// still makes its first draw. HaplotypeTransmitter makes the same draws and
// the same copies on packed rows.
inline void RecombineHaplotype(RandomGenerator& gen, const MarkerSet& markers, int region, const AlleleClass* source1,
                               const AlleleClass* source2, AlleleClass* target) {
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

}  // namespace korvane::testing
