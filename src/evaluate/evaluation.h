#pragma once

// The evaluation of a run: every replicate's tests (replicate_evaluation.h)
// gathered in replicate order, summarized over the replicates (power and
// type-I error with their intervals, genomic control, the expected power
// beside the observed), with the warnings the run's parameters call for,
// and written to RUN_DIR/evaluation/.

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "evaluate/replicate_evaluation.h"
#include "evaluate/report.h"
#include "output/format_registry.h"

namespace korvane {

// The run's parameters that the evaluation reports and checks.
struct EvaluationContext {
  StudyKind study = StudyKind::kQualitative;
  bool discreteModel = true;
  // The replicates are of the calibrated model: the report and summary.tsv
  // say so, and the warnings about the specified model's distortions are
  // left out.
  bool calibrated = false;
  std::string title;                                          // what was run, for the report
  std::vector<std::pair<std::string, std::string>> settings;  // name and value, for the report
  int sampleSize = 0;
  int totalLoci = 0, nullLoci = 0;
  double prevalence = 0, relativeRisk = 0;  // case-control
};

// "calibrated model" or "specified model": which model simulated the
// replicates, as the report, summary.tsv and the terminal name it.
std::string_view SimulationModelName(bool calibrated);

// One line of summary.tsv.
struct SummaryRow {
  std::string statistic;  // "power", "type1_error", "lambda_gc", ...
  std::string locus;      // "causal", "qtl1", ... or "" for the unlinked loci
  std::string alpha;      // "0.05", ... or ""
  double observed = 0, low = 0, high = 0;
  double expectedModel = 0, expectedNominal = 0;
  std::int64_t count = 0, trials = 0;  // the proportion's numerator and denominator, 0 when none
};

class Evaluation {
 public:
  Evaluation(EvaluationSettings settings, EvaluationContext context);

  const EvaluationSettings& Settings() const { return settings_; }
  const EvaluationContext& Context() const { return context_; }

  // Evaluates one replicate and keeps its result; callable from any thread.
  void Evaluate(const ReplicateInput& input);
  void Add(ReplicateResult result);

  // A writer factory for RunOptions::attachedWriters: each successful
  // replicate is evaluated as it is closed.
  AttachedWriterFactory Writers();

  // Forgets the replicates not in `kept` (those whose folders a stopped or
  // failed run did not complete).
  void KeepOnly(const std::vector<int>& kept);

  // The results in replicate order.
  std::vector<const ReplicateResult*> Results() const;
  std::vector<SummaryRow> Summary() const;
  // The warnings the run calls for: for replicates of the specified model,
  // its distortions that the run shows and a last line on --calibrated; none
  // about the specified model for the calibrated one.
  std::vector<std::string> Warnings() const;

  // Writes replicates.tsv, summary.tsv, report.html, results.bin (the
  // results themselves, evaluate/result_file.h) and, with keepLoci,
  // loci.tsv.gz into `folder` (created if missing); throws
  // std::runtime_error naming the file on any failure.
  void Write(const std::filesystem::path& folder) const;

  // What the report page shows.
  ReportData Report() const;

  // The summary as a table for the terminal.
  std::string SummaryText() const;

 private:
  std::vector<std::string> TraitRoles() const;
  // The specified model's known distortions that the run's parameters and
  // replicates show, each with the run's numbers.
  std::vector<std::string> SpecifiedModelWarnings(const std::vector<const ReplicateResult*>& results) const;

  EvaluationSettings settings_;
  EvaluationContext context_;
  mutable std::mutex mutex_;
  std::map<int, ReplicateResult> results_;
};

}  // namespace korvane
