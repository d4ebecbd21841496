#include "evaluate/statistics.h"

#include <math.h>  // lgamma_r

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace korvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Phi(x) = P(Z <= x), by erfc so that the lower tail keeps its precision.
double NormalLowerTail(double x) { return 0.5 * std::erfc(-x / std::numbers::sqrt2); }

// Acklam's rational approximation of the normal quantile for p in (0, 0.5]
// (relative error about 1e-9), the start of the refinement below.
double AcklamLowerHalf(double p) {
  static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                                 1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
  static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                                 6.680131188771972e+01, -1.328068155288572e+01};
  static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                                 -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
  static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                                 3.754408661907416e+00};
  constexpr double kLow = 0.02425;
  if (p < kLow) {
    const double q = std::sqrt(-2 * std::log(p));
    return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
           ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
  }
  const double q = p - 0.5;
  const double r = q * q;
  return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
         (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

// The continued fraction of the incomplete beta function (modified Lentz),
// converging fast for x < (a + 1) / (a + b + 2).
double BetaContinuedFraction(double x, double a, double b) {
  constexpr double kTiny = 1e-300;
  constexpr double kEpsilon = 1e-16;
  const double qab = a + b;
  const double qap = a + 1;
  const double qam = a - 1;
  double c = 1;
  double d = 1 - qab * x / qap;
  if (std::fabs(d) < kTiny) d = kTiny;
  d = 1 / d;
  double h = d;
  for (int m = 1; m <= 100000; ++m) {
    const double m2 = 2.0 * m;
    double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
    d = 1 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1 / d;
    h *= d * c;
    aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
    d = 1 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1) < kEpsilon) break;
  }
  return h;
}

// log Gamma(x) for x > 0, without std::lgamma's global sign (thread safe).
double LogGamma(double x) {
  int sign = 0;
  return ::lgamma_r(x, &sign);
}

// The Stirling series' remainder of log Gamma(x) for x >= 10:
// log Gamma(x) = (x - 1/2) log x - x + log(2 pi) / 2 + StirlingRemainder(x).
double StirlingRemainder(double x) {
  const double inverse = 1 / x;
  const double inverse2 = inverse * inverse;
  return inverse * (1.0 / 12 - inverse2 * (1.0 / 360 - inverse2 * (1.0 / 1260 - inverse2 / 1680)));
}

// log B(a, b) = log Gamma(a) + log Gamma(b) - log Gamma(a + b), without the
// cancellation of large log Gammas when one argument is large (df of 1e9).
double LogBeta(double a, double b) {
  const double big = std::max(a, b);
  const double small = std::min(a, b);
  if (big < 10) return LogGamma(a) + LogGamma(b) - LogGamma(a + b);
  // log Gamma(big) - log Gamma(big + small) by Stirling, the large terms
  // cancelled analytically.
  const double difference = -small * std::log(big) - (big + small - 0.5) * std::log1p(small / big) + small +
                            StirlingRemainder(big) - StirlingRemainder(big + small);
  return LogGamma(small) + difference;
}

// I_x(a, b) given both x and y = 1 - x (each computed without cancellation
// by the caller), in log space up to the final exponential.
double IncompleteBeta(double x, double y, double a, double b) {
  if (x <= 0) return 0;
  if (y <= 0) return 1;
  const double logBeta = LogBeta(a, b);
  // log x and log y, each from the smaller of the two for precision.
  const double logX = x < 0.5 ? std::log(x) : std::log1p(-y);
  const double logY = y < 0.5 ? std::log(y) : std::log1p(-x);
  const double logFront = a * logX + b * logY - logBeta;
  if (x < (a + 1) / (a + b + 2)) return std::exp(logFront) * BetaContinuedFraction(x, a, b) / a;
  return 1 - std::exp(logFront) * BetaContinuedFraction(y, b, a) / b;
}

}  // namespace

double ChiSquare1UpperTail(double x) {
  if (std::isnan(x)) return kNaN;
  if (!(x > 0)) return 1.0;
  return std::erfc(std::sqrt(x / 2));
}

double ChiSquare1Quantile(double upperTail) {
  if (!(upperTail > 0 && upperTail <= 1)) return kNaN;
  const double z = NormalQuantile(upperTail / 2);
  return z * z;
}

double NormalUpperTail(double z) { return 0.5 * std::erfc(z / std::numbers::sqrt2); }

double NormalQuantile(double p) {
  if (std::isnan(p) || p < 0 || p > 1) return kNaN;
  if (p == 0) return -std::numeric_limits<double>::infinity();
  if (p == 1) return std::numeric_limits<double>::infinity();
  // 1 - p is exact for p > 0.5: the upper half by symmetry.
  if (p > 0.5) return -NormalQuantile(1 - p);
  double x = AcklamLowerHalf(p);
  // Halley steps on Phi(x) - p, Phi by erfc: full precision also at 1e-300.
  for (int step = 0; step < 2; ++step) {
    const double e = NormalLowerTail(x) - p;
    const double u = e * std::sqrt(2 * std::numbers::pi) * std::exp(x * x / 2);
    if (!std::isfinite(u)) break;
    x -= u / (1 + x * u / 2);
  }
  return x;
}

double RegularizedIncompleteBeta(double x, double a, double b) {
  if (std::isnan(x) || !(a > 0) || !(b > 0)) return kNaN;
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  return IncompleteBeta(x, 1 - x, a, b);
}

double StudentTTwoSidedP(double t, double df) {
  if (std::isnan(t) || !(df > 0)) return kNaN;
  if (std::isinf(t)) return 0;
  const double t2 = t * t;
  // x = df / (df + t^2) and 1 - x = t^2 / (df + t^2), each directly.
  const double x = df / (df + t2);
  const double y = t2 / (df + t2);
  return IncompleteBeta(x, y, df / 2, 0.5);
}

Interval WilsonInterval(std::int64_t successes, std::int64_t trials, double confidence) {
  if (trials <= 0) return {0, 1};
  const double n = static_cast<double>(trials);
  const double phat = static_cast<double>(successes) / n;
  const double z = NormalQuantile(1 - (1 - confidence) / 2);
  const double z2 = z * z;
  const double denominator = 1 + z2 / n;
  const double centre = (phat + z2 / (2 * n)) / denominator;
  const double half = z / denominator * std::sqrt(phat * (1 - phat) / n + z2 / (4 * n * n));
  // No successes (or no failures) bound the interval at 0 (or 1) exactly,
  // where the difference above leaves a rounding error.
  return {successes <= 0 ? 0.0 : std::max(0.0, centre - half),
          successes >= trials ? 1.0 : std::min(1.0, centre + half)};
}

double NonCentralChiSquare1Power(double ncp, double alpha) {
  if (std::isnan(ncp) || ncp < 0 || !(alpha > 0 && alpha <= 1)) return kNaN;
  const double z = -NormalQuantile(alpha / 2);
  const double root = std::sqrt(ncp);
  return NormalLowerTail(-z + root) + NormalLowerTail(-z - root);
}

double GenomicControlLambda(std::span<const double> chiSquares) {
  std::vector<double> values;
  values.reserve(chiSquares.size());
  for (double x : chiSquares) {
    if (!std::isnan(x)) values.push_back(x);
  }
  if (values.empty()) return kNaN;
  const std::size_t half = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half), values.end());
  double median = values[half];
  if (values.size() % 2 == 0) {
    const double below = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half));
    median = (median + below) / 2;
  }
  return median / kChiSquare1Median;
}

double HardyWeinbergExactP(int homozygous1, int heterozygous, int homozygous2) {
  if (homozygous1 < 0 || heterozygous < 0 || homozygous2 < 0) {
    throw std::invalid_argument("HardyWeinbergExactP: a negative genotype count");
  }
  const std::int64_t genotypes = std::int64_t{homozygous1} + heterozygous + homozygous2;
  if (genotypes == 0) return 1.0;
  const std::int64_t homRare = std::min(homozygous1, homozygous2);
  const std::int64_t rare = 2 * homRare + heterozygous;  // copies of the rarer allele
  std::vector<double> probs(static_cast<std::size_t>(rare + 1), 0.0);
  // The most probable heterozygote count, of the parity of `rare`.
  std::int64_t mid = rare * (2 * genotypes - rare) / (2 * genotypes);
  if ((mid % 2) != (rare % 2)) ++mid;
  probs[static_cast<std::size_t>(mid)] = 1.0;
  double sum = 1.0;
  {
    double homr = static_cast<double>(rare - mid) / 2;
    double homc = static_cast<double>(genotypes - mid) - homr;
    for (std::int64_t h = mid; h > 1; h -= 2) {
      const double hd = static_cast<double>(h);
      probs[static_cast<std::size_t>(h - 2)] =
          probs[static_cast<std::size_t>(h)] * hd * (hd - 1) / (4 * (homr + 1) * (homc + 1));
      sum += probs[static_cast<std::size_t>(h - 2)];
      homr += 1;
      homc += 1;
    }
  }
  {
    double homr = static_cast<double>(rare - mid) / 2;
    double homc = static_cast<double>(genotypes - mid) - homr;
    for (std::int64_t h = mid; h <= rare - 2; h += 2) {
      const double hd = static_cast<double>(h);
      probs[static_cast<std::size_t>(h + 2)] =
          probs[static_cast<std::size_t>(h)] * 4 * homr * homc / ((hd + 2) * (hd + 1));
      sum += probs[static_cast<std::size_t>(h + 2)];
      homr -= 1;
      homc -= 1;
    }
  }
  const double observed = probs[static_cast<std::size_t>(heterozygous)] * (1 + 1e-7);
  double p = 0;
  for (double prob : probs) {
    if (prob <= observed) p += prob;
  }
  return std::min(1.0, p / sum);
}

ShapiroWilkResult ShapiroWilk(std::span<const double> values) {
  const std::size_t n = values.size();
  if (n < 12 || n > 5000) throw std::invalid_argument("the Shapiro-Wilk test takes 12 to 5000 values");
  std::vector<double> x(values.begin(), values.end());
  std::sort(x.begin(), x.end());
  if (x.front() == x.back()) throw std::invalid_argument("the Shapiro-Wilk test needs values that differ");
  // The expected normal order statistics, approximated, and the
  // coefficients: the two largest by Royston's polynomials in 1 / sqrt(n),
  // the others proportional to the order statistics.
  const double count = static_cast<double>(n);
  std::vector<double> m(n);
  double mm = 0;
  for (std::size_t i = 0; i < n; ++i) {
    m[i] = NormalQuantile((static_cast<double>(i) + 1 - 0.375) / (count + 0.25));
    mm += m[i] * m[i];
  }
  const double u = 1 / std::sqrt(count);
  const auto poly = [u](std::array<double, 6> c) {
    return c[0] + u * (c[1] + u * (c[2] + u * (c[3] + u * (c[4] + u * c[5]))));
  };
  const double last = m[n - 1] / std::sqrt(mm);
  const double before = m[n - 2] / std::sqrt(mm);
  const double an = poly({last, 0.221157, -0.147981, -2.071190, 4.434685, -2.706056});
  const double an1 = poly({before, 0.042981, -0.293762, -1.752461, 5.682633, -3.582633});
  const double phi = (mm - 2 * m[n - 1] * m[n - 1] - 2 * m[n - 2] * m[n - 2]) / (1 - 2 * an * an - 2 * an1 * an1);
  std::vector<double> a(n);
  for (std::size_t i = 0; i < n; ++i) a[i] = m[i] / std::sqrt(phi);
  a[n - 1] = an;
  a[n - 2] = an1;
  a[0] = -an;
  a[1] = -an1;
  double mean = 0;
  for (double v : x) mean += v;
  mean /= count;
  double numerator = 0, squares = 0;
  for (std::size_t i = 0; i < n; ++i) {
    numerator += a[i] * x[i];
    squares += (x[i] - mean) * (x[i] - mean);
  }
  ShapiroWilkResult result;
  result.w = std::min(1.0, numerator * numerator / squares);
  // log(1 - W) is close to normal with a mean and spread given in log(n).
  const double ln = std::log(count);
  const double mu = ((0.0038915 * ln - 0.083751) * ln - 0.31082) * ln - 1.5861;
  const double sigma = std::exp((0.0030302 * ln - 0.082676) * ln - 0.4803);
  result.p = result.w >= 1 ? 1.0 : NormalUpperTail((std::log(1 - result.w) - mu) / sigma);
  return result;
}

}  // namespace korvane
