#pragma once

// What a run of a study needs of its host (the command line or the desktop
// form), the options of a run that are not study parameters, and how a run
// ends.

#include <cstdint>
#include <filesystem>
#include <string>

#include "output/output_file.h"

namespace korvane {

// Where a run stands, for the host's progress display.
struct RunProgress {
  int replicateNumber = 0;   // the replicate under way
  int firstReplicate = 1;    // the number of the run's first replicate
  int replicateCount = 0;    // replicates in this run
  int attempt = 0;           // attempt of the replicate under way, from 1
  int completed = 0;         // replicates completed in this run
};

// The host of a run. Refresh is called at every refresh point of the run
// (the host shows the record, its status text and the progress, and lets the
// user act); SetRunning switches between idle and running (OK and Cancel
// disabled); StopRequested ends the run at the next refresh point.
class FormHost {
 public:
  virtual ~FormHost() = default;
  virtual void Refresh(const RunProgress& progress) = 0;
  virtual void SetRunning(bool running) = 0;
  virtual bool StopRequested() const { return false; }
};

struct RunOptions {
  std::uint64_t seed = 0;              // the run seed S of AttemptSeed(S, n, a)
  std::filesystem::path dataDir = "data";
  int firstReplicate = 1;              // number the run's replicates N, N + 1, ...
  int maxAttempts = 100;               // attempts of one replicate before the run fails
  LineEnds lineEnds = LineEnds::kLf;
  // Replicates simulated at once, each by its own worker; 0 means one per
  // processor core. The files are the same whatever the number.
  int threads = 0;
};

struct RunOutcome {
  enum class Status {
    kCompleted,  // every replicate was written
    kRefused,    // parameters refused before anything was written
    kFailed,     // data, output or a bound ended the run; completed replicates stay
    kStopped,    // the host asked to stop
  };
  Status status = Status::kCompleted;
  std::string message;      // what and where, for kRefused and kFailed
  int replicatesCompleted = 0;
};

}  // namespace korvane
