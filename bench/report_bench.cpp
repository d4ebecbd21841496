// The evaluation report page over millions of null p-values: the time to
// render it and its size (counter page_bytes; the page must stay under 3 MB
// for 5 million p-values in each of the two series).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "evaluate/report.h"
#include "evaluate/report_plot_data.h"

namespace {

std::vector<double> UniformPValues(std::size_t count, std::uint64_t seed) {
  std::vector<double> p(count);
  std::uint64_t state = seed;
  for (double& value : p) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    value = (static_cast<double>(state >> 11) + 0.5) * 0x1.0p-53;
  }
  return p;
}

void BM_RenderReport(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  korvane::ReportData data;
  data.title = "Case-control study, discrete model";
  data.nullP = UniformPValues(count, 1);
  data.nullPAdjusted = UniformPValues(count, 2);
  data.lambda = std::vector<double>(1000, 1.02);
  data.lambdaAdjusted = std::vector<double>(1000, 1.0);
  data.power = {{"causal", 0.05, 0.6, 0.57, 0.63, 0.62, 0.6}};
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string page = korvane::RenderReport(data);
    bytes = page.size();
    benchmark::DoNotOptimize(page.data());
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RenderReport)->Arg(80'000)->Arg(5'000'000)->Unit(benchmark::kMillisecond);

void BM_QqConfidenceBand(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(korvane::QqConfidenceBand(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_QqConfidenceBand)->Arg(5'000'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
