#include "qual/run_driver.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

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

// How one replicate ended.
struct ReplicateEnd {
  bool done = false;       // finished, one way or the other
  bool complete = false;   // its files hold the whole replicate
  ModelKind model = ModelKind::kDiscrete;
  AttemptResult result;    // the successful attempt's log entries
  RunOutcome::Status failure = RunOutcome::Status::kFailed;
  std::string message;     // why it did not complete
};

// Runs the attempts of replicate n until one succeeds or the attempt bound
// is reached. Bounds, data-draw errors and output errors end the replicate
// with a message; RunStopped passes through.
ReplicateEnd SimulateReplicate(const DriverPlan& plan, const RunOptions& options, const ReferenceData& data, int n,
                               RandomGenerator& gen, WorkTeam& team, const std::function<ModelKind()>& modelOf,
                               const std::function<void(int attempt)>& startAttempt,
                               const std::function<void()>& refresh) {
  ReplicateEnd end;
  try {
    for (int attempt = 1;; ++attempt) {
      startAttempt(attempt);
      const ModelKind model = modelOf();
      OutputSet files(ReplicateFolder(plan.outputDirectory, n), plan.formats, plan.study,
                      model == ModelKind::kDiscrete ? AncestryFormat::kSourcePool : AncestryFormat::kExact,
                      options.lineEnds);
      files.ShareWith(team);
      AttemptContext ctx{
          gen, AttemptSeed(options.seed, static_cast<std::uint32_t>(n), attempt), data, files, refresh, team};
      AttemptResult result = plan.simulate(model, ctx);
      files.Close();
      if (result.complete) {
        end.done = end.complete = true;
        end.model = model;
        end.result = std::move(result);
        return end;
      }
      if (attempt >= options.maxAttempts) {
        throw RunFailure(fmt::format("gave up after {} attempts; the last population was discarded for {}",
                                     attempt, result.reason));
      }
    }
  } catch (const RunFailure& e) {
    end.message = fmt::format("replicate {}: {}", n, e.what());
  } catch (const DrawSpanError& e) {
    end.message = fmt::format("replicate {}: {}", n, e.what());
  } catch (const OutputError& e) {
    end.message = e.what();
  } catch (const std::logic_error& e) {
    // A fault of the program, not of the parameters: the run ends with it
    // instead of writing data that may be wrong.
    end.message = fmt::format("replicate {}: internal error: {}", n, e.what());
  }
  end.done = true;
  return end;
}

int Cores() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

// The threads a run may use: as asked, or one per core.
int ThreadCount(const RunOptions& options) { return options.threads > 0 ? options.threads : Cores(); }

// Replicates simulated at once: one per thread, as many as there are.
int WorkerCount(const RunOptions& options, int replicates) {
  return std::max(1, std::min(ThreadCount(options), replicates));
}

// The threads that share the work of one stage (reading the data, a
// generation, an individual's files): never more than the cores, beyond
// which the members would only wait for each other.
int TeamSize(const RunOptions& options, int workers) {
  return std::max(1, std::min(ThreadCount(options), Cores()) / workers);
}

}  // namespace

std::string RunningStatus(int replicateNumber) {
  return fmt::format("Simulation {} is running now.......", replicateNumber);
}

RunOutcome RefusedRun(const std::vector<std::string>& reasons) {
  RunOutcome outcome;
  outcome.status = RunOutcome::Status::kRefused;
  outcome.message = fmt::format("{}", fmt::join(reasons, "; "));
  return outcome;
}

RunOutcome RunReplicates(const DriverPlan& plan, const RunOptions& options, FormHost& host) {
  RunOutcome outcome;
  if (plan.outputDirectory.empty()) return RefusedRun({"Output directory: is empty"});
  // The run's threads: they read the data, then build the generations of a
  // replicate when there are more of them than replicate workers.
  WorkTeam team(TeamSize(options, 1));
  // The data folder is checked before anything is written.
  std::optional<ReferenceData> data;
  try {
    data = ReferenceData::Load(options.dataDir, team);
  } catch (const DataError& e) {
    outcome.status = RunOutcome::Status::kFailed;
    outcome.message = e.what();
    return outcome;
  }

  RunProgress progress;
  progress.firstReplicate = options.firstReplicate;
  progress.replicateCount = plan.replicateCount;
  progress.replicateNumber = options.firstReplicate;
  const int first = options.firstReplicate;
  const int last = first + plan.replicateCount - 1;

  std::optional<CausalLogs> logs;
  bool lineOpen = false;  // a replicate line was started and has no entry yet
  bool running = false;
  // Ends the run: the logs keep the lines of the completed replicates in
  // order, and a started line without an entry is ended.
  auto finish = [&]() {
    outcome.replicatesCompleted = progress.completed;
    try {
      if (logs) {
        if (lineOpen && outcome.status != RunOutcome::Status::kCompleted) logs->EndLine();
        logs->Close();
      }
    } catch (const OutputError& e) {
      if (outcome.status != RunOutcome::Status::kFailed) {
        outcome.status = RunOutcome::Status::kFailed;
        outcome.message = e.what();
      }
    }
    *plan.statusText = kIdleStatus;
    if (running) {
      host.Refresh(progress);
      host.SetRunning(false);
    }
    return outcome;
  };
  // Writes the log entries of replicate n and starts the next line.
  auto logCompleted = [&](int n, const ReplicateEnd& end) {
    plan.logEntries(*logs, end.model, end.result);
    lineOpen = false;
    ++progress.completed;
    if (n < last) {
      logs->StartLine(n + 1);
      lineOpen = true;
    }
  };

  try {
    CreateFolder(plan.outputDirectory, true);
    logs.emplace(plan.outputDirectory, plan.study, options.lineEnds);
    logs->WriteHeader(plan.activeQtlCount);
    host.SetRunning(true);
    running = true;
    logs->StartLine(first);
    lineOpen = true;
    CreateFolder(ReplicateFolder(plan.outputDirectory, first), false);
  } catch (const OutputError& e) {
    outcome.status = RunOutcome::Status::kFailed;
    outcome.message = e.what();
    return finish();
  }

  const int workers = WorkerCount(options, plan.replicateCount);
  if (workers <= 1) {
    // One replicate after the other on the host's thread, which the refresh
    // points keep responsive; the run's other threads help build each
    // generation.
    RandomGenerator gen;
    auto refresh = [&] {
      host.Refresh(progress);
      if (host.StopRequested()) throw RunStopped();
    };
    try {
      for (int n = first; n <= last; ++n) {
        if (n > first) CreateFolder(ReplicateFolder(plan.outputDirectory, n), false);
        progress.replicateNumber = n;
        const ReplicateEnd end = SimulateReplicate(
            plan, options, *data, n, gen, team, plan.model,
            [&](int attempt) {
              progress.attempt = attempt;
              *plan.statusText = RunningStatus(n);
              refresh();
            },
            refresh);
        if (!end.complete) {
          outcome.status = end.failure;
          outcome.message = end.message;
          return finish();
        }
        logCompleted(n, end);
      }
    } catch (const RunStopped&) {
      outcome.status = RunOutcome::Status::kStopped;
      outcome.message = fmt::format("stopped during replicate {}", progress.replicateNumber);
    } catch (const OutputError& e) {
      outcome.status = RunOutcome::Status::kFailed;
      outcome.message = e.what();
    }
    return finish();
  }

  // Several workers, each simulating whole replicates with its own
  // generator: every attempt is seeded by AttemptSeed, so the files do not
  // depend on which worker made them. The host's thread refreshes the host,
  // publishes the model and writes the log lines in replicate order.
  std::vector<ReplicateEnd> ends(plan.replicateCount);
  std::vector<std::atomic<int>> attempts(plan.replicateCount);
  std::atomic<int> next{first};
  // Replicates above this number stop at their next refresh point: all of
  // them when the host asks to stop, those after a failed one otherwise, so
  // that every replicate before the failure completes as it would alone.
  std::atomic<int> cancelAbove{last};
  std::atomic<ModelKind> model{plan.model()};
  std::mutex mutex;
  std::condition_variable changed;
  auto lower = [](std::atomic<int>& bound, int value) {
    for (int seen = bound.load(); value < seen && !bound.compare_exchange_weak(seen, value);) {
    }
  };

  // Threads beyond one per worker help build the generations.
  const int teamSize = TeamSize(options, workers);
  auto work = [&] {
    RandomGenerator gen;
    WorkTeam helpers(teamSize);
    for (;;) {
      const int n = next.fetch_add(1);
      if (n > cancelAbove.load()) return;
      auto refresh = [&] {
        if (n > cancelAbove.load(std::memory_order_relaxed)) throw RunStopped();
      };
      ReplicateEnd end;
      try {
        CreateFolder(ReplicateFolder(plan.outputDirectory, n), false);
        end = SimulateReplicate(
            plan, options, *data, n, gen, helpers, [&] { return model.load(); },
            [&](int attempt) {
              attempts[n - first].store(attempt);
              refresh();
            },
            refresh);
      } catch (const RunStopped&) {
        end.done = true;
        end.failure = RunOutcome::Status::kStopped;
        end.message = fmt::format("stopped during replicate {}", n);
      } catch (const OutputError& e) {
        end.done = true;
        end.message = e.what();
      }
      if (!end.complete && end.failure == RunOutcome::Status::kFailed) lower(cancelAbove, n);
      {
        std::lock_guard lock(mutex);
        ends[n - first] = std::move(end);
      }
      changed.notify_all();
    }
  };

  // The host sees the run's first replicate before any worker can finish it.
  progress.attempt = 1;
  *plan.statusText = RunningStatus(first);
  host.Refresh(progress);
  std::vector<std::thread> pool;
  for (int w = 0; w < workers; ++w) pool.emplace_back(work);

  int logged = first;  // the next replicate whose log line is due
  auto logInOrder = [&] {
    while (logged <= last && ends[logged - first].done && ends[logged - first].complete) {
      logCompleted(logged, ends[logged - first]);
      ++logged;
    }
  };
  try {
    for (;;) {
      {
        std::lock_guard lock(mutex);
        logInOrder();
        // Done, or the next replicate in order ended without completing.
        if (logged > last || ends[logged - first].done) break;
      }
      progress.replicateNumber = logged;
      progress.attempt = std::max(1, attempts[logged - first].load());
      *plan.statusText = RunningStatus(logged);
      host.Refresh(progress);
      model.store(plan.model());
      if (host.StopRequested()) lower(cancelAbove, first - 1);
      std::unique_lock lock(mutex);
      changed.wait_for(lock, std::chrono::milliseconds(100));
    }
  } catch (const OutputError& e) {
    outcome.status = RunOutcome::Status::kFailed;
    outcome.message = e.what();
    lower(cancelAbove, first - 1);
  }
  for (std::thread& t : pool) t.join();

  try {
    logInOrder();
  } catch (const OutputError& e) {
    outcome.status = RunOutcome::Status::kFailed;
    outcome.message = e.what();
  }
  if (logged <= last && outcome.status == RunOutcome::Status::kCompleted) {
    // The first replicate that failed says why; otherwise the run was stopped.
    const auto failed = std::find_if(ends.begin(), ends.end(), [](const ReplicateEnd& e) {
      return e.done && !e.complete && e.failure == RunOutcome::Status::kFailed;
    });
    outcome.status = failed != ends.end() ? RunOutcome::Status::kFailed : RunOutcome::Status::kStopped;
    outcome.message = failed != ends.end() ? failed->message : fmt::format("stopped during replicate {}", logged);
  }
  return finish();
}

}  // namespace korvane
