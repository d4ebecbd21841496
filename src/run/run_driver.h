#pragma once

// The run driver shared by both studies: the causal-locus logs, the
// replicate folders, one OutputSet per replicate attempt, the retries of a
// replicate whose simulation gives up, and the host's refresh points.

#include <functional>
#include <string>
#include <vector>

#include "output/output_set.h"
#include "run/attempt.h"
#include "run/model_kind.h"
#include "run/study_run.h"

namespace korvane {

struct DriverPlan {
  StudyKind study = StudyKind::kQualitative;
  std::string outputDirectory;
  int replicateCount = 0;
  FormatSelection formats;  // the chosen formats, by name
  int activeQtlCount = 0;   // columns of a quantitative log header
  int sampleSize = 0;       // individuals of each replicate, for the progress shown
  int nullLociRequested = 0;
  int locusCount = 0;      // chosen loci of each replicate, for the estimate of the bytes written
  double missingRate = 0;  // the genotype missing rate, likewise
  // The record's status line, which the driver sets.
  std::string* statusText = nullptr;
  // The model of the next attempt (the form may change it during a run).
  std::function<ModelKind()> model;
  // One replicate attempt of the given model.
  std::function<AttemptResult(ModelKind, AttemptContext&)> simulate;
  // The causal-locus entries of a successful attempt.
  std::function<void(CausalLogs&, ModelKind, const AttemptResult&)> logEntries;
};

// Runs the plan: checks the data folder, creates the output directory and
// locks it against other runs, refuses to touch replicate folders that exist
// (unless options.overwrite), opens the logs for appending, writes their
// header and then replicate after replicate, each written in D/.n.partial and
// renamed to D/n when complete. An attempt that gives up is repeated under
// the same number, with a fresh seed, up to options.maxAttempts times. Any
// failure, of whatever kind, ends the run with a message and the logs' open
// line ended; a stop request ends it at the next refresh point.
RunOutcome RunReplicates(const DriverPlan& plan, const RunOptions& options, FormHost& host);

// The bytes a run will write, estimated from its plan and options before it
// starts.
RunEstimate EstimateRun(const DriverPlan& plan, const RunOptions& options);

// "Simulation %d is running now......."
std::string RunningStatus(int replicateNumber);

// A run refused before it started, with the reasons joined by "; ".
RunOutcome RefusedRun(const std::vector<std::string>& reasons);

}  // namespace korvane
