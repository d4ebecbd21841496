#include "cli/evaluate_command.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <exception>
#include <fstream>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "cli/params_file.h"
#include "cli/terminal_host.h"
#include "qual/qual_fields.h"
#include "quan/quan_fields.h"
#include "quan/trait_model.h"
#include "run/run_record.h"

namespace korvane::cli {

namespace fs = std::filesystem;

namespace {

template <class Record>
std::vector<std::pair<std::string, std::string>> SettingsList(const Record& p, FieldTable<Record> table) {
  std::vector<std::pair<std::string, std::string>> settings;
  ShowFields(p, table, [&settings](std::size_t, const FieldInfo& info, const std::string& text) {
    if (info.isOption) settings.emplace_back(info.key, text);
  });
  return settings;
}

// The replicate folders of a run: the folders named by a number, in order.
std::vector<int> ReplicateFolders(const fs::path& runDir) {
  std::vector<int> numbers;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(runDir, ec)) {
    if (!entry.is_directory()) continue;
    const std::string name = entry.path().filename().string();
    int n = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), n);
    if (error == std::errc() && end == name.data() + name.size() && n > 0 && std::to_string(n) == name) {
      numbers.push_back(n);
    }
  }
  if (ec) throw std::runtime_error(fmt::format("{}: cannot be read ({})", runDir.string(), ec.message()));
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

// The parameters of the last run recorded in `record` and whether it ran
// the calibrated model (the defaults and the specified model when there is
// no record, or the record has no `calibrated`): the evaluation's
// expectations and warnings need them. A recorded value that the field
// refuses is an error naming it.
template <class Record>
struct RecordedRun {
  Record parameters;
  bool calibrated = false;
};

template <class Record>
RecordedRun<Record> RecordedParameters(const fs::path& record, std::string_view study, FieldTable<Record> table) {
  RecordedRun<Record> run;
  Record& p = run.parameters;
  if (!fs::exists(record)) return run;
  std::vector<std::string> keys;
  for (const auto& field : table) keys.push_back(field.info.key);
  const StoredRun stored = ReadStoredRun(record, study, keys);
  const TakeResult taken = TakeFields<Record>(
      p, table,
      [&stored](std::size_t, const FieldInfo& info) -> std::optional<std::string> {
        const auto it = stored.fieldTexts.find(info.key);
        if (it == stored.fieldTexts.end()) return std::nullopt;
        return it->second;
      },
      MessageLanguage::kEnglish);
  if (!taken) {
    throw std::runtime_error(
        fmt::format("{}: {}: {}", record.string(), table[taken.fieldIndex].info.key, taken.message));
  }
  if (stored.model) p.modelKind = *stored.model;
  run.calibrated = stored.calibrated.value_or(false);
  return run;
}

}  // namespace

EvaluationSettings SettingsOf(const EvaluateOptions& options, const QualParameters&, bool calibrated) {
  EvaluationSettings settings;
  settings.principalComponents = options.principalComponents;
  settings.keepLoci = options.keepLoci;
  settings.model.calibrated = calibrated;
  return settings;
}

EvaluationSettings SettingsOf(const EvaluateOptions& options, const QuanParameters& p, bool calibrated) {
  EvaluationSettings settings;
  settings.principalComponents = options.principalComponents;
  settings.keepLoci = options.keepLoci;
  settings.model.phenotypeVariance = p.phenotypeVariance;
  // The specified model leaves the residual 1 minus all five shares, ticked
  // or not; the calibrated model what the ticked QTLs and the
  // stratification leave.
  settings.model.residualShare = calibrated ? CalibratedResidualShare(p) : ResidualVarianceShare(p);
  settings.model.calibrated = calibrated;
  return settings;
}

namespace {

// What both studies' contexts hold.
template <class Record>
EvaluationContext CommonContext(const Record& p, FieldTable<Record> table, StudyKind study, std::string_view name,
                                bool calibrated) {
  EvaluationContext context;
  context.study = study;
  context.discreteModel = p.modelKind == ModelKind::kDiscrete;
  context.calibrated = calibrated;
  context.title = fmt::format("{} study, {}, {} population model: replicates of {} individuals at {} loci", name,
                              SimulationModelName(calibrated), ModelName(p.modelKind), p.sampleSize, p.totalLocusCount);
  context.settings = SettingsList(p, table);
  context.settings.emplace(context.settings.begin(), "model", std::string(ModelName(p.modelKind)));
  context.sampleSize = p.sampleSize;
  context.totalLoci = p.totalLocusCount;
  context.nullLoci = p.nullLocusCount;
  return context;
}

}  // namespace

EvaluationContext ContextOf(const QualParameters& p, bool calibrated) {
  EvaluationContext context = CommonContext(p, QualFields(), StudyKind::kQualitative, "Case-control", calibrated);
  context.prevalence = p.prevalence;
  context.relativeRisk = p.relativeRisk;
  return context;
}

EvaluationContext ContextOf(const QuanParameters& p, bool calibrated) {
  return CommonContext(p, QuanFields(), StudyKind::kQuantitative, "Quantitative", calibrated);
}

void PrintEvaluation(const Evaluation& evaluation, const fs::path& folder) {
  fmt::print("\n{}", evaluation.SummaryText());
  for (const std::string& warning : evaluation.Warnings()) fmt::print(stderr, "korvane: warning: {}\n", warning);
  fmt::print("evaluation in {}\n", fs::absolute(folder).lexically_normal().string());
}

std::pair<EvaluationSettings, EvaluationContext> RecordedEvaluation(const fs::path& record, bool qualitative,
                                                                    const EvaluateOptions& options) {
  if (qualitative) {
    const auto run = RecordedParameters<QualParameters>(record, "qual", QualFields());
    return {SettingsOf(options, run.parameters, run.calibrated), ContextOf(run.parameters, run.calibrated)};
  }
  const auto run = RecordedParameters<QuanParameters>(record, "quan", QuanFields());
  return {SettingsOf(options, run.parameters, run.calibrated), ContextOf(run.parameters, run.calibrated)};
}

void WriteCombinedEvaluation(const fs::path& runDir, bool qualitative, std::vector<ResultFile> parts, bool quiet) {
  if (parts.empty()) return;
  EvaluateOptions options;
  options.principalComponents = parts.front().principalComponents;
  options.keepLoci = parts.front().keepLoci;
  const auto [settings, context] = RecordedEvaluation(runDir / kRunRecordFile, qualitative, options);
  Evaluation evaluation(settings, context);
  for (ResultFile& part : parts) {
    for (ReplicateResult& result : part.results) evaluation.Add(std::move(result));
  }
  const fs::path folder = runDir / "evaluation";
  evaluation.Write(folder);
  if (!quiet) PrintEvaluation(evaluation, folder);
}

int EvaluateRun(const fs::path& runDir, const EvaluateOptions& options, int threads, bool quiet) {
  std::vector<int> replicates;
  try {
    replicates = ReplicateFolders(runDir);
  } catch (const std::exception& e) {
    fmt::print(stderr, "korvane: {}\n", e.what());
    return 2;
  }
  if (replicates.empty()) {
    fmt::print(stderr, "korvane: {}: no replicate folders (1, 2, ...) to evaluate\n", runDir.string());
    return 2;
  }

  // The run's parameters, from its record: the study is the one the truth
  // files of the first replicate belong to.
  const bool qualitative = fs::exists(runDir / std::to_string(replicates.front()) / "Individuals.tsv") && [&] {
    std::ifstream in(runDir / std::to_string(replicates.front()) / "Individuals.tsv");
    std::string header;
    std::getline(in, header);
    return header.find("\tstatus\t") != std::string::npos;
  }();
  EvaluationSettings settings;
  EvaluationContext context;
  const fs::path record = runDir / kRunRecordFile;
  try {
    std::tie(settings, context) = RecordedEvaluation(record, qualitative, options);
  } catch (const std::exception& e) {
    fmt::print(stderr, "korvane: {}\n", e.what());
    return 2;
  }
  if (!fs::exists(record)) {
    fmt::print(stderr,
               "korvane: note: {} has no {}; the evaluation takes the default parameters and the specified model for "
               "its warnings\n",
               runDir.string(), kRunRecordFile);
  }

  // The replicates, on as many threads as asked; the results are kept by
  // replicate number, so they are the same for any number of threads.
  Evaluation evaluation(settings, context);
  const int workers =
      std::max(1, std::min<int>(threads > 0 ? threads : static_cast<int>(std::thread::hardware_concurrency()),
                                static_cast<int>(replicates.size())));
  std::atomic<std::size_t> next{0}, done{0};
  std::mutex failure;
  std::string firstFailure;
  std::size_t failedAt = replicates.size();
  const bool progress = !quiet && ::isatty(STDERR_FILENO) == 1;
  auto work = [&] {
    for (;;) {
      if (TerminalHost::StopSignalled()) return;
      const std::size_t k = next.fetch_add(1);
      if (k >= replicates.size()) return;
      try {
        evaluation.Evaluate(ReadReplicateFolder(runDir / std::to_string(replicates[k]), replicates[k]));
      } catch (const std::exception& e) {
        const std::lock_guard lock(failure);
        if (k < failedAt) {
          failedAt = k;
          firstFailure = fmt::format("replicate {}: {}", replicates[k], e.what());
        }
      }
      const std::size_t finished = done.fetch_add(1) + 1;
      if (progress && (finished % 10 == 0 || finished == replicates.size())) {
        const std::lock_guard lock(failure);
        fmt::print(stderr, "\revaluated {} of {} replicates", finished, replicates.size());
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < workers; ++t) pool.emplace_back(work);
  work();
  for (std::thread& thread : pool) thread.join();
  if (progress) fmt::print(stderr, "\n");
  if (TerminalHost::StopSignalled()) {
    fmt::print(stderr, "korvane: stopped after {} of {} replicates; nothing was written\n", done.load(),
               replicates.size());
    return 130;
  }
  if (!firstFailure.empty()) {
    fmt::print(stderr, "korvane: {}\n", firstFailure);
    return 1;
  }
  const fs::path folder = runDir / "evaluation";
  try {
    evaluation.Write(folder);
  } catch (const std::exception& e) {
    fmt::print(stderr, "korvane: {}\n", e.what());
    return 1;
  }
  PrintEvaluation(evaluation, folder);
  return 0;
}

}  // namespace korvane::cli
