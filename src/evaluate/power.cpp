#include "evaluate/power.h"

#include <limits>
#include <stdexcept>

namespace korvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Sums over one population: the probability of being affected, of carrying a
// given risk allele copy and being affected, and the same for unaffected
// (allele copies counted per allele, out of 2 per individual).
struct Parts {
  double affected = 0, unaffected = 0, affectedRisk = 0, unaffectedRisk = 0;
};

Parts PartsOf(double q, const std::array<double, 3>& f) {
  const double g[3] = {(1 - q) * (1 - q), 2 * q * (1 - q), q * q};
  Parts parts;
  for (int i = 0; i < 3; ++i) {
    parts.affected += g[i] * f[static_cast<std::size_t>(i)];
    parts.unaffected += g[i] * (1 - f[static_cast<std::size_t>(i)]);
    parts.affectedRisk += g[i] * f[static_cast<std::size_t>(i)] * i / 2.0;
    parts.unaffectedRisk += g[i] * (1 - f[static_cast<std::size_t>(i)]) * i / 2.0;
  }
  return parts;
}

CaseControlFrequencies Frequencies(const Parts& parts) {
  return {parts.affected > 0 ? parts.affectedRisk / parts.affected : kNaN,
          parts.unaffected > 0 ? parts.unaffectedRisk / parts.unaffected : kNaN};
}

}  // namespace

CaseControlFrequencies RiskFrequenciesGivenStatus(double riskFrequency, std::array<double, 3> penetrances) {
  return Frequencies(PartsOf(riskFrequency, penetrances));
}

CaseControlFrequencies RiskFrequenciesGivenStatus(std::span<const double> weights,
                                                  std::span<const double> riskFrequencies,
                                                  std::array<double, 3> penetrances) {
  if (weights.size() != riskFrequencies.size()) {
    throw std::invalid_argument("RiskFrequenciesGivenStatus: as many weights as frequencies are needed");
  }
  Parts total;
  for (std::size_t k = 0; k < weights.size(); ++k) {
    const Parts parts = PartsOf(riskFrequencies[k], penetrances);
    total.affected += weights[k] * parts.affected;
    total.unaffected += weights[k] * parts.unaffected;
    total.affectedRisk += weights[k] * parts.affectedRisk;
    total.unaffectedRisk += weights[k] * parts.unaffectedRisk;
  }
  return Frequencies(total);
}

double AllelicNonCentrality(double caseFreq, double controlFreq, double nCases, double nControls) {
  if (!(nCases > 0) || !(nControls > 0)) return kNaN;
  const double pooled = (nCases * caseFreq + nControls * controlFreq) / (nCases + nControls);
  const double variance = pooled * (1 - pooled) * (1 / (2 * nCases) + 1 / (2 * nControls));
  if (!(variance > 0)) return caseFreq == controlFreq ? 0.0 : kNaN;
  const double difference = caseFreq - controlFreq;
  return difference * difference / variance;
}

double QtlNonCentrality(double n, double varianceShare) {
  if (!(varianceShare >= 0 && varianceShare < 1) || !(n >= 0)) return kNaN;
  return n * varianceShare / (1 - varianceShare);
}

}  // namespace korvane
