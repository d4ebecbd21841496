#include "evaluate/power.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "evaluate/association.h"

namespace korvane {
namespace {

TEST(PowerTest, FrequenciesGivenStatusByHand) {
  // No effect: both sides have the population's frequency.
  const CaseControlFrequencies none = RiskFrequenciesGivenStatus(0.3, {0.1, 0.1, 0.1});
  EXPECT_NEAR(none.cases, 0.3, 1e-15);
  EXPECT_NEAR(none.controls, 0.3, 1e-15);
  // q = 0.5, f = (0, 0.5, 1): P(D) = 0.25 * 0 + 0.5 * 0.5 + 0.25 = 0.5;
  // cases: (0.5 * 0.5 * 1/2 + 0.25 * 1) / 0.5 = 0.75; controls 0.25.
  const CaseControlFrequencies additive = RiskFrequenciesGivenStatus(0.5, {0, 0.5, 1});
  EXPECT_NEAR(additive.cases, 0.75, 1e-15);
  EXPECT_NEAR(additive.controls, 0.25, 1e-15);
  EXPECT_TRUE(std::isnan(RiskFrequenciesGivenStatus(0.5, {0, 0, 0}).cases));
}

TEST(PowerTest, MixtureOfPopulations) {
  // Two populations without effect, frequencies 0.2 and 0.6, weights 1 : 3,
  // penetrance 0.5: both sides have the weighted frequency 0.5.
  const std::vector<double> weights = {1, 3};
  const std::vector<double> frequencies = {0.2, 0.6};
  const CaseControlFrequencies mixed = RiskFrequenciesGivenStatus(weights, frequencies, {0.5, 0.5, 0.5});
  EXPECT_NEAR(mixed.cases, 0.5, 1e-15);
  EXPECT_NEAR(mixed.controls, 0.5, 1e-15);
  // One population is the single-population formula.
  const std::vector<double> one = {2};
  const std::vector<double> q = {0.3};
  const CaseControlFrequencies single = RiskFrequenciesGivenStatus(0.3, {0.01, 0.02, 0.04});
  const CaseControlFrequencies viaMixture = RiskFrequenciesGivenStatus(one, q, {0.01, 0.02, 0.04});
  EXPECT_NEAR(single.cases, viaMixture.cases, 1e-15);
  EXPECT_NEAR(single.controls, viaMixture.controls, 1e-15);
  // Spans of different lengths.
  EXPECT_THROW(RiskFrequenciesGivenStatus(one, frequencies, {0, 0, 0}), std::invalid_argument);
}

TEST(PowerTest, AllelicNonCentralityIsTheStatisticAtTheExpectedTable) {
  // 100 cases at 0.4 and 100 controls at 0.25: the table 80:120 / 50:150.
  const std::vector<std::int8_t> dosage = [] {
    std::vector<std::int8_t> d;
    for (int i = 0; i < 100; ++i) d.push_back(i < 80 ? 1 : 0);
    for (int i = 0; i < 100; ++i) d.push_back(i < 50 ? 1 : 0);
    return d;
  }();
  std::vector<std::uint8_t> affected(200, 0);
  for (int i = 0; i < 100; ++i) affected[static_cast<std::size_t>(i)] = 1;
  EXPECT_NEAR(AllelicNonCentrality(0.4, 0.25, 100, 100), AllelicTest(dosage, affected).chiSquare, 1e-12);
  EXPECT_EQ(AllelicNonCentrality(0.3, 0.3, 100, 50), 0);
}

TEST(PowerTest, QtlNonCentrality) {
  EXPECT_NEAR(QtlNonCentrality(1000, 0.01), 1000 * 0.01 / 0.99, 1e-12);
  EXPECT_EQ(QtlNonCentrality(1000, 0), 0);
  EXPECT_TRUE(std::isnan(QtlNonCentrality(1000, 1)));
}

}  // namespace
}  // namespace korvane
