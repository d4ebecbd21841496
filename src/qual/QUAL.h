#pragma once

// The qualitative-trait (case-control) study: its parameter record and its
// run driver. Front ends fill `parameters` through the field exchange and
// call Run; the study does the rest.

#include "qual/qual_parameters.h"
#include "run/study_run.h"

namespace korvane {

class QualStudy {
 public:
  QualParameters parameters;

  // Runs parameters.replicateCount replicates into parameters.outputDirectory.
  // Refusals (parameters under which no replicate can succeed) are reported
  // before anything is written; failures end the run with the completed
  // replicates and their log lines intact.
  RunOutcome Run(const RunOptions& options, FormHost& host);
};

}  // namespace korvane
