#pragma once

// Generic pieces of the expected power of the association tests; the
// composition for a model (which loci, which penetrances) is done by the
// callers, with NonCentralChiSquare1Power (evaluate/statistics.h).

#include <array>
#include <span>

namespace korvane {

struct CaseControlFrequencies {
  double cases, controls;  // the risk allele's frequency among cases, among controls
};

// The risk allele's frequency among cases and controls of one population in
// Hardy-Weinberg equilibrium with the given risk-allele frequency and
// penetrances f0, f1, f2 (the probability of being affected with 0, 1, 2
// risk alleles). NaN for a side with no individuals (prevalence 0 or 1).
CaseControlFrequencies RiskFrequenciesGivenStatus(double riskFrequency, std::array<double, 3> penetrances);

// The same for a mixture of populations, each in Hardy-Weinberg equilibrium,
// with the given weights (shares of the sample, normalized here) and
// risk-allele frequencies, and common penetrances. The spans must have the
// same length (std::invalid_argument).
CaseControlFrequencies RiskFrequenciesGivenStatus(std::span<const double> weights,
                                                  std::span<const double> riskFrequencies,
                                                  std::array<double, 3> penetrances);

// The non-centrality of the 2x2 allelic chi-square (2 nCases and 2 nControls
// alleles) at the expected allele frequencies: the statistic evaluated at the
// expected table, (p1 - p2)^2 / (pbar (1 - pbar) (1 / (2 nCases) + 1 /
// (2 nControls))), pbar the pooled frequency.
double AllelicNonCentrality(double caseFreq, double controlFreq, double nCases, double nControls);

// The non-centrality of the regression test of a locus explaining the share
// varianceShare (h^2, in [0, 1)) of a quantitative trait's variance in a
// sample of n: n h^2 / (1 - h^2).
double QtlNonCentrality(double n, double varianceShare);

}  // namespace korvane
