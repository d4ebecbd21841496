// Time per replicate of whole studies on the shipped data: the default
// studies of both models and the large ones.

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>

#include "evaluate/evaluation.h"
#include "evaluate/evaluation_input.h"
#include "evaluate/replicate_evaluation.h"
#include "qual/QUAL.h"
#include "quan/QUAN.h"
#include "refdata/reference_data.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

class SilentHost : public FormHost {
 public:
  void Refresh(const RunProgress&) override {}
  void SetRunning(bool) override {}
};

// The studies write into a memory-backed folder when there is one (override
// with KORVANE_BENCH_DIR): the times are then the program's and the page
// cache's, not those of a disk's file system. On a file system that delays
// the reuse of deleted inodes (ext4 without a journal), creating files soon
// after many were deleted costs milliseconds per file and would dominate.
fs::path BenchOutput() {
  const char* chosen = std::getenv("KORVANE_BENCH_DIR");
  std::error_code ec;
  const fs::path base = chosen && *chosen                  ? fs::path(chosen)
                        : fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                           : fs::temp_directory_path();
  const fs::path dir = base / "korvane-bench";
  fs::create_directories(dir);
  return dir;
}

// A folder on disk for the studies whose files would not fit in memory
// (override with KORVANE_BENCH_DISK_DIR; default: the system's temporary folder).
fs::path BenchDiskOutput() {
  const char* chosen = std::getenv("KORVANE_BENCH_DISK_DIR");
  const fs::path dir = (chosen && *chosen ? fs::path(chosen) : fs::temp_directory_path()) / "korvane-bench";
  fs::create_directories(dir);
  return dir;
}

RunOptions Options() {
  RunOptions options;
  options.dataDir = fs::path(KORVANE_SOURCE_DIR) / "data";
  options.seed = 20261209;
  return options;
}

// The process's peak resident memory so far, in MB.
double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Every iteration writes into a new folder: rewriting the files of the
// previous iteration would time the file system's flush of replaced files
// (ext4 flushes a truncated file when it is closed), which a run into a new
// output directory does not pay.
template <typename Study>
void RunStudy(benchmark::State& state, Study& study, int threads = 0, const fs::path& output = BenchOutput(),
              bool truth = true, bool localAncestry = false, AttachedWriterFactory attach = nullptr,
              bool calibrated = false, const NamedFormats& formats = {}) {
  RunOptions options = Options();
  options.calibrated = calibrated;
  options.formats = formats;
  options.threads = threads;
  if (attach) options.attachedWriters.push_back(attach);
  options.truth = truth;
  options.localAncestry = localAncestry;
  SilentHost host;
  std::uint64_t seed = options.seed;
  int iteration = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path dir = output / std::to_string(iteration++);
    fs::remove_all(dir);
    study.parameters.outputDirectory = dir.string();
    state.ResumeTiming();
    options.seed = seed++;
    const RunOutcome outcome = study.Run(options, host);
    if (outcome.status != RunOutcome::Status::kCompleted) state.SkipWithError(outcome.message.c_str());
  }
  state.counters["peak_MB"] = PeakMegabytes();
  fs::remove_all(output);
}

void BM_QualDiscreteDefault(benchmark::State& state) {
  QualStudy study;
  RunStudy(state, study);
}
// The default study without the truth files: what they cost.
void BM_QualDiscreteDefaultNoTruth(benchmark::State& state) {
  QualStudy study;
  RunStudy(state, study, 0, BenchOutput(), false);
}
// The default study evaluated as it is simulated (no principal components):
// against BM_QualDiscreteDefault, what the in-process evaluation costs.
void BM_QualDiscreteDefaultEvaluated(benchmark::State& state) {
  QualStudy study;
  EvaluationSettings settings;
  settings.principalComponents = static_cast<int>(state.range(0));
  EvaluationContext context;
  context.sampleSize = study.parameters.sampleSize;
  Evaluation evaluation(settings, context);
  RunStudy(state, study, 0, BenchOutput(), true, false, evaluation.Writers());
}
// korvane evaluate's work for one default replicate on one thread: its
// folder read back (Plink.ped, Plink.map, the truth files) and scored, with
// range(0) principal components. A thousand replicates take a thousand times
// this.
void BM_EvaluateDefaultReplicateFromFiles(benchmark::State& state) {
  const fs::path output = BenchOutput() / "evaluate";
  fs::remove_all(output);
  QualStudy study;
  study.parameters.replicateCount = 20;
  study.parameters.outputDirectory = output.string();
  SilentHost host;
  if (study.Run(Options(), host).status != RunOutcome::Status::kCompleted) {
    state.SkipWithError("the replicates could not be made");
    return;
  }
  EvaluationSettings settings;
  settings.principalComponents = static_cast<int>(state.range(0));
  int n = 0;
  for (auto _ : state) {
    const int replicate = 1 + n++ % study.parameters.replicateCount;
    const ReplicateInput input = ReadReplicateFolder(output / std::to_string(replicate), replicate);
    benchmark::DoNotOptimize(EvaluateReplicate(input, settings).lambda);
  }
  fs::remove_all(output);
}
void BM_QualContinuousDefault(benchmark::State& state) {
  QualStudy study;
  study.parameters.modelKind = ModelKind::kContinuous;
  RunStudy(state, study);
}
// The large studies: all 12867 loci.
QualStudy LargeCaseControl() {
  QualStudy study;
  study.parameters.totalLocusCount = 12867;
  study.parameters.sampleSize = 2000;
  study.parameters.prevalence = 0.05;
  return study;
}
// The same with every format of the form off: only Origin.txt is written.
QualStudy LargeCaseControlWithoutFiles() {
  QualStudy study = LargeCaseControl();
  study.parameters.writePlink = study.parameters.writeGc = study.parameters.writeEigensoft = 0;
  study.parameters.writeAdmixmap = study.parameters.writeStructureStrat = 0;
  return study;
}
QuanStudy LargeContinuousTrait(int sampleSize) {
  QuanStudy study;
  study.parameters.modelKind = ModelKind::kContinuous;
  study.parameters.totalLocusCount = 12867;
  study.parameters.sampleSize = sampleSize;
  return study;
}

void BM_QualDiscreteLarge(benchmark::State& state) {
  QualStudy study = LargeCaseControl();
  RunStudy(state, study);
}
// S5 with local ancestry tracked and LocalAncestry.bp written: against
// BM_QualDiscreteLarge, the cost of tracking it.
void BM_QualDiscreteLargeLocalAncestry(benchmark::State& state) {
  QualStudy study = LargeCaseControl();
  RunStudy(state, study, 0, BenchOutput(), true, true);
}
void BM_QuanDiscreteDefault(benchmark::State& state) {
  QuanStudy study;
  RunStudy(state, study);
}
void BM_QuanContinuousDefault(benchmark::State& state) {
  QuanStudy study;
  study.parameters.modelKind = ModelKind::kContinuous;
  RunStudy(state, study);
}
void BM_QuanContinuousLarge(benchmark::State& state) {
  QuanStudy study = LargeContinuousTrait(5000);
  RunStudy(state, study);
}

// The same with local ancestry: the admixed population's tracts are many
// more than a source pool's.
void BM_QuanContinuousLargeLocalAncestry(benchmark::State& state) {
  QuanStudy study = LargeContinuousTrait(5000);
  RunStudy(state, study, 0, BenchOutput(), true, true);
}

// The calibrated model against the specified one: the default case-control
// study (S1), the large one (S5) and a continuous trait study of 1000
// individuals at all 12867 loci, each without and with --calibrated.
void RunCalibrated(benchmark::State& state, auto& study) {
  RunStudy(state, study, 0, BenchOutput(), true, false, nullptr, state.range(0) != 0);
}
// S5's replicate (2000 x 12867, case-control) with the specified text
// formats only (the form's five, no truth files) and with the PLINK binary
// files only (--formats only=bed): what the text costs beside 2 bits a
// genotype; of the specified model (0) and of the calibrated one (1), whose
// simulation of this replicate is a third of the specified one's.
void BM_B1_QualLargeTextFormats(benchmark::State& state) {
  QualStudy study = LargeCaseControl();
  RunStudy(state, study, 0, BenchOutput(), false, false, nullptr, state.range(0) != 0);
}
void BM_B1_QualLargeOnlyBed(benchmark::State& state) {
  QualStudy study = LargeCaseControl();
  RunStudy(state, study, 0, BenchOutput(), false, false, nullptr, state.range(0) != 0, NamedFormats{{"bed"}, true});
}
void BM_C1_QualDiscreteDefault(benchmark::State& state) {
  QualStudy study;
  RunCalibrated(state, study);
}
void BM_C5_QualDiscreteLarge(benchmark::State& state) {
  QualStudy study = LargeCaseControl();
  RunCalibrated(state, study);
}
void BM_C5_QualDiscreteLargeNoFiles(benchmark::State& state) {
  QualStudy study = LargeCaseControlWithoutFiles();
  RunCalibrated(state, study);
}
void BM_CQ_QuanContinuous1000Large(benchmark::State& state) {
  QuanStudy study = LargeContinuousTrait(1000);
  RunCalibrated(state, study);
}

// Memory: 100000 individuals at 12867 loci. Only the EIGENSOFT files are
// written, the format whose genotype columns are held until the replicate
// ends (1.3 GB of output), up to the writer's memory bound and in a scratch
// file beyond it; the other formats write each individual's row as it comes.
void BM_M1_QuanContinuousHuge(benchmark::State& state) {
  QuanStudy study = LargeContinuousTrait(100000);
  study.parameters.writePlink = 0;
  study.parameters.writeGc = 0;
  RunStudy(state, study);
}

// Memory whatever the sample: a million individuals at 12867 loci, only
// the EIGENSOFT files written (12.9 GB of .geno lines, and 3.2 GB of
// genotype columns moved to a scratch file on the way), on disk. The
// columns would take 3.2 GB of memory if they were all held.
void BM_M2_QualEigensoftMillion(benchmark::State& state) {
  QualStudy study = LargeCaseControl();
  study.parameters.sampleSize = 1000000;
  study.parameters.writePlink = study.parameters.writeGc = study.parameters.writeAdmixmap = 0;
  study.parameters.writeStructureStrat = 0;
  const fs::path output = BenchDiskOutput();
  // The files, the scratch file, and 20 GB to spare for everyone else.
  const double needed = 12867.0 * 1e6 * 1.25 + 20e9;
  if (static_cast<double>(fs::space(output).available) < needed) {
    state.SkipWithError(fmt::format("needs {:.0f} GB free in {}", needed * 1e-9, output.string()).c_str());
    return;
  }
  RunStudy(state, study, 0, output);
}

// The large case-control replicate with only Origin.txt written: its time
// against BM_QualDiscreteLarge's is the share of writing the files.
void BM_QualDiscreteLargeNoFiles(benchmark::State& state) {
  QualStudy study = LargeCaseControlWithoutFiles();
  RunStudy(state, study);
}

// Reading and checking the thirty reference files, once per run.
void BM_LoadReferenceData(benchmark::State& state) {
  const RunOptions options = Options();
  WorkTeam team(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ReferenceData::Load(options.dataDir, team));
}

// 40 default case-control replicates on one worker and on two.
void BM_Qual40Replicates(benchmark::State& state) {
  QualStudy study;
  study.parameters.replicateCount = 40;
  RunStudy(state, study, static_cast<int>(state.range(0)));
}

BENCHMARK(BM_LoadReferenceData)->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QualDiscreteDefault)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QualDiscreteDefaultNoTruth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QualDiscreteDefaultEvaluated)->Arg(0)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EvaluateDefaultReplicateFromFiles)->Arg(0)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QualContinuousDefault)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QualDiscreteLarge)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_QualDiscreteLargeNoFiles)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_QualDiscreteLargeLocalAncestry)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_M1_QuanContinuousHuge)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_M2_QualEigensoftMillion)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_QuanDiscreteDefault)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuanContinuousDefault)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuanContinuousLarge)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_QuanContinuousLargeLocalAncestry)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_B1_QualLargeTextFormats)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("calibrated")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_B1_QualLargeOnlyBed)->Arg(0)->Arg(1)->ArgName("calibrated")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_C1_QualDiscreteDefault)->Arg(0)->Arg(1)->ArgName("calibrated")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_C5_QualDiscreteLarge)->Arg(0)->Arg(1)->ArgName("calibrated")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_C5_QualDiscreteLargeNoFiles)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("calibrated")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_CQ_QuanContinuous1000Large)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("calibrated")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Qual40Replicates)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
}  // namespace korvane

BENCHMARK_MAIN();
