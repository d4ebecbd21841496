#pragma once

// The quantitative-trait study: its parameter record and its run driver.

#include "quan/quan_parameters.h"
#include "run/study_run.h"

namespace korvane {

class QuanStudy {
 public:
  QuanParameters parameters;

  RunOutcome Run(const RunOptions& options, FormHost& host);
};

}  // namespace korvane
