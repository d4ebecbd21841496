// The evaluation library's costs: reading a replicate's PLINK text, the
// per-locus tests of a replicate, and the principal components of a large one.
// The genotypes are synthetic (two populations with diverged frequencies),
// written as Korvane's PLINK writer lays them out.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "evaluate/association.h"
#include "evaluate/genotype_table.h"
#include "evaluate/principal_components.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

GenotypeTable Synthetic(int individuals, int loci, std::uint64_t seed) {
  GenotypeTable table;
  table.individuals = individuals;
  table.loci = loci;
  table.dosage.resize(static_cast<std::size_t>(individuals) * static_cast<std::size_t>(loci));
  std::mt19937_64 engine(seed);
  std::uniform_real_distribution<double> uniform;
  for (int l = 0; l < loci; ++l) {
    const double base = 0.05 + 0.9 * uniform(engine);
    const double shift = 0.2 * (uniform(engine) - 0.5);
    for (int i = 0; i < individuals; ++i) {
      const double f = std::clamp(base + (i % 2 == 0 ? shift : -shift), 0.01, 0.99);
      table.dosage[static_cast<std::size_t>(l) * static_cast<std::size_t>(individuals) + static_cast<std::size_t>(i)] =
          static_cast<std::int8_t>((uniform(engine) < f) + (uniform(engine) < f));
    }
  }
  return table;
}

// Plink.ped and Plink.map of a synthetic table in a temporary folder, made
// once per size.
fs::path PlinkFiles(int individuals, int loci) {
  static std::map<std::pair<int, int>, fs::path> made;
  const auto key = std::make_pair(individuals, loci);
  if (auto it = made.find(key); it != made.end()) return it->second;
  const fs::path dir = fs::temp_directory_path() /
                       ("korvane_evaluate_bench_" + std::to_string(individuals) + "x" + std::to_string(loci));
  fs::create_directories(dir);
  const GenotypeTable table = Synthetic(individuals, loci, 1);
  {
    std::FILE* map = std::fopen((dir / "Plink.map").c_str(), "w");
    for (int l = 0; l < loci; ++l) std::fprintf(map, "%d snp%d  0.000000 %d\n", 1 + l / 1000, l + 1, 1000 * (l + 1));
    std::fclose(map);
  }
  std::FILE* ped = std::fopen((dir / "Plink.ped").c_str(), "w");
  std::string line;
  for (int i = 0; i < individuals; ++i) {
    line = std::to_string(i + 1) + " " + std::to_string(i + 1) + " 0 0 1 " + (i % 2 ? "2" : "1");
    for (int l = 0; l < loci; ++l) {
      const int g = table.At(l, i);
      line += g == 2 ? " 1 1" : g == 1 ? " 1 2" : " 2 2";
    }
    line += " \n";
    std::fputs(line.c_str(), ped);
  }
  std::fclose(ped);
  made[key] = dir;
  return dir;
}

void BM_ReadPlinkText(benchmark::State& state) {
  const int individuals = static_cast<int>(state.range(0));
  const int loci = static_cast<int>(state.range(1));
  const fs::path dir = PlinkFiles(individuals, loci);
  std::vector<double> phenotype;
  for (auto _ : state) {
    GenotypeTable table = ReadPlinkText(dir / "Plink.ped", dir / "Plink.map", &phenotype);
    benchmark::DoNotOptimize(table.dosage.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(dir / "Plink.ped")));
}
BENCHMARK(BM_ReadPlinkText)->Args({200, 400})->Args({2000, 12867})->Unit(benchmark::kMillisecond);

// Every test at every locus of a 200 x 400 replicate: allelic, trend, linear
// regression and the EIGENSTRAT statistic with 10 axes.
void BM_PerLocusTests(benchmark::State& state) {
  const GenotypeTable table = Synthetic(200, 400, 2);
  std::vector<std::uint8_t> affected(200);
  std::vector<double> trait(200);
  for (int i = 0; i < 200; ++i) {
    affected[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i % 2);
    trait[static_cast<std::size_t>(i)] = i % 2;
  }
  const PrincipalComponents pcs = TopPrincipalComponents(table, 10, {}, 1);
  const CovariateProjector projector(pcs.axes);
  for (auto _ : state) {
    const AdjustedTrendTest adjusted(projector, trait);
    double sum = 0;
    for (int l = 0; l < table.loci; ++l) {
      sum += AllelicTest(table.Locus(l), affected).chiSquare;
      sum += TrendTest(table.Locus(l), affected).chiSquare;
      sum += LinearRegression(table.Locus(l), trait).p;
      sum += adjusted.ChiSquare(table.Locus(l));
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * table.loci);
}
BENCHMARK(BM_PerLocusTests)->Unit(benchmark::kMicrosecond);

void BM_TopPrincipalComponents(benchmark::State& state) {
  const int individuals = static_cast<int>(state.range(0));
  const int loci = static_cast<int>(state.range(1));
  const GenotypeTable table = Synthetic(individuals, loci, 3);
  int iterations = 0;
  for (auto _ : state) {
    const PrincipalComponents pcs = TopPrincipalComponents(table, 10, {}, 1);
    iterations = pcs.iterations;
    benchmark::DoNotOptimize(pcs.axes.data());
  }
  state.counters["solver_iterations"] = iterations;
}
BENCHMARK(BM_TopPrincipalComponents)->Args({200, 400})->Args({2000, 12867})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvane

BENCHMARK_MAIN();
