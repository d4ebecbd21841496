#pragma once

// The data behind the report page's plots, reduced to what a page can carry.
//
// QQ plot. The n null-locus p-values, sorted, are plotted as order statistics:
// the i-th smallest p-value against its expectation under the null,
// E[U(i)] = i / (n + 1), both on the -log10 scale. Under the null U(i) follows
// Beta(i, n - i + 1), whose 2.5 % and 97.5 % quantiles give the pointwise 95 %
// band. With millions of p-values the points are thinned: the smallest
// `exactCount` are all kept (the tail that matters), and the rest are binned
// on the expected axis, keeping the first and the last order statistic of
// every bin. The curve is monotone, so the kept ends bound every point of their
// bin and nothing hidden lies outside them.
//
// Histograms are counted here, not in the page, so that a page over millions
// of pooled values stays small.

#include <cstddef>
#include <span>
#include <vector>

namespace korvane {

// One plotted order statistic: its rank i (1-based) among n and its p-value.
struct QqPoint {
  std::size_t rank;
  double p;
};

struct QqThinning {
  std::size_t exactCount = 2000;  // the smallest p-values, all kept
  std::size_t binCount = 1000;    // bins of the expected -log10 axis for the rest
};

// The points to plot for these p-values (non-finite values dropped, values
// clamped to (0, 1]), in increasing rank; the ranks are among the kept count
// of finite values.
std::vector<QqPoint> ThinQqPoints(std::span<const double> pValues, const QqThinning& thinning = {});

// -log10 of the expected i-th order statistic of n uniforms, i / (n + 1).
double ExpectedQqLog10(std::size_t rank, std::size_t count);

// The pointwise 95 % band at one rank, on the -log10 scale: `low` from the
// 97.5 % quantile of Beta(i, n - i + 1), `high` from its 2.5 % quantile.
struct QqBandPoint {
  std::size_t rank;
  double expected;  // ExpectedQqLog10(rank, n)
  double low;
  double high;
};

// The band at about `pointCount` ranks: the first twenty, then ranks spaced
// evenly on the log scale up to n, so that it is smooth along the whole axis.
std::vector<QqBandPoint> QqConfidenceBand(std::size_t count, std::size_t pointCount = 200);

// The quantile of Beta(a, b) at `probability`, by bisection of
// RegularizedIncompleteBeta (evaluate/statistics.h): on log x for the lower half of the distribution,
// so that quantiles of 1e-9 keep their relative precision, and through
// Beta(b, a) and 1 - x for the upper half.
double BetaQuantile(double a, double b, double probability);

// A bin of a histogram: [start, end) (the last bin includes its end).
struct HistogramBin {
  double start;
  double end;
  std::size_t count;
};

// `binCount` equal bins over [low, high]; values outside or non-finite are
// not counted.
std::vector<HistogramBin> Histogram(std::span<const double> values, double low, double high, std::size_t binCount);

// The range of the finite values of both series, widened by half a unit on
// each side when it is a single value; {0, 1} when there is none.
struct ValueRange {
  double low;
  double high;
};
ValueRange FiniteRange(std::span<const double> first, std::span<const double> second = {});

}  // namespace korvane
