#pragma once

// The evaluation from the command line: `korvane evaluate RUN_DIR` over the
// replicate folders of a run, and `--evaluate` of a study run, which
// evaluates each replicate as it is simulated.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "evaluate/evaluation.h"
#include "evaluate/result_file.h"
#include "qual/qual_parameters.h"
#include "quan/quan_parameters.h"

namespace korvane::cli {

// What `--evaluate`, `--evaluate-pcs` and `--evaluate-loci` ask.
struct EvaluateOptions {
  bool enabled = false;
  int principalComponents = 10;
  bool keepLoci = false;
};

// The evaluation's settings and context of a run of `p`; `calibrated` when
// the replicates are of the calibrated model (RunOptions::calibrated, or the
// run record's `calibrated`).
EvaluationSettings SettingsOf(const EvaluateOptions& options, const QualParameters& p, bool calibrated = false);
EvaluationSettings SettingsOf(const EvaluateOptions& options, const QuanParameters& p, bool calibrated = false);
EvaluationContext ContextOf(const QualParameters& p, bool calibrated = false);
EvaluationContext ContextOf(const QuanParameters& p, bool calibrated = false);

// `korvane evaluate RUN_DIR`: evaluates every replicate folder of the run on
// `threads` threads (0: one per core), writes RUN_DIR/evaluation/ and prints
// the summary. Returns the exit status: 0, 1 when a replicate cannot be
// read or the results cannot be written, 2 when RUN_DIR holds no replicate.
int EvaluateRun(const std::filesystem::path& runDir, const EvaluateOptions& options, int threads, bool quiet);

// The evaluation's settings (as `options` ask) and context of the run whose
// record is `record` (the defaults and the specified model without one);
// throws std::runtime_error naming a recorded value the fields refuse.
std::pair<EvaluationSettings, EvaluationContext> RecordedEvaluation(const std::filesystem::path& record,
                                                                    bool qualitative, const EvaluateOptions& options);

// Writes RUN_DIR/evaluation/ from the results of evaluations of parts of
// the run (the shards merged into it, each evaluated with --evaluate), with
// the settings of the first part and the run's record, and prints its
// summary unless `quiet`: what evaluating the whole run writes. Throws
// std::runtime_error naming the file that cannot be written.
void WriteCombinedEvaluation(const std::filesystem::path& runDir, bool qualitative, std::vector<ResultFile> parts,
                             bool quiet);

// Prints the summary and the warnings of an evaluation written to `folder`.
void PrintEvaluation(const Evaluation& evaluation, const std::filesystem::path& folder);

}  // namespace korvane::cli
