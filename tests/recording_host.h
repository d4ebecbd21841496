#pragma once

// A run host for tests: records the refresh points, the running switches and
// the status texts it was shown, and can ask to stop after some refreshes.

#include <string>
#include <vector>

#include "run/study_run.h"

namespace korvane::testing {

class RecordingHost : public FormHost {
 public:
  explicit RecordingHost(const std::string* statusText = nullptr) : statusText_(statusText) {}

  void Refresh(const RunProgress& progress) override {
    ++refreshes;
    last = progress;
    if (statusText_ && (statuses.empty() || statuses.back() != *statusText_)) statuses.push_back(*statusText_);
  }
  void SetRunning(bool on) override { running.push_back(on); }
  bool StopRequested() const override { return stopAfter >= 0 && refreshes >= stopAfter; }

  int refreshes = 0;
  int stopAfter = -1;
  RunProgress last;
  std::vector<bool> running;
  std::vector<std::string> statuses;

 private:
  const std::string* statusText_;
};

}  // namespace korvane::testing
