#pragma once

#include <vector>

#include "refdata/haplotype_store.h"

namespace korvane {

// Class-1 frequency of every chosen locus in a population: counts summed over
// the individuals, divided by twice their number, held in single precision.
std::vector<float> ClassOneFrequencies(const HaplotypeStore& population);

}  // namespace korvane
