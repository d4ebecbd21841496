// Writer throughput: one large replicate (2000 individuals at 12867 loci,
// about 5 % of genotypes missing, 50 null loci) written in every format, and
// in each format alone, into a temporary folder (the page cache). Reports the
// megabytes written per second, in total and per format.

#include <benchmark/benchmark.h>
#include <htslib/bgzf.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "output/format_writer.h"
#include "output/genotype_columns.h"
#include "output/genotype_store.h"
#include "output/genotype_text.h"
#include "output/output_set.h"
#include "output/plink_binary_writer.h"
#include "parallel/work_team.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

constexpr int kIndividuals = 2000;
constexpr int kLoci = 12867;
constexpr int kRegions = 10;
constexpr int kNullLoci = 50;

// A small fixed generator: the benchmark's data need not be the study's stream.
class Lcg {
 public:
  explicit Lcg(std::uint64_t seed) : state_(seed) {}
  std::uint32_t Next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  double Uniform() { return Next() / 2147483648.0; }

 private:
  std::uint64_t state_;
};

struct Replicate {
  std::vector<MapEntry> entries;
  std::vector<IndividualRecord> individuals;
  std::vector<Genotype> genotypes;  // individual-major, kLoci per individual
  std::vector<std::uint8_t> isNull;
  ReplicateTruth truth;

  GenotypeRow Row(std::size_t i) const {
    return GenotypeRow{std::span<const Genotype>(genotypes).subspan(i * kLoci, kLoci), isNull};
  }
};

const Replicate& TheReplicate() {
  static const Replicate replicate = [] {
    Replicate r;
    Lcg random(20261209);
    int snp = 0;
    for (int region = 1; region <= kRegions; ++region) {
      const int count = kLoci / kRegions + (region <= kLoci % kRegions ? 1 : 0);
      double position = 100000 + random.Next() % 50000;
      for (int k = 0; k < count; ++k) {
        MapEntry entry;
        entry.regionNumber = region;
        entry.snpNumber = ++snp;
        if (k > 0) entry.distance = random.Uniform() * 0.2;
        position += 500 + random.Next() % 20000;
        entry.position = position;
        r.entries.push_back(entry);
      }
    }
    r.isNull.assign(kLoci, 0);
    for (int placed = 0; placed < kNullLoci;) {
      const std::size_t j = random.Next() % kLoci;
      if (r.isNull[j] == 0) {
        r.isNull[j] = 1;
        ++placed;
      }
    }
    std::size_t causal = random.Next() % kLoci;
    while (r.isNull[causal] != 0) causal = (causal + 1) % kLoci;
    r.truth.causalPositionsAll = {static_cast<int>(causal) + 1};

    r.genotypes.resize(static_cast<std::size_t>(kIndividuals) * kLoci);
    for (int i = 0; i < kIndividuals; ++i) {
      IndividualRecord individual;
      individual.id = i + 1;
      individual.sex = random.Next() % 2 == 0 ? Sex::kMale : Sex::kFemale;
      individual.affection = i < kIndividuals / 2 ? Affection::kAffected : Affection::kUnaffected;
      individual.ancestry = random.Next() % 2 == 0 ? 1.0 : 0.0;
      r.individuals.push_back(individual);
      for (std::size_t j = 0; j < kLoci; ++j) {
        Genotype& genotype = r.genotypes[static_cast<std::size_t>(i) * kLoci + j];
        const std::uint32_t draw = random.Next();
        if (j != causal && draw % 1000 < 50) continue;  // missing: both 0
        genotype.first = static_cast<std::uint8_t>(1 + (draw >> 10) % 2);
        genotype.second = static_cast<std::uint8_t>(1 + (draw >> 11) % 2);
      }
    }
    return r;
  }();
  return replicate;
}

// The format each file of a replicate folder belongs to.
std::string_view FormatOf(const std::string& name) {
  if (name.ends_with(".bed") || name.ends_with(".bim") || name.ends_with(".fam")) return "bed";
  if (name.starts_with("Plink")) return "plink";
  if (name.starts_with("Genotypes")) return "vcf";
  if (name.starts_with("Eigensoft")) return "eigensoft";
  if (name.starts_with("Admixmap")) return "admixmap";
  if (name == "Structure.txt" || name == "Strat.txt") return "structure_strat";
  if (name == "GC.txt") return "gc";
  return "origin";
}

// Where the files go: a fresh folder for every replicate (as in a run), or
// the files of the previous iteration truncated and rewritten (as in a
// retried attempt, or a study benchmark that reuses its folder).
enum class Target { kFresh, kOverwrite };

// The replicate's events through the set, and its files closed.
void WriteAll(OutputSet& output, const Replicate& replicate) {
  output.BeginLoci();
  for (const MapEntry& entry : replicate.entries) output.Locus(entry);
  output.EndLoci();
  for (std::size_t i = 0; i < replicate.individuals.size(); ++i) {
    output.Individual(replicate.individuals[i], replicate.Row(i));
  }
  output.Finish(replicate.truth);
  output.Close();
}

void WriteReplicate(benchmark::State& state, const FormatSelection& formats, LineEnds lineEnds,
                    Target target = Target::kFresh) {
  const Replicate& replicate = TheReplicate();
  const fs::path folder = fs::temp_directory_path() / "korvane-writer-bench";
  fs::remove_all(folder);
  fs::create_directories(folder);

  std::map<std::string, double, std::less<>> megabytes;
  double total = 0;
  for (auto _ : state) {
    OutputSet output(folder, formats, StudyKind::kQualitative, AncestryFormat::kSourcePool, lineEnds);
    WriteAll(output, replicate);

    state.PauseTiming();
    for (const fs::directory_entry& file : fs::directory_iterator(folder)) {
      const double size = static_cast<double>(file.file_size()) * 1e-6;
      megabytes[std::string(FormatOf(file.path().filename().string()))] += size;
      total += size;
    }
    if (target == Target::kFresh) {
      fs::remove_all(folder);
      fs::create_directories(folder);
    }
    state.ResumeTiming();
  }
  state.counters["MB/s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
  state.counters["MB"] = benchmark::Counter(total, benchmark::Counter::kAvgIterations);
  for (const auto& [format, size] : megabytes) {
    if (format != "origin") state.counters[format + "_MB/s"] = benchmark::Counter(size, benchmark::Counter::kIsRate);
  }
  fs::remove_all(folder);
}

// Every format of the registry that a case-control study writes, but the
// PLINK binary files and VCF (chosen by name, and measured on their own
// below), so that the numbers stay comparable with earlier runs.
FormatSelection AllFormats() {
  FormatSelection all;
  for (const FormatRow& row : FormatRegistry()) {
    if (row.name != "bed" && row.name != "vcf.gz" && row.name != "bcf") all.Choose(row.name);
  }
  return all;
}

// The bytes of text a bgzipped file holds.
double UncompressedBytes(const fs::path& path) {
  BGZF* file = bgzf_open(path.c_str(), "r");
  if (file == nullptr) throw std::runtime_error(path.string() + ": cannot be read");
  std::vector<char> buffer(std::size_t{1} << 20);
  double total = 0;
  ssize_t got = 0;
  while ((got = bgzf_read(file, buffer.data(), buffer.size())) > 0) total += static_cast<double>(got);
  bgzf_close(file);
  if (got < 0) throw std::runtime_error(path.string() + ": cannot be read");
  return total;
}

// Genotypes.vcf.gz of 2000 x 12867 from the shared phased store, with its
// index, on a work team of range(0) members (htslib compresses on one
// thread per member but one): text_MB/s is the VCF text (before
// compression) written per second, MB/s the bytes of the file and its index.
void BM_WriteVcfGz(benchmark::State& state) {
  const Replicate& replicate = TheReplicate();
  WorkTeam team(static_cast<int>(state.range(0)));
  const fs::path folder = fs::temp_directory_path() / "korvane-writer-bench";
  fs::remove_all(folder);
  fs::create_directories(folder);
  double text = 0;
  double total = 0;
  for (auto _ : state) {
    OutputSet output(folder, FormatSelection{"vcf.gz"}, StudyKind::kQualitative, AncestryFormat::kSourcePool,
                     LineEnds::kLf);
    output.ShareWith(team);
    WriteAll(output, replicate);

    state.PauseTiming();
    text += UncompressedBytes(folder / "Genotypes.vcf.gz") * 1e-6;
    for (const fs::directory_entry& file : fs::directory_iterator(folder)) {
      total += static_cast<double>(file.file_size()) * 1e-6;
    }
    fs::remove_all(folder);
    fs::create_directories(folder);
    state.ResumeTiming();
  }
  state.counters["text_MB/s"] = benchmark::Counter(text, benchmark::Counter::kIsRate);
  state.counters["text_MB"] = benchmark::Counter(text, benchmark::Counter::kAvgIterations);
  state.counters["MB/s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
  fs::remove_all(folder);
}

// Genotypes.bcf of 2000 x 12867 with its index: vcf_MB/s is the bytes of
// the file and its index per second.
void BM_WriteBcf(benchmark::State& state) { WriteReplicate(state, FormatSelection{"bcf"}, LineEnds::kLf); }

void BM_WriteAllFormats(benchmark::State& state) { WriteReplicate(state, AllFormats(), LineEnds::kLf); }
void BM_WriteAllFormatsOverwrite(benchmark::State& state) {
  WriteReplicate(state, AllFormats(), LineEnds::kLf, Target::kOverwrite);
}
void BM_WriteAllFormatsCrlf(benchmark::State& state) { WriteReplicate(state, AllFormats(), LineEnds::kCrlf); }
void BM_WritePlink(benchmark::State& state) { WriteReplicate(state, FormatSelection{"plink"}, LineEnds::kLf); }
void BM_WriteEigensoft(benchmark::State& state) { WriteReplicate(state, FormatSelection{"eigensoft"}, LineEnds::kLf); }
void BM_WriteAdmixmap(benchmark::State& state) { WriteReplicate(state, FormatSelection{"admixmap"}, LineEnds::kLf); }
void BM_WriteStructureStrat(benchmark::State& state) {
  WriteReplicate(state, FormatSelection{"structure-strat"}, LineEnds::kLf);
}
void BM_WriteGc(benchmark::State& state) { WriteReplicate(state, FormatSelection{"gc"}, LineEnds::kLf); }
// Plink.bed/.bim/.fam of 2000 x 12867: bed_MB/s is the bytes of output per second.
void BM_WritePlinkBinary(benchmark::State& state) { WriteReplicate(state, FormatSelection{"bed"}, LineEnds::kLf); }
// The PLINK binary files of 2000 x 12867 from a genotype store filled
// beforehand, as when the store is shared with other formats: the writer's
// own work (the .fam lines, then the .bed and .bim at Finish). bed_MB/s is
// the bytes of output per second.
void BM_WritePlinkBinaryFromStore(benchmark::State& state) {
  const Replicate& replicate = TheReplicate();
  const fs::path folder = fs::temp_directory_path() / "korvane-writer-bench";
  fs::remove_all(folder);
  fs::create_directories(folder);
  GenotypeStore store(folder);
  for (std::size_t j = 0; j < replicate.entries.size(); ++j) store.AddLocus();
  for (std::size_t i = 0; i < replicate.individuals.size(); ++i) store.Append(replicate.Row(i).genotypes);
  double bytes = 0;
  for (auto _ : state) {
    {
      PlinkBinaryWriter writer(folder, LineEnds::kLf, store);
      for (const MapEntry& entry : replicate.entries) writer.Locus(entry);
      for (std::size_t i = 0; i < replicate.individuals.size(); ++i) {
        writer.Individual(replicate.individuals[i], replicate.Row(i));
      }
      writer.Finish(replicate.truth);
      writer.Close();
    }
    state.PauseTiming();
    for (const char* name : {"Plink.bed", "Plink.bim", "Plink.fam"}) {
      bytes += static_cast<double>(fs::file_size(folder / name)) * 1e-6;
      fs::remove(folder / name);
    }
    state.ResumeTiming();
  }
  state.counters["bed_MB/s"] = benchmark::Counter(bytes, benchmark::Counter::kIsRate);
  store.Close();
  fs::remove_all(folder);
}

// EIGENSOFT and the PLINK binary files from one genotype store.
void BM_WriteEigensoftAndBed(benchmark::State& state) {
  WriteReplicate(state, FormatSelection{"eigensoft", "bed"}, LineEnds::kLf);
}

// Rows formatted into memory, no file: the formatting's own cost per
// genotype. A simulation hands over a row it has just built, so the rows
// here come from a few that stay in the cache.
constexpr std::size_t kHotRows = 64;

template <char* (*Put)(char*, std::span<const Genotype>)>
void BM_FormatRows(benchmark::State& state) {
  const Replicate& replicate = TheReplicate();
  std::vector<char> text(8 * kLoci + 64);
  for (auto _ : state) {
    for (int i = 0; i < kIndividuals; ++i) {
      char* end = Put(text.data(), replicate.Row(static_cast<std::size_t>(i) % kHotRows).genotypes);
      benchmark::DoNotOptimize(end);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kIndividuals * kLoci);
}

void BM_PackColumns(benchmark::State& state) {
  const Replicate& replicate = TheReplicate();
  std::vector<char> text(kIndividuals + 64);
  for (auto _ : state) {
    GenotypeColumns columns;
    columns.SetLocusCount(kLoci);
    for (int i = 0; i < kIndividuals; ++i) {
      columns.Append(replicate.Row(static_cast<std::size_t>(i) % kHotRows).genotypes);
    }
    for (std::size_t j = 0; j < kLoci; ++j) benchmark::DoNotOptimize(columns.PutColumn(j, text.data()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kIndividuals * kLoci);
}

BENCHMARK(BM_FormatRows<output_detail::PutSpacedCodes>)->Name("BM_FormatRows/plink_gc")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormatRows<output_detail::PutSpacedCodesOrMinusNine>)
    ->Name("BM_FormatRows/structure_strat")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormatRows<output_detail::PutQuotedPairs>)->Name("BM_FormatRows/admixmap")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackColumns)->Name("BM_FormatRows/eigensoft")->Unit(benchmark::kMillisecond);

BENCHMARK(BM_WriteAllFormats)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_WriteAllFormatsOverwrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_WriteAllFormatsCrlf)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_WritePlink)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteEigensoft)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteAdmixmap)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteStructureStrat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteGc)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WritePlinkBinary)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WritePlinkBinaryFromStore)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteEigensoftAndBed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteVcfGz)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteBcf)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace korvane

BENCHMARK_MAIN();
