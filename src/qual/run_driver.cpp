#include "qual/run_driver.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "random/random_generator.h"
#include "refdata/reference_data.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

void CreateFolder(const std::string& path, bool withParents) {
  std::error_code ec;
  if (withParents) {
    fs::create_directories(path, ec);
  } else {
    fs::create_directory(path, ec);
  }
  if (ec) throw OutputError(fmt::format("{}: cannot create the folder: {}", path, ec.message()));
  if (!fs::is_directory(path, ec)) throw OutputError(fmt::format("{}: exists and is not a folder", path));
}

std::string ReplicateFolder(const std::string& outputDirectory, int n) {
  return fmt::format("{}/{}", outputDirectory, n);
}

}  // namespace

std::string RunningStatus(int replicateNumber) {
  return fmt::format("Simulation {} is running now.......", replicateNumber);
}

RunOutcome RunReplicates(const DriverPlan& plan, const RunOptions& options, FormHost& host) {
  RunOutcome outcome;
  if (plan.outputDirectory.empty()) {
    outcome.status = RunOutcome::Status::kRefused;
    outcome.message = "Output directory: is empty";
    return outcome;
  }
  // The data folder is checked before anything is written.
  std::optional<ReferenceData> data;
  try {
    data = ReferenceData::Load(options.dataDir);
  } catch (const DataError& e) {
    outcome.status = RunOutcome::Status::kFailed;
    outcome.message = e.what();
    return outcome;
  }

  RunProgress progress;
  progress.firstReplicate = options.firstReplicate;
  progress.replicateCount = plan.replicateCount;
  progress.replicateNumber = options.firstReplicate;
  auto refresh = [&] {
    host.Refresh(progress);
    if (host.StopRequested()) throw RunStopped();
  };

  std::optional<CausalLogs> logs;
  bool lineOpen = false;  // a replicate line was started and has no entry yet
  bool running = false;
  const int last = options.firstReplicate + plan.replicateCount - 1;
  int n = options.firstReplicate;
  RandomGenerator gen;
  try {
    CreateFolder(plan.outputDirectory, true);
    logs.emplace(plan.outputDirectory, plan.study, options.lineEnds);
    logs->WriteHeader(plan.activeQtlCount);
    host.SetRunning(true);
    running = true;
    logs->StartLine(n);
    lineOpen = true;
    CreateFolder(ReplicateFolder(plan.outputDirectory, n), false);
    int attempt = 0;
    while (n <= last) {
      ++attempt;
      progress.replicateNumber = n;
      progress.attempt = attempt;
      *plan.statusText = RunningStatus(n);
      refresh();
      const ModelKind model = plan.model();
      OutputSet files(ReplicateFolder(plan.outputDirectory, n), plan.formats, plan.study,
                      model == ModelKind::kDiscrete ? AncestryFormat::kSourcePool : AncestryFormat::kExact,
                      options.lineEnds);
      AttemptContext ctx{gen, AttemptSeed(options.seed, static_cast<std::uint32_t>(n), attempt), *data, files,
                         refresh};
      AttemptResult result = plan.simulate(model, ctx);
      if (result.complete) {
        plan.logEntries(*logs, model, result);
        lineOpen = false;
        ++n;
        ++progress.completed;
        attempt = 0;
        if (n <= last) {
          logs->StartLine(n);
          lineOpen = true;
          CreateFolder(ReplicateFolder(plan.outputDirectory, n), false);
        }
      }
      files.Close();
      if (!result.complete && attempt >= options.maxAttempts) {
        throw RunFailure(fmt::format("gave up after {} attempts; the last population was discarded for {}",
                                     attempt, result.reason));
      }
    }
    outcome.replicatesCompleted = progress.completed;
    *plan.statusText = kIdleStatus;
    host.Refresh(progress);
    host.SetRunning(false);
    running = false;
    logs->Close();
    return outcome;
  } catch (const RunStopped&) {
    outcome.status = RunOutcome::Status::kStopped;
    outcome.message = fmt::format("stopped during replicate {}", n);
  } catch (const RunFailure& e) {
    outcome.status = RunOutcome::Status::kFailed;
    outcome.message = fmt::format("replicate {}: {}", n, e.what());
  } catch (const DrawSpanError& e) {
    outcome.status = RunOutcome::Status::kFailed;
    outcome.message = fmt::format("replicate {}: {}", n, e.what());
  } catch (const OutputError& e) {
    outcome.status = RunOutcome::Status::kFailed;
    outcome.message = e.what();
  }
  // A run that ends early keeps its completed replicates and their log lines;
  // a started line without an entry is ended so the logs stay line-aligned.
  outcome.replicatesCompleted = progress.completed;
  try {
    if (logs) {
      if (lineOpen) logs->EndLine();
      logs->Close();
    }
  } catch (const OutputError& e) {
    if (outcome.status != RunOutcome::Status::kFailed) {
      outcome.status = RunOutcome::Status::kFailed;
      outcome.message = e.what();
    }
  }
  *plan.statusText = kIdleStatus;
  if (running) host.SetRunning(false);
  return outcome;
}

}  // namespace korvane
