#pragma once

// The command line's host of a run: a progress line on standard error,
// rewritten in place at the run's refresh points, and Ctrl-C, SIGTERM and
// SIGHUP as the request to stop.

#include <chrono>
#include <cstdio>
#include <string>

#include "run/study_run.h"

namespace korvane::cli {

// "Simulation 3 is running now....... 3/10 (2 done, 2 running), 1200 of 5000
// individuals, attempt 2, 0:12 elapsed, ~0:28 left": the study's status text,
// the replicate's place in the run, the replicates done and in flight when
// several run at once, the individuals written of the replicate under way,
// the attempt after the first, the time since the run began and, once some
// work is done, the time the rest should take at the pace so far.
std::string FormatProgressLine(const std::string& statusText, const RunProgress& progress,
                               std::chrono::seconds elapsed);

// "0:07", "12:34", "1:02:03".
std::string FormatDuration(std::chrono::seconds duration);

class TerminalHost : public FormHost {
 public:
  // `statusText` is the study record's status line, read at every refresh.
  // With `showProgress` false the host draws nothing.
  TerminalHost(const std::string& statusText, std::FILE* out, bool showProgress);
  ~TerminalHost() override;
  TerminalHost(const TerminalHost&) = delete;
  TerminalHost& operator=(const TerminalHost&) = delete;

  void Refresh(const RunProgress& progress) override;
  void SetRunning(bool running) override;
  bool StopRequested() const override;
  // Prints the estimate of the bytes the run writes on standard output.
  void Announce(const RunEstimate& estimate) override;

  // Removes the progress line, if one is shown.
  void ClearLine();

  // From now on Ctrl-C (SIGINT), SIGTERM and SIGHUP ask the run to stop at
  // its next refresh point; a second one of the same kind ends the program at
  // once. Signals that the program was started to ignore stay ignored.
  static void CatchStopSignals();
  // Whether a stop signal has come since CatchStopSignals.
  static bool StopSignalled();

 private:
  using Clock = std::chrono::steady_clock;

  const std::string& statusText_;
  std::FILE* out_;
  bool showProgress_;
  Clock::time_point start_;
  Clock::time_point lastDrawn_;
  bool drawn_ = false;
  std::size_t shownWidth_ = 0;
};

}  // namespace korvane::cli
