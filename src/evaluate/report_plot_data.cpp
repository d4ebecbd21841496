#include "evaluate/report_plot_data.h"

#include "evaluate/statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane {

double BetaQuantile(double a, double b, double probability) {
  if (!(probability > 0)) return 0;
  if (!(probability < 1)) return 1;
  // The upper half through the mirror image, so that the bisection below
  // always works where x is small and its logarithm is the right scale.
  if (a > b) return 1 - BetaQuantile(b, a, 1 - probability);
  double low = std::log(std::numeric_limits<double>::min());
  double high = 0;
  while (high - low > 1e-13) {
    const double middle = 0.5 * (low + high);
    if (RegularizedIncompleteBeta(std::exp(middle), a, b) < probability) {
      low = middle;
    } else {
      high = middle;
    }
  }
  return std::exp(0.5 * (low + high));
}

double ExpectedQqLog10(std::size_t rank, std::size_t count) {
  return -std::log10(static_cast<double>(rank) / (static_cast<double>(count) + 1));
}

std::vector<QqPoint> ThinQqPoints(std::span<const double> pValues, const QqThinning& thinning) {
  std::vector<double> sorted;
  sorted.reserve(pValues.size());
  for (const double p : pValues) {
    if (std::isfinite(p)) sorted.push_back(std::clamp(p, std::numeric_limits<double>::min(), 1.0));
  }
  std::sort(sorted.begin(), sorted.end());
  const std::size_t n = sorted.size();
  std::vector<QqPoint> points;
  const std::size_t exact = std::min(n, thinning.exactCount);
  points.reserve(exact + 2 * thinning.binCount);
  for (std::size_t i = 0; i < exact; ++i) points.push_back({i + 1, sorted[i]});
  if (exact == n) return points;

  // The rest binned on the expected axis, from the first binned rank's
  // expectation down to that of rank n; each bin keeps its first and last
  // rank. Bin k ends where the expectation falls to top - (k + 1) * width, at
  // rank (n + 1) * 10^-(top - (k + 1) * width), so the bins are found from
  // their edges rather than rank by rank.
  const double top = ExpectedQqLog10(exact + 1, n);
  const double bottom = ExpectedQqLog10(n, n);
  const std::size_t bin_count = std::max<std::size_t>(thinning.binCount, 1);
  const double width = (top - bottom) / static_cast<double>(bin_count);
  const double after_last = static_cast<double>(n) + 1;
  std::size_t first = exact + 1;
  for (std::size_t k = 0; k < bin_count && first <= n; ++k) {
    std::size_t next_first = n + 1;
    if (k + 1 < bin_count) {
      const double edge = after_last * std::pow(10.0, -(top - static_cast<double>(k + 1) * width));
      next_first = std::clamp(static_cast<std::size_t>(std::ceil(edge)), first, n + 1);
    }
    if (next_first == first) continue;  // no rank in this bin
    const std::size_t last = next_first - 1;
    points.push_back({first, sorted[first - 1]});
    if (last != first) points.push_back({last, sorted[last - 1]});
    first = next_first;
  }
  return points;
}

std::vector<QqBandPoint> QqConfidenceBand(std::size_t count, std::size_t pointCount) {
  std::vector<QqBandPoint> band;
  if (count == 0) return band;
  constexpr std::size_t kEveryRankUpTo = 20;
  std::vector<std::size_t> ranks;
  for (std::size_t i = 1; i <= std::min(count, kEveryRankUpTo); ++i) ranks.push_back(i);
  if (count > kEveryRankUpTo) {
    const std::size_t spaced = pointCount > kEveryRankUpTo ? pointCount - kEveryRankUpTo : 1;
    const double log_first = std::log(static_cast<double>(kEveryRankUpTo));
    const double log_last = std::log(static_cast<double>(count));
    for (std::size_t k = 1; k <= spaced; ++k) {
      const double t = static_cast<double>(k) / static_cast<double>(spaced);
      const auto rank = static_cast<std::size_t>(std::llround(std::exp(log_first + t * (log_last - log_first))));
      if (rank > ranks.back()) ranks.push_back(std::min(rank, count));
    }
    if (ranks.back() != count) ranks.push_back(count);
  }
  band.reserve(ranks.size());
  for (const std::size_t rank : ranks) {
    const double a = static_cast<double>(rank);
    const double b = static_cast<double>(count - rank + 1);
    band.push_back({rank, ExpectedQqLog10(rank, count), -std::log10(BetaQuantile(a, b, 0.975)),
                    -std::log10(BetaQuantile(a, b, 0.025))});
  }
  return band;
}

std::vector<HistogramBin> Histogram(std::span<const double> values, double low, double high, std::size_t binCount) {
  std::vector<HistogramBin> bins;
  if (binCount == 0 || !(high > low)) return bins;
  const double width = (high - low) / static_cast<double>(binCount);
  bins.reserve(binCount);
  for (std::size_t k = 0; k < binCount; ++k) {
    bins.push_back({low + width * static_cast<double>(k), low + width * static_cast<double>(k + 1), 0});
  }
  bins.back().end = high;
  for (const double v : values) {
    if (!(v >= low && v <= high)) continue;
    const auto k = std::min(static_cast<std::size_t>((v - low) / width), binCount - 1);
    ++bins[k].count;
  }
  return bins;
}

ValueRange FiniteRange(std::span<const double> first, std::span<const double> second) {
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (const auto series : {first, second}) {
    for (const double v : series) {
      if (!std::isfinite(v)) continue;
      low = std::min(low, v);
      high = std::max(high, v);
    }
  }
  if (low > high) return {0, 1};
  if (low == high) return {low - 0.5, high + 0.5};
  return {low, high};
}

}  // namespace korvane
