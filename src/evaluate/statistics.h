#pragma once

// Distributions and intervals of the association statistics. Pure functions;
// the tails are computed directly (not as 1 - CDF), so that p-values down to
// about 1e-300 keep their relative precision.

#include <cstdint>
#include <span>

namespace korvane {

// The upper tail P(X >= x) of a chi-square with one degree of freedom: 1 for
// x <= 0, NaN for NaN.
double ChiSquare1UpperTail(double x);

// The inverse of ChiSquare1UpperTail: the x with P(X >= x) = upperTail, for
// upperTail in (0, 1] (0.05 -> 3.841458820694124); NaN outside.
double ChiSquare1Quantile(double upperTail);

// The upper tail P(Z >= z) of a standard normal.
double NormalUpperTail(double z);

// The quantile of a standard normal: the z with P(Z <= z) = p (as R's qnorm),
// for p in (0, 1); -inf at 0, +inf at 1, NaN outside. Full double precision,
// also far in the tails (p = 1e-300).
double NormalQuantile(double p);

// The two-sided p-value P(|T| >= |t|) of Student's t with df > 0 degrees of
// freedom (df need not be an integer), by the regularized incomplete beta
// function I_{df/(df+t^2)}(df/2, 1/2). NaN for NaN t or df <= 0.
double StudentTTwoSidedP(double t, double df);

// The regularized incomplete beta function I_x(a, b), a, b > 0, x in [0, 1].
double RegularizedIncompleteBeta(double x, double a, double b);

struct Interval {
  double low, high;
};

// The Wilson score interval of a binomial proportion at the given two-sided
// confidence (0 < confidence < 1); [0, 1] when there are no trials.
Interval WilsonInterval(std::int64_t successes, std::int64_t trials, double confidence = 0.95);

// The power of a one-degree-of-freedom chi-square test at level alpha when the
// statistic is non-central with non-centrality ncp:
// P(chi2_1(ncp) > crit(alpha)) = Phi(-z + sqrt(ncp)) + Phi(-z - sqrt(ncp)),
// z the upper alpha/2 normal quantile. Equals alpha at ncp = 0.
double NonCentralChiSquare1Power(double ncp, double alpha);

// The expected median of a chi-square with one degree of freedom.
inline constexpr double kChiSquare1Median = 0.454936423119572;

// The genomic-control inflation factor: the median of the statistics
// (chi-squares with one degree of freedom; the mean of the two middle ones
// for an even count) over kChiSquare1Median. NaN entries are skipped; NaN
// when none is left. Not clamped at 1.
double GenomicControlLambda(std::span<const double> chiSquares);

// The two-sided exact test of Hardy-Weinberg equilibrium of Wigginton, Cutler
// and Abecasis (2005) for the genotype counts of a biallelic locus: the sum of
// the probabilities, given the allele counts, of the heterozygote counts no
// more probable than the one observed (as PLINK 1.9's --hardy, without the
// mid-p adjustment; probabilities equal to the observed one within a relative
// 1e-7 count as ties). 1 for an empty table; negative counts throw
// std::invalid_argument.
double HardyWeinbergExactP(int homozygous1, int heterozygous, int homozygous2);

// The Shapiro-Wilk test of normality (Royston's approximation of the
// coefficients and of the null distribution of W, for 12 to 5000 values):
// the statistic W and its p-value. Throws std::invalid_argument for fewer
// than 12 or more than 5000 values, or when all are equal.
struct ShapiroWilkResult {
  double w = 0;
  double p = 0;
};
ShapiroWilkResult ShapiroWilk(std::span<const double> values);

}  // namespace korvane
