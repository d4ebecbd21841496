// The transmission kernel on the shipped data's panels and map:
//   K0  the draws of one haplotype alone, in ns per draw;
//   K1  one haplotype transmitted over all regions, in ns per locus;
//   K2  one generation of both discrete pools, and one generation of the
//       admixed population (2000 haplotypes, the default 40 migrants),
//   K3  the calibrated model's draws of one haplotype: xoshiro256** values
//       of the eight-lane stream against per-value thresholds, as bits, in
//       ns per value (beside K0's, the specified model's generator),
// at 400 and 12867 loci, on each kernel the processor has (kernel:0 the
// portable one, kernel:1 AVX2). The ...Ancestry variants do the same with
// local ancestry tracked: K1 from a parent whose ancestry rows are composed
// beside its alleles (the two-plane pass of every mating), K2 with the
// populations' ancestry rows.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

#include "population/admixture.h"
#include "population/source_pools.h"
#include "population/transmission.h"
#include "qual/qual_parameters.h"
#include "random/bulk_draws.h"
#include "random/lane_generator.h"
#include "refdata/haplotype_store.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

const ReferenceData& Data() {
  static const ReferenceData data = ReferenceData::Load(fs::path(KORVANE_SOURCE_DIR) / "data");
  return data;
}

// The loci of an attempt and the panels, as a simulation prepares them.
struct Setup {
  MarkerSet markers;
  ReferencePanel panel;
};

const Setup& SetupFor(int loci) {
  static std::map<int, std::unique_ptr<Setup>> setups;
  auto& setup = setups[loci];
  if (!setup) {
    setup = std::make_unique<Setup>();
    RandomGenerator gen(20261209);
    setup->markers = SelectMarkers(gen, loci);
    BuildMarkerMap(setup->markers, Data());
    setup->panel = LoadPanels(Data(), setup->markers);
  }
  return *setup;
}

// Selects the kernel of the benchmark's second argument; false (and the
// benchmark skipped) when the processor lacks it.
bool UseKernel(benchmark::State& state) {
  const DrawKernel wanted = state.range(1) == 1 ? DrawKernel::kAvx2 : DrawKernel::kPortable;
  if (SelectDrawKernel(wanted) != wanted) {
    state.SkipWithError("kernel not available on this processor");
    return false;
  }
  state.SetLabel(wanted == DrawKernel::kAvx2 ? "avx2" : "portable");
  return true;
}

// The floor under K1: the draws alone, as bits against per-draw thresholds.
void BM_K0_Draws(benchmark::State& state) {
  if (!UseKernel(state)) return;
  const int n = static_cast<int>(state.range(0));
  std::vector<std::int32_t> scaled(n);
  for (int p = 0; p < n; ++p) scaled[p] = ScaledThreshold(p % 7 == 0 ? 500 : p % 1001);
  std::vector<std::uint64_t> bits(WordsForBits(n));
  RandomGenerator gen(3);
  for (auto _ : state) {
    DrawBelowBits(gen, scaled.data(), n, bits.data());
    benchmark::DoNotOptimize(bits.data());
  }
  state.counters["ns_per_draw"] = benchmark::Counter(
      static_cast<double>(n) * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// K0's counterpart for the calibrated model: the same number of values from
// the eight-lane stream, against per-value thresholds at full resolution.
void BM_K3_LaneDrawBelowBits(benchmark::State& state) {
  if (!UseKernel(state)) return;
  const int n = static_cast<int>(state.range(0));
  std::vector<std::uint64_t> thresholds(n);
  for (int p = 0; p < n; ++p) thresholds[p] = ThresholdOf(p % 7 == 0 ? 0.5 : (p % 1001) / 1000.0);
  std::vector<std::uint64_t> bits(WordsForBits(n));
  LaneGenerator gen(StreamKey(3, 1, 2));
  for (auto _ : state) {
    DrawBelowBits(gen, thresholds.data(), n, bits.data());
    benchmark::DoNotOptimize(bits.data());
  }
  state.counters["ns_per_draw"] = benchmark::Counter(
      static_cast<double>(n) * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Transmission(benchmark::State& state, bool ancestry) {
  if (!UseKernel(state)) return;
  const int loci = static_cast<int>(state.range(0));
  const Setup& setup = SetupFor(loci);
  HaplotypeTransmitter transmitter(setup.markers);
  HaplotypeStore children(64, loci, ancestry);
  // With ancestry, the sources are the panel's haplotypes in a store that
  // keeps their ancestry rows, the first haplotype of each marked YRI.
  HaplotypeStore tracked;
  if (ancestry) {
    tracked = HaplotypeStore(setup.panel.panelSize, loci, true);
    for (int j = 0; j < setup.panel.panelSize; ++j) {
      for (int h = 0; h < 2; ++h) {
        std::copy_n(setup.panel.yri.Row(j, h), tracked.WordsPerRow(), tracked.Row(j, h));
        tracked.SetAncestry(j, h, h == 0 ? SourcePopulation::kYri : SourcePopulation::kSecond);
      }
    }
  }
  const HaplotypeStore& sources = ancestry ? tracked : setup.panel.yri;
  RandomGenerator gen(7);
  int k = 0;
  for (auto _ : state) {
    const int source = k % setup.panel.panelSize;
    transmitter.Transmit(gen, sources, source, children, k % 64, 0);
    benchmark::DoNotOptimize(children.Row(k % 64, 0));
    ++k;
  }
  state.counters["ns_per_locus"] = benchmark::Counter(
      static_cast<double>(loci) * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
void BM_K1_Transmission(benchmark::State& state) { Transmission(state, false); }
void BM_K1_TransmissionAncestry(benchmark::State& state) { Transmission(state, true); }

// Both pools start from founders; every iteration is one more generation of
// mating (the parent table, then 2000 children's haplotypes) in each.
void PoolsGeneration(benchmark::State& state, bool ancestry) {
  if (!UseKernel(state)) return;
  const Setup& setup = SetupFor(static_cast<int>(state.range(0)));
  RandomGenerator gen(11);
  SourcePools pools(ancestry);
  WorkTeam team(static_cast<int>(state.range(2)));
  BuildFounders(
      gen, setup.markers, setup.panel, IndexPicker(setup.panel.panelSize), pools, [] {}, team);
  const IndexPicker parentPicker(kPopulationSize);
  Breeders breeders(team, setup.markers);
  std::vector<int> parentTable;
  for (auto _ : state) {
    MateGeneration(gen, breeders, parentPicker, pools.second, parentTable);
    MateGeneration(gen, breeders, parentPicker, pools.yri, parentTable);
    std::swap(pools.second.current, pools.second.previous);
    std::swap(pools.yri.current, pools.yri.previous);
  }
}
void BM_K2_PoolsGeneration(benchmark::State& state) { PoolsGeneration(state, false); }
void BM_K2_PoolsGenerationAncestry(benchmark::State& state) { PoolsGeneration(state, true); }

// One generation of the admixed population: the parent table, then the 2000
// haplotypes, 40 of them from YRI reference individuals.
void AdmixedGeneration(benchmark::State& state, bool ancestry) {
  if (!UseKernel(state)) return;
  const Setup& setup = SetupFor(static_cast<int>(state.range(0)));
  const IndexPicker panelPicker(setup.panel.panelSize);
  RandomGenerator gen(13);
  AdmixedPopulation population(ancestry);
  const int migrants = MigrantCount(0.04);
  WorkTeam team(static_cast<int>(state.range(2)));
  BuildAdmixedPopulation(
      gen, setup.markers, setup.panel, panelPicker, migrants, 0.0, MigrantPick::kPerIndividual, population, [] {},
      team);
  const IndexPicker parentPicker(kPopulationSize);
  Breeders breeders(team, setup.markers);
  std::vector<int> parents(2 * kPopulationSize);
  for (auto _ : state) {
    for (int& parent : parents) parent = parentPicker.Pick(gen);
    MateAdmixedGeneration(gen, breeders, setup.panel, panelPicker, migrants, MigrantPick::kPerIndividual, parents,
                          population.parental, population.current);
    std::swap(population.current, population.parental);
  }
}
void BM_K2_AdmixedGeneration(benchmark::State& state) { AdmixedGeneration(state, false); }
void BM_K2_AdmixedGenerationAncestry(benchmark::State& state) { AdmixedGeneration(state, true); }

void Sizes(benchmark::internal::Benchmark* b) {
  for (int loci : {400, 12867}) {
    for (int kernel : {0, 1}) b->Args({loci, kernel});
  }
  b->ArgNames({"loci", "kernel"});
}

BENCHMARK(BM_K0_Draws)->Apply(Sizes);
BENCHMARK(BM_K3_LaneDrawBelowBits)->Apply(Sizes);
BENCHMARK(BM_K1_Transmission)->Apply(Sizes);
BENCHMARK(BM_K1_TransmissionAncestry)->Apply(Sizes);
// The generations also on a team of two: the children split between both cores.
void GenerationSizes(benchmark::internal::Benchmark* b) {
  for (int loci : {400, 12867}) {
    for (int kernel : {0, 1}) b->Args({loci, kernel, 1});
    b->Args({loci, 1, 2});
  }
  b->ArgNames({"loci", "kernel", "threads"});
}

BENCHMARK(BM_K2_PoolsGeneration)->Apply(GenerationSizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_K2_AdmixedGeneration)->Apply(GenerationSizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_K2_PoolsGenerationAncestry)->Apply(GenerationSizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_K2_AdmixedGenerationAncestry)->Apply(GenerationSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace korvane

BENCHMARK_MAIN();
