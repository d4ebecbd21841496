#include "evaluate/statistics.h"

#include <gtest/gtest.h>

#include "random/xoshiro.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace korvane {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double Relative(double a, double b) { return std::fabs(a - b) / std::fabs(b); }

TEST(StatisticsTest, ChiSquareOneTailAtKnownQuantiles) {
  EXPECT_NEAR(ChiSquare1UpperTail(3.841458820694124), 0.05, 1e-12);
  EXPECT_NEAR(ChiSquare1UpperTail(29.71679), 5e-8, 1e-12);
  EXPECT_EQ(ChiSquare1UpperTail(0), 1.0);
  EXPECT_TRUE(std::isnan(ChiSquare1UpperTail(kNaN)));
}

TEST(StatisticsTest, ChiSquareOneQuantileInvertsTheTail) {
  EXPECT_NEAR(ChiSquare1Quantile(0.05), 3.841458820694124, 1e-12);
  EXPECT_NEAR(ChiSquare1Quantile(0.01), 6.634896601021214, 1e-12);
  EXPECT_NEAR(ChiSquare1Quantile(5e-8), 29.716785444, 1e-7);
  EXPECT_EQ(ChiSquare1Quantile(1), 0);
  EXPECT_TRUE(std::isnan(ChiSquare1Quantile(0)));
  EXPECT_TRUE(std::isnan(ChiSquare1Quantile(1.5)));
  for (double p : {0.9, 0.5, 1e-3, 1e-10, 1e-50, 1e-150, 1e-300}) {
    EXPECT_LT(Relative(ChiSquare1UpperTail(ChiSquare1Quantile(p)), p), 1e-12) << p;
  }
}

TEST(StatisticsTest, NormalAtKnownValues) {
  EXPECT_NEAR(NormalUpperTail(1.959963984540054), 0.025, 1e-15);
  EXPECT_NEAR(NormalUpperTail(0), 0.5, 1e-16);
  EXPECT_NEAR(NormalUpperTail(-1.6448536269514722), 0.95, 1e-15);
  EXPECT_NEAR(NormalQuantile(0.975), 1.959963984540054, 1e-14);
  EXPECT_NEAR(NormalQuantile(0.025), -1.959963984540054, 1e-14);
  EXPECT_NEAR(NormalQuantile(0.5), 0, 1e-15);
  EXPECT_NEAR(NormalQuantile(0.8413447460685429), 1.0, 1e-13);
  EXPECT_NEAR(NormalQuantile(1e-10), -6.361340902404056, 1e-12);
  EXPECT_EQ(NormalQuantile(0), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(NormalQuantile(1), std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(NormalQuantile(-0.1)));
  // Far in the tail: the quantile's tail probability is p to full precision.
  for (double p : {1e-20, 1e-100, 1e-200, 1e-300}) {
    const double z = NormalQuantile(p);
    EXPECT_LT(Relative(NormalUpperTail(-z), p), 1e-12) << p;
  }
}

// Closed forms of the t distribution's two-sided tail: with theta =
// atan(|t| / sqrt(df)), 1 - 2 theta / pi (df 1), 1 - sin theta (df 2),
// 1 - sin theta (1 + cos^2 theta / 2) (df 4); written without cancellation.
double TwoSidedDf1(double t) { return 2 / std::numbers::pi * std::atan(1 / std::fabs(t)); }
double TwoSidedDf2(double t) {
  const double s = std::sqrt(2 + t * t);
  return 2 / (s * (s + std::fabs(t)));
}

TEST(StatisticsTest, StudentTMatchesClosedForms) {
  for (double t : {0.1, 0.5, 1.0, 3.0, 10.0, 1e3, 1e10, 1e100, 1e150}) {
    EXPECT_LT(Relative(StudentTTwoSidedP(t, 1), TwoSidedDf1(t)), 1e-12) << t;
    EXPECT_LT(Relative(StudentTTwoSidedP(-t, 2), TwoSidedDf2(t)), 1e-12) << t;
  }
  for (double t : {0.3, 1.0, 2.0, 4.43129, 8.0}) {
    const double s = t / std::sqrt(t * t + 4);
    const double c2 = 4 / (t * t + 4);
    EXPECT_LT(Relative(StudentTTwoSidedP(t, 4), 1 - s * (1 + c2 / 2)), 1e-12) << t;
  }
  // R: qt(0.975, 10), qt(0.995, 20).
  EXPECT_NEAR(StudentTTwoSidedP(2.228138851986274, 10), 0.05, 1e-13);
  EXPECT_NEAR(StudentTTwoSidedP(2.845339709785, 20), 0.01, 1e-12);
  EXPECT_NEAR(StudentTTwoSidedP(0, 7), 1.0, 1e-15);
  // Large df (mpmath's betainc at 40 digits).
  EXPECT_LT(Relative(StudentTTwoSidedP(1.96, 1e5), 0.049998563194301638), 1e-10);
  EXPECT_LT(Relative(StudentTTwoSidedP(3, 1e5), 0.0027004608840647192), 1e-10);
  EXPECT_NEAR(StudentTTwoSidedP(1.959963984540054, 1e9), 0.05, 1e-7);
  // The far tail is meaningful, not 0: df 2 at t = 1e150 gives 1e-300.
  EXPECT_GT(StudentTTwoSidedP(1e150, 2), 0);
  // Heavier than the normal's tail.
  EXPECT_GT(StudentTTwoSidedP(40, 1000), std::erfc(40 / std::numbers::sqrt2));
  EXPECT_GT(StudentTTwoSidedP(50, 1000), 1e-290);
  EXPECT_LT(StudentTTwoSidedP(50, 1000), 1e-250);
  // Continuous across the log-Beta's two ways (a = df / 2 = 10).
  EXPECT_NEAR(StudentTTwoSidedP(2.5, 19.999999999) / StudentTTwoSidedP(2.5, 20), 1, 1e-9);
  EXPECT_TRUE(std::isnan(StudentTTwoSidedP(kNaN, 3)));
  EXPECT_TRUE(std::isnan(StudentTTwoSidedP(1, 0)));
}

TEST(StatisticsTest, IncompleteBetaAtSimpleCases) {
  // I_x(1, 1) = x; I_x(a, 1) = x^a; I_x(1, b) = 1 - (1 - x)^b.
  EXPECT_NEAR(RegularizedIncompleteBeta(0.3, 1, 1), 0.3, 1e-15);
  EXPECT_NEAR(RegularizedIncompleteBeta(0.3, 3, 1), 0.027, 1e-15);
  EXPECT_NEAR(RegularizedIncompleteBeta(0.3, 1, 4), 1 - std::pow(0.7, 4), 1e-15);
  EXPECT_EQ(RegularizedIncompleteBeta(0, 2, 3), 0);
  EXPECT_EQ(RegularizedIncompleteBeta(1, 2, 3), 1);
}

TEST(StatisticsTest, WilsonIntervalMatchesR) {
  // R: prop.test(5, 10, correct = FALSE)$conf.int and prop.test(0, 10, ...).
  const Interval half = WilsonInterval(5, 10);
  EXPECT_NEAR(half.low, 0.2365931, 1e-7);
  EXPECT_NEAR(half.high, 0.7634069, 1e-7);
  const Interval none = WilsonInterval(0, 10);
  EXPECT_EQ(none.low, 0);  // exactly: a table shows 0, not a rounding error
  EXPECT_EQ(WilsonInterval(0, 1000).low, 0);
  EXPECT_NEAR(none.high, 0.2775328, 1e-7);
  const Interval all = WilsonInterval(10, 10);
  EXPECT_NEAR(all.low, 1 - 0.2775328, 1e-7);
  EXPECT_EQ(all.high, 1);
  const Interval empty = WilsonInterval(0, 0);
  EXPECT_EQ(empty.low, 0);
  EXPECT_EQ(empty.high, 1);
  // Wider at higher confidence.
  const Interval wide = WilsonInterval(50, 1000, 0.99);
  const Interval narrow = WilsonInterval(50, 1000, 0.95);
  EXPECT_LT(wide.low, narrow.low);
  EXPECT_GT(wide.high, narrow.high);
}

TEST(StatisticsTest, NonCentralPower) {
  EXPECT_NEAR(NonCentralChiSquare1Power(0, 0.05), 0.05, 1e-15);
  EXPECT_NEAR(NonCentralChiSquare1Power(0, 5e-8), 5e-8, 1e-20);
  // ncp = (z_{alpha/2} + z_{power})^2 gives the power, plus the far tail.
  const double ncp = std::pow(1.959963984540054 + 0.8416212335729143, 2);
  const double farTail = 0.5 * std::erfc((1.959963984540054 + std::sqrt(ncp)) / std::numbers::sqrt2);
  EXPECT_NEAR(NonCentralChiSquare1Power(ncp, 0.05), 0.8 + farTail, 1e-13);
  EXPECT_GT(NonCentralChiSquare1Power(50, 5e-8), NonCentralChiSquare1Power(40, 5e-8));
  EXPECT_TRUE(std::isnan(NonCentralChiSquare1Power(-1, 0.05)));
}

TEST(StatisticsTest, GenomicControlLambda) {
  const std::vector<double> one = {kChiSquare1Median};
  EXPECT_NEAR(GenomicControlLambda(one), 1.0, 1e-15);
  const std::vector<double> odd = {3, kNaN, 1, 2};
  EXPECT_NEAR(GenomicControlLambda(odd), 2 / 0.454936423119572, 1e-12);
  const std::vector<double> even = {4, 1, 3, 0.5};
  EXPECT_NEAR(GenomicControlLambda(even), 2 / 0.454936423119572, 1e-12);
  EXPECT_TRUE(std::isnan(GenomicControlLambda({})));
  const std::vector<double> allNaN = {kNaN, kNaN};
  EXPECT_TRUE(std::isnan(GenomicControlLambda(allNaN)));
  // The constant is the median of chi2_1: the tail at it is 1/2.
  EXPECT_NEAR(ChiSquare1UpperTail(kChiSquare1Median), 0.5, 1e-14);
}

TEST(StatisticsTest, HardyWeinbergExactSmallTables) {
  // Two individuals, two copies of each allele: P(het 0) = 1/3, P(het 2) = 2/3.
  EXPECT_NEAR(HardyWeinbergExactP(1, 0, 1), 1.0 / 3, 1e-15);
  EXPECT_NEAR(HardyWeinbergExactP(0, 2, 0), 1.0, 1e-15);
  // Three individuals, 2 and 4 copies: P(het 0) = 0.2, P(het 2) = 0.8.
  EXPECT_NEAR(HardyWeinbergExactP(1, 0, 2), 0.2, 1e-15);
  EXPECT_NEAR(HardyWeinbergExactP(2, 0, 1), 0.2, 1e-15);
  EXPECT_NEAR(HardyWeinbergExactP(0, 2, 1), 1.0, 1e-15);
  // Four individuals, 4 and 4 copies: 6/70, 48/70, 16/70 for het 0, 2, 4.
  EXPECT_NEAR(HardyWeinbergExactP(2, 0, 2), 6.0 / 70, 1e-15);
  EXPECT_NEAR(HardyWeinbergExactP(0, 4, 0), 22.0 / 70, 1e-15);
  EXPECT_NEAR(HardyWeinbergExactP(1, 2, 1), 1.0, 1e-15);
  // Monomorphic and empty.
  EXPECT_EQ(HardyWeinbergExactP(10, 0, 0), 1.0);
  EXPECT_EQ(HardyWeinbergExactP(0, 0, 0), 1.0);
  EXPECT_THROW(HardyWeinbergExactP(-1, 0, 0), std::invalid_argument);
  // A large table far from equilibrium: tiny but positive.
  const double p = HardyWeinbergExactP(500, 0, 500);
  EXPECT_GT(p, 0);
  EXPECT_LT(p, 1e-200);
  // Wigginton et al.'s example: 57 AA, 14 AB, 29 BB... far from HWE.
  EXPECT_LT(HardyWeinbergExactP(57, 14, 29), 1e-10);
  EXPECT_GT(HardyWeinbergExactP(25, 50, 25), 0.8);
}

}  // namespace
}  // namespace korvane

namespace korvane {
namespace {

// Shapiro-Wilk on samples whose law is known: normal samples give p-values
// spread evenly (a rejection rate at 0.05 of about 0.05), skewed and flat
// samples are rejected; W does not depend on location and scale.
TEST(ShapiroWilkTest, HoldsItsLevelOnNormalSamplesAndRejectsOthers) {
  Xoshiro256 gen(20261210);
  constexpr int kSamples = 2000;
  for (const int n : {20, 200, 2000}) {
    int rejected = 0;
    for (int s = 0; s < kSamples; ++s) {
      std::vector<double> x(static_cast<std::size_t>(n));
      for (double& v : x) v = StandardNormal(gen);
      rejected += ShapiroWilk(x).p < 0.05;
    }
    // 100 expected; the binomial's 99.9 % range.
    EXPECT_GT(rejected, 67) << n;
    EXPECT_LT(rejected, 137) << n;
  }
  std::vector<double> exponential(200), flat(500), shifted(200);
  for (double& v : exponential) v = -std::log(1 - UniformUnit(gen));
  for (double& v : flat) v = UniformUnit(gen);
  EXPECT_LT(ShapiroWilk(exponential).p, 1e-6);
  EXPECT_LT(ShapiroWilk(flat).p, 1e-3);
  for (std::size_t i = 0; i < shifted.size(); ++i) shifted[i] = 40 + 7 * exponential[i];
  EXPECT_NEAR(ShapiroWilk(shifted).w, ShapiroWilk(exponential).w, 1e-12);
  EXPECT_THROW(ShapiroWilk(std::vector<double>(11, 1.0)), std::invalid_argument);
  EXPECT_THROW(ShapiroWilk(std::vector<double>(50, 1.0)), std::invalid_argument);
}

}  // namespace
}  // namespace korvane
