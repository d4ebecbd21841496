#include "population/allele_frequencies.h"

namespace korvane {

std::vector<float> ClassOneFrequencies(const HaplotypeStore& population) {
  const std::vector<int> counts = population.ClassOneCounts();
  std::vector<float> frequencies(counts.size());
  const double alleles = 2.0 * population.IndividualCount();
  for (std::size_t g = 0; g < counts.size(); ++g) frequencies[g] = static_cast<float>(counts[g] / alleles);
  return frequencies;
}

}  // namespace korvane
