#pragma once

// Report data shaped like a real evaluation's, drawn from a fixed seed: null
// p-values uniform over the null loci of every replicate, lambda near 1, power
// with Wilson intervals near its expectations, ancestry and phenotype spreads.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "evaluate/report.h"

namespace korvane::testing {

// A small fixed generator (splitmix64), so that the samples are the same on
// every platform.
class SampleDraws {
 public:
  explicit SampleDraws(std::uint64_t seed) : state_(seed) {}
  double Uniform() {  // in (0, 1)
    state_ += 0x9e3779b97f4a7c15ULL;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return (static_cast<double>(z >> 11) + 0.5) * 0x1.0p-53;
  }
  double Normal() {  // Box-Muller
    const double radius = std::sqrt(-2 * std::log(Uniform()));
    return radius * std::cos(2 * 3.141592653589793 * Uniform());
  }
  // Beta(a, b) for whole a and b: X / (X + Y) of two gamma draws, each a sum
  // of exponentials.
  double Beta(int a, int b) {
    double x = 0;
    double y = 0;
    for (int i = 0; i < a; ++i) x -= std::log(Uniform());
    for (int i = 0; i < b; ++i) y -= std::log(Uniform());
    return x / (x + y);
  }

 private:
  std::uint64_t state_;
};

inline ReportPowerPoint SamplePower(std::string locus, double alpha, double expected, SampleDraws& draws,
                                    int replicates) {
  // Observed successes near the expectation; the Wilson interval around them.
  int hits = 0;
  for (int r = 0; r < replicates; ++r) hits += draws.Uniform() < expected ? 1 : 0;
  const double n = replicates;
  const double p = hits / n;
  const double z = 1.959963984540054;
  const double centre = (p + z * z / (2 * n)) / (1 + z * z / n);
  const double half = z / (1 + z * z / n) * std::sqrt(p * (1 - p) / n + z * z / (4 * n * n));
  return {std::move(locus), alpha, p, centre - half, centre + half, expected, expected * 0.97};
}

inline void AddNullLoci(ReportData& data, SampleDraws& draws, int loci, int replicates) {
  for (int r = 0; r < replicates; ++r) {
    for (int l = 0; l < loci; ++l) {
      data.nullP.push_back(draws.Uniform());
      data.nullPAdjusted.push_back(draws.Uniform());
    }
    data.lambda.push_back(1.0 + 0.08 * draws.Normal() + 0.05);
    data.lambdaAdjusted.push_back(1.0 + 0.05 * draws.Normal());
  }
}

// A case-control run: `loci` null loci and one causal locus in each replicate.
inline ReportData SampleCaseControlReport(int loci = 400, int replicates = 200, int individuals = 200) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  SampleDraws draws(20240611);
  ReportData data;
  data.title = "Case-control study, discrete model: " + std::to_string(replicates) + " replicates of " +
               std::to_string(individuals) + " individuals";
  data.settings = {{"model", "discrete"},
                   {"replicates", std::to_string(replicates)},
                   {"cases", std::to_string(individuals / 2)},
                   {"controls", std::to_string(individuals / 2)},
                   {"null loci", std::to_string(loci)},
                   {"genotype relative risk", "1.5"},
                   {"disease allele frequency", "0.2"},
                   {"admixture generations", "6"},
                   {"seed", "1234"}};
  data.warnings = {
      "Genomic-control \u03bb exceeds 1.05 in 31 % of the replicates (median 1.05): the unadjusted "
      "tests are inflated by population structure.",
      "Observed power at \u03b1 = 1e-5 (0.02) lies below the model's expectation (0.06) and outside "
      "its 95 % interval [0.008, 0.05]."};
  AddNullLoci(data, draws, loci, replicates);
  data.power = {SamplePower("causal", 0.05, 0.62, draws, replicates),
                SamplePower("causal", 1e-3, 0.27, draws, replicates),
                SamplePower("causal", 1e-5, 0.06, draws, replicates)};
  for (const ReportPowerPoint& point : data.power) {
    data.summary.push_back({"power causal", fmt::format("{:g}", point.alpha), point.observed, point.low, point.high,
                            point.expectedModel, point.expectedNominal});
  }
  data.summary.push_back({"type-I error", "0.05", 0.0507, 0.0492, 0.0522, 0.05, 0.05});
  data.summary.push_back({"type-I error", "1e-3", 0.00104, 0.00087, 0.00124, 0.001, 0.001});
  data.summary.push_back({"lambda_gc", "", 1.05, 1.04, 1.06, nan, 1});
  data.summary.push_back({"lambda_gc_pc", "", 1.002, 0.995, 1.009, nan, 1});
  for (int i = 0; i < replicates * individuals / 2; ++i) {
    data.ancestryCases.push_back(draws.Beta(9, 3));
    data.ancestryControls.push_back(draws.Beta(8, 4));
  }
  return data;
}

// A quantitative run: two QTLs, the sample's ancestry and its phenotype.
inline ReportData SampleQuantitativeReport(int loci = 400, int replicates = 200, int individuals = 200) {
  SampleDraws draws(777);
  ReportData data;
  data.title = "Quantitative trait study: " + std::to_string(replicates) + " replicates of " +
               std::to_string(individuals) + " individuals";
  data.settings = {{"QTLs", "2"}, {"heritability", "0.1"}, {"replicates", std::to_string(replicates)}};
  AddNullLoci(data, draws, loci, replicates);
  data.power = {SamplePower("qtl1", 0.05, 0.8, draws, replicates), SamplePower("qtl1", 1e-4, 0.35, draws, replicates),
                SamplePower("qtl2", 0.05, 0.4, draws, replicates), SamplePower("qtl2", 1e-4, 0.08, draws, replicates)};
  for (int i = 0; i < replicates * individuals; ++i) {
    data.ancestrySample.push_back(draws.Beta(8, 4));
    data.phenotype.push_back(10 + 2 * draws.Normal());
  }
  return data;
}

}  // namespace korvane::testing
