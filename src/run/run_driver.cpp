#include "run/run_driver.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "output/replicate_folders.h"
#include "output/truth_writer.h"
#include "random/random_generator.h"
#include "random/xoshiro.h"
#include "refdata/reference_data.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

// The message of a failure of any kind while replicate n was under way.
// Bounds (RunFailure and the like), data draws and output errors say what
// happened; the rest are faults of the program or of the machine, which end
// the run instead of writing data that may be wrong.
std::string DescribeFailure(int n, const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const DrawSpanError& e) {
    return fmt::format("replicate {}: {}", n, e.what());
  } catch (const OutputError& e) {
    return e.what();
  } catch (const std::bad_alloc&) {
    return fmt::format("replicate {}: out of memory", n);
  } catch (const std::logic_error& e) {
    return fmt::format("replicate {}: internal error: {}", n, e.what());
  } catch (const std::exception& e) {
    return fmt::format("replicate {}: {}", n, e.what());
  } catch (...) {
    return fmt::format("replicate {}: internal error of an unknown kind", n);
  }
}

// How one replicate ended.
struct ReplicateEnd {
  bool complete = false;  // its partial folder holds the whole replicate
  ModelKind model = ModelKind::kDiscrete;
  AttemptResult result;  // the successful attempt's log entries
  RunOutcome::Status failure = RunOutcome::Status::kFailed;
  std::string message;  // why it did not complete
};

// Where one worker stands, for the host's progress display.
struct WorkerSlot {
  std::atomic<int> replicate{0};  // 0: none under way
  std::atomic<int> attempt{0};
  std::atomic<std::int64_t> written{0};
};

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

// Lowers `bound` to `value` if it is above it.
void Lower(std::atomic<int>& bound, int value) {
  for (int seen = bound.load(); value < seen && !bound.compare_exchange_weak(seen, value);) {
  }
}

class ReplicateRun {
 public:
  ReplicateRun(const DriverPlan& plan, const RunOptions& options, FormHost& host)
      : plan_(plan),
        options_(options),
        host_(host),
        dir_(plan.outputDirectory),
        first_(options.firstReplicate),
        last_(options.firstReplicate + plan.replicateCount - 1),
        formats_(options.formats.Applied(plan.formats)) {
    formats_.Choose("truth", options.truth);
    formats_.Choose("local-ancestry", options.localAncestry);
    progress_.firstReplicate = first_;
    progress_.replicateCount = plan.replicateCount;
    progress_.replicateNumber = first_;
    progress_.sampleSize = plan.sampleSize;
  }

  RunOutcome Run() {
    if (!Prepare()) return Finish();
    const int workers = WorkerCount(options_, plan_.replicateCount);
    if (plan_.replicateCount > 0) {
      if (workers <= 1) {
        RunInOrder();
      } else {
        RunOnWorkers(workers);
      }
    }
    return Finish();
  }

 private:
  // Everything before the first replicate: refusals, the data, the output
  // directory, its lock and the logs. False when the run ends here.
  bool Prepare() {
    if (const std::optional<std::string> reason = Refusal()) {
      outcome_ = RefusedRun({*reason});
      return false;
    }
    if (!CheckSpace()) return false;
    // The run's threads read the data, then build the generations of a
    // replicate when there are more of them than replicate workers.
    team_.emplace(TeamSize(options_, 1));
    if (StopBeforeStart()) return false;
    try {
      data_.emplace(ReferenceData::Load(options_.dataDir, *team_));
    } catch (...) {
      Fail(std::current_exception(), [](const std::exception_ptr& e) {
        try {
          std::rethrow_exception(e);
        } catch (const DataError& data) {
          return std::string(data.what());
        } catch (const std::bad_alloc&) {
          return std::string("reading the reference data: out of memory");
        } catch (const std::exception& other) {
          return fmt::format("reading the reference data: {}", other.what());
        } catch (...) {
          return std::string("reading the reference data: internal error of an unknown kind");
        }
      });
      outcome_.dataFailed = true;
      return false;
    }
    if (StopBeforeStart()) return false;

    try {
      std::error_code ec;
      fs::create_directories(dir_, ec);
      if (ec) throw OutputError(fmt::format("{}: cannot create the folder: {}", dir_, ec.message()));
      if (!fs::is_directory(dir_, ec)) throw OutputError(fmt::format("{}: exists and is not a folder", dir_));
      lock_ = OutputDirectoryLock::TryAcquire(dir_);
      if (!lock_) {
        outcome_ = RefusedRun({fmt::format(
            "{}: another run is writing there (it holds {}/{}); wait for it to end or choose another output "
            "directory",
            dir_, dir_, OutputDirectoryLock::kFileName)});
        return false;
      }
      if (plan_.replicateCount > 0) {
        const ReplicateFolderScan scan = ScanReplicateFolders(dir_, first_, last_);
        if (scan.firstTaken != 0 && !options_.overwrite) {
          outcome_ = RefusedRun({fmt::format("{} holds a replicate already; this run would write replicates {} to {}",
                                             ReplicateFolderPath(dir_, scan.firstTaken), first_, last_)});
          outcome_.existingReplicate = scan.firstTaken;
          outcome_.nextFreeReplicate = scan.nextFree;
          return false;
        }
      }
      logs_.emplace(dir_, plan_.study, options_.lineEnds);
      if (options_.truth) truthLog_.emplace(dir_, options_.lineEnds);
      logs_->WriteHeader(plan_.activeQtlCount);
      host_.SetRunning(true);
      running_ = true;
      logs_->StartLine(first_);
      lineOpen_ = true;
    } catch (...) {
      Fail(std::current_exception());
      return false;
    }
    return true;
  }

  // Tells the host what the run expects to write and refuses it, before
  // anything is written, when that is more than the output directory's file
  // system has free (unless options.ignoreSpace). False when the run ends
  // here.
  bool CheckSpace() {
    RunEstimate estimate;
    try {
      estimate = EstimateRun(plan_, options_);
    } catch (const std::invalid_argument& e) {
      outcome_ = RefusedRun({e.what()});
      return false;
    }
    host_.Announce(estimate);
    if (options_.ignoreSpace || estimate.total == 0) return true;
    const std::optional<std::uintmax_t> free = FreeSpace(dir_);
    if (!free || estimate.total <= *free) return true;
    outcome_ = RefusedRun({fmt::format(
        "{}: the run would write about {} ({} per replicate) and its file system has {} free; free some space, "
        "choose another output directory or fewer replicates",
        dir_, ByteCount(estimate.total), ByteCount(estimate.perReplicate), ByteCount(*free))});
    outcome_.shortOfSpace = true;
    return false;
  }

  // The bytes free to this program on the file system that holds `dir`, or
  // that would hold it (its nearest existing parent); none when that cannot
  // be told.
  static std::optional<std::uintmax_t> FreeSpace(const fs::path& dir) {
    std::error_code ec;
    fs::path existing = fs::absolute(dir, ec);
    if (ec) return std::nullopt;
    while (!fs::exists(existing, ec)) {
      if (!existing.has_relative_path()) return std::nullopt;
      existing = existing.parent_path();
    }
    const fs::space_info space = fs::space(existing, ec);
    if (ec) return std::nullopt;
    return space.available;
  }

  // Values that the seeding cannot tell apart, or that no stream holds.
  std::optional<std::string> Refusal() const {
    if (plan_.outputDirectory.empty()) return "Output directory: is empty";
    if (options_.seed > kMaxRunSeed) {
      return fmt::format("seed {} is above the largest, {}", options_.seed, kMaxRunSeed);
    }
    if (options_.firstReplicate < 1 ||
        static_cast<long long>(options_.firstReplicate) + plan_.replicateCount - 1 > kMaxReplicateNumber) {
      return fmt::format(
          "replicates {} to {} cannot be numbered: replicate numbers run from 1 to {}", options_.firstReplicate,
          static_cast<long long>(options_.firstReplicate) + plan_.replicateCount - 1, kMaxReplicateNumber);
    }
    if (options_.maxAttempts < 1 || options_.maxAttempts > kMaxAttemptsPerReplicate) {
      return fmt::format("attempts per replicate: {} is outside 1 to {}", options_.maxAttempts,
                         kMaxAttemptsPerReplicate);
    }
    return std::nullopt;
  }

  bool StopBeforeStart() {
    if (!host_.StopRequested()) return false;
    outcome_.status = RunOutcome::Status::kStopped;
    outcome_.message = "stopped before the first replicate";
    return true;
  }

  void Fail(const std::exception_ptr& failure) {
    Fail(failure, [this](const std::exception_ptr& e) { return DescribeFailure(progress_.replicateNumber, e); });
  }
  template <typename Describe>
  void Fail(const std::exception_ptr& failure, Describe describe) {
    if (outcome_.status == RunOutcome::Status::kFailed) return;  // the first failure is the one reported
    outcome_.status = RunOutcome::Status::kFailed;
    outcome_.message = describe(failure);
  }

  // Runs the attempts of replicate n in `folder` until one succeeds or the
  // attempt bound is reached. Every failure ends the replicate with a
  // message; RunStopped passes through.
  // `stopCheck` throws RunStopped when the run is to stop; the writers call
  // it between individuals and between the lines of long files, so a stop
  // is answered promptly also inside a large replicate.
  ReplicateEnd SimulateReplicate(int n, const std::string& folder, RandomGenerator& gen, WorkTeam& team,
                                 const std::function<ModelKind()>& modelOf, WorkerSlot& slot,
                                 const std::function<void()>& refresh, const std::function<void()>& stopCheck) {
    ReplicateEnd end;
    try {
      for (int attempt = 1;; ++attempt) {
        slot.attempt.store(attempt);
        slot.written.store(0);
        refresh();
        const ModelKind model = modelOf();
        const WriterSettings settings{
            model == ModelKind::kDiscrete ? AncestryFormat::kSourcePool : AncestryFormat::kExact, options_.lineEnds,
            plan_.study};
        OutputSet files(folder, formats_, plan_.study, settings.ancestry, options_.lineEnds);
        for (const AttachedWriterFactory& attach : options_.attachedWriters) files.Attach(attach(n, folder, settings));
        files.ShareWith(team);
        files.CountIndividuals(slot.written);
        files.SetCheckpoint(stopCheck);
        AttemptContext ctx{gen,
                           AttemptSeed(options_.seed, static_cast<std::uint32_t>(n), attempt),
                           *data_,
                           files,
                           refresh,
                           team,
                           options_.localAncestry,
                           options_.calibrated,
                           CalibratedAttemptKey(options_.seed, static_cast<std::uint32_t>(n), attempt)};
        AttemptResult result = plan_.simulate(model, ctx);
        files.Close();
        if (result.complete) {
          end.complete = true;
          end.model = model;
          end.result = std::move(result);
          return end;
        }
        if (attempt >= options_.maxAttempts) {
          throw std::runtime_error(fmt::format("gave up after {} attempts; the last population was discarded for {}",
                                               attempt, result.reason));
        }
      }
    } catch (const RunStopped&) {
      throw;
    } catch (...) {
      end.message = DescribeFailure(n, std::current_exception());
    }
    return end;
  }

  // Renames the finished replicate n to its number and writes its log
  // entries, then starts the next replicate's line.
  void Publish(int n, const ReplicateEnd& end) {
    PublishReplicate(dir_, n, options_.overwrite);
    partials_.erase(n);
    plan_.logEntries(*logs_, end.model, end.result);
    if (truthLog_) truthLog_->Replicate(n, plan_.study, end.result.positionsAll, end.result.positionsCandidate);
    lineOpen_ = false;
    ++progress_.completed;
    outcome_.bytesWritten += FolderBytes(ReplicateFolderPath(dir_, n));
    if (plan_.sampleSize > 0 && end.result.nullLoci < plan_.nullLociRequested) {
      outcome_.fewestNullLoci = outcome_.replicatesShortOfNullLoci == 0
                                    ? end.result.nullLoci
                                    : std::min(outcome_.fewestNullLoci, end.result.nullLoci);
      ++outcome_.replicatesShortOfNullLoci;
    }
    if (n < last_) {
      logs_->StartLine(n + 1);
      lineOpen_ = true;
    }
  }

  // One replicate after the other on the host's thread, which the refresh
  // points keep responsive; the run's other threads help build each
  // generation.
  void RunInOrder() {
    RandomGenerator gen;
    WorkerSlot slot;
    auto refresh = [&] {
      progress_.attempt = slot.attempt.load();
      progress_.written = slot.written.load();
      progress_.inFlight = 1;
      progress_.replicatesDone = progress_.completed + Share(progress_.written);
      host_.Refresh(progress_);
      if (host_.StopRequested()) throw RunStopped();
    };
    auto stopCheck = [&] {
      if (host_.StopRequested()) throw RunStopped();
    };
    int n = first_;
    try {
      for (; n <= last_; ++n) {
        progress_.replicateNumber = n;
        *plan_.statusText = RunningStatus(n);
        partials_.insert(n);
        const std::string folder = StartPartialFolder(dir_, n);
        const ReplicateEnd end = SimulateReplicate(n, folder, gen, *team_, plan_.model, slot, refresh, stopCheck);
        if (!end.complete) {
          outcome_.status = end.failure;
          outcome_.message = end.message;
          interrupted_ = n;
          return;
        }
        Publish(n, end);
      }
    } catch (const RunStopped&) {
      outcome_.status = RunOutcome::Status::kStopped;
      outcome_.message = fmt::format("stopped during replicate {}", n);
      interrupted_ = n;
    } catch (...) {
      Fail(std::current_exception());
      interrupted_ = n;
    }
  }

  // The written share of one replicate.
  double Share(std::int64_t written) const {
    return plan_.sampleSize > 0 ? std::min(1.0, static_cast<double>(written) / plan_.sampleSize) : 0.0;
  }

  // Several workers, each simulating whole replicates with its own
  // generator: every attempt is seeded by AttemptSeed, so the files do not
  // depend on which worker made them. The host's thread refreshes the host,
  // publishes the model, and renames the finished replicates and writes
  // their log lines in replicate order, so that the folders and the logs are
  // those of one worker whatever happens.
  void RunOnWorkers(int workers) {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<int, ReplicateEnd> ends;  // ended and not yet published
    std::exception_ptr fatal;          // a failure outside any replicate's work
    std::atomic<int> next{first_};
    // Replicates above this number stop at their next refresh point: all of
    // them when the host asks to stop, those after a failed one otherwise, so
    // that every replicate before the failure completes as it would alone.
    std::atomic<int> cancelAbove{last_};
    std::atomic<ModelKind> model{plan_.model()};
    std::vector<WorkerSlot> slots(static_cast<std::size_t>(workers));
    const int teamSize = TeamSize(options_, workers);

    auto work = [&](WorkerSlot& slot) {
      try {
        RandomGenerator gen;
        WorkTeam helpers(teamSize);
        for (;;) {
          const int n = next.fetch_add(1);
          if (n > last_ || n > cancelAbove.load()) break;
          slot.replicate.store(n);
          auto refresh = [&] {
            if (n > cancelAbove.load(std::memory_order_relaxed)) throw RunStopped();
          };
          ReplicateEnd end;
          try {
            {
              std::lock_guard lock(mutex);
              partials_.insert(n);
            }
            const std::string folder = StartPartialFolder(dir_, n);
            end = SimulateReplicate(
                n, folder, gen, helpers, [&] { return model.load(); }, slot, refresh, refresh);
          } catch (const RunStopped&) {
            end.failure = RunOutcome::Status::kStopped;
            end.message = fmt::format("stopped during replicate {}", n);
          } catch (...) {
            end.message = DescribeFailure(n, std::current_exception());
          }
          if (!end.complete && end.failure == RunOutcome::Status::kFailed) Lower(cancelAbove, n);
          {
            std::lock_guard lock(mutex);
            ends.emplace(n, std::move(end));
            slot.replicate.store(0);
          }
          changed.notify_all();
        }
      } catch (...) {
        std::lock_guard lock(mutex);
        if (!fatal) fatal = std::current_exception();
        Lower(cancelAbove, first_ - 1);
      }
      slot.replicate.store(0);
      changed.notify_all();
    };

    // The host sees the run's first replicate before any worker can finish it.
    progress_.attempt = 1;
    *plan_.statusText = RunningStatus(first_);
    host_.Refresh(progress_);
    std::vector<std::thread> pool;
    try {
      for (WorkerSlot& slot : slots) pool.emplace_back(work, std::ref(slot));
    } catch (...) {
      Fail(std::current_exception());
      Lower(cancelAbove, first_ - 1);
    }

    int logged = first_;  // the next replicate whose folder and log line are due
    // Publishes the ended replicates that complete the run's sequence.
    auto publishInOrder = [&] {
      for (auto it = ends.find(logged); it != ends.end() && it->second.complete; it = ends.find(logged)) {
        progress_.replicateNumber = logged;
        Publish(logged, it->second);
        ends.erase(it);
        ++logged;
      }
    };
    try {
      while (outcome_.status == RunOutcome::Status::kCompleted) {
        {
          std::lock_guard lock(mutex);
          publishInOrder();
          // Done, or the next replicate in order ended without completing.
          if (logged > last_ || ends.count(logged) != 0 || fatal) break;
        }
        if (host_.StopRequested()) break;
        ShowWorkers(slots, logged);
        host_.Refresh(progress_);
        model.store(plan_.model());
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(100));
      }
    } catch (...) {
      Fail(std::current_exception());
    }
    // Whatever ended the loop ends every replicate still under way at its
    // next refresh point; those before a failed one have completed by now.
    Lower(cancelAbove, first_ - 1);
    for (std::thread& t : pool) t.join();

    if (outcome_.status == RunOutcome::Status::kCompleted && logged <= last_) {
      try {
        // Replicates that completed in order before the stop reached them.
        publishInOrder();
      } catch (...) {
        Fail(std::current_exception());
      }
    }
    if (outcome_.status == RunOutcome::Status::kCompleted && logged <= last_) {
      const auto it = ends.find(logged);
      if (it != ends.end() && it->second.failure == RunOutcome::Status::kFailed) {
        outcome_.status = RunOutcome::Status::kFailed;
        outcome_.message = it->second.message;
        interrupted_ = logged;
      } else if (fatal) {
        Fail(fatal);
      } else {
        outcome_.status = RunOutcome::Status::kStopped;
        outcome_.message = fmt::format("stopped during replicate {}", logged);
        // Every replicate a worker was writing was interrupted by the stop.
        for (const auto& [n, end] : ends) {
          if (!end.complete) stoppedAlso_.insert(n);
        }
        interrupted_ = logged;
      }
    }
  }

  // The progress of the replicate under way and of the workers.
  void ShowWorkers(const std::vector<WorkerSlot>& slots, int logged) {
    progress_.replicateNumber = logged;
    *plan_.statusText = RunningStatus(logged);
    progress_.inFlight = 0;
    progress_.replicatesDone = progress_.completed;
    progress_.attempt = 1;
    progress_.written = 0;
    for (const WorkerSlot& slot : slots) {
      const int n = slot.replicate.load();
      if (n == 0) continue;
      ++progress_.inFlight;
      const std::int64_t written = slot.written.load();
      progress_.replicatesDone += Share(written);
      if (n == logged) {
        progress_.attempt = std::max(1, slot.attempt.load());
        progress_.written = written;
      }
    }
  }

  // Ends the run: the partial folders that were not published are removed
  // (or kept when asked, if their replicate was interrupted), the logs keep
  // the lines of the completed replicates in order, and a started line
  // without an entry is ended.
  RunOutcome Finish() {
    for (const int n : partials_) {
      const bool interrupted =
          n == interrupted_ || (outcome_.status == RunOutcome::Status::kStopped && stoppedAlso_.count(n) != 0);
      if (!(options_.keepPartial && interrupted)) DiscardPartialFolder(dir_, n);
    }
    outcome_.replicatesCompleted = progress_.completed;
    try {
      if (logs_) {
        if (lineOpen_) logs_->EndLine();
        logs_->Close();
      }
      if (truthLog_) truthLog_->Close();
    } catch (...) {
      Fail(std::current_exception());
    }
    lock_.reset();
    *plan_.statusText = kIdleStatus;
    if (running_) {
      try {
        host_.Refresh(progress_);
      } catch (...) {
        Fail(std::current_exception());
      }
      host_.SetRunning(false);
    }
    return outcome_;
  }

  const DriverPlan& plan_;
  const RunOptions& options_;
  FormHost& host_;
  const std::string dir_;
  const int first_;
  const int last_;
  FormatSelection formats_;  // the plan's formats and the run's own files

  RunOutcome outcome_;
  RunProgress progress_;
  std::optional<WorkTeam> team_;
  std::optional<ReferenceData> data_;
  std::optional<OutputDirectoryLock> lock_;
  std::optional<CausalLogs> logs_;
  std::optional<TruthLociLog> truthLog_;
  bool lineOpen_ = false;  // a replicate line was started and has no entry yet
  bool running_ = false;
  std::set<int> partials_;     // partial folders created and not published
  int interrupted_ = 0;        // the replicate a stop or failure interrupted
  std::set<int> stoppedAlso_;  // other replicates a stop interrupted
};

}  // namespace

RunEstimate EstimateRun(const DriverPlan& plan, const RunOptions& options) {
  FormatSelection formats = options.formats.Applied(plan.formats);
  formats.Choose("truth", options.truth);
  formats.Choose("local-ancestry", options.localAncestry);
  const std::vector<const FormatRow*> rows = RowsWritten(FormatRegistry(), formats, plan.study);
  ReplicateShape shape;
  shape.study = plan.study;
  shape.individuals = std::max(0, plan.sampleSize);
  shape.loci = std::max(0, plan.locusCount);
  shape.nullLoci = std::clamp(plan.nullLociRequested, 0, std::max(0, plan.locusCount));
  shape.qtls = plan.activeQtlCount;
  shape.missingRate = plan.missingRate;
  shape.localAncestry = options.localAncestry;
  shape.lineEnds = options.lineEnds;
  RunEstimate estimate;
  estimate.replicates = std::max(0, plan.replicateCount);
  estimate.perReplicate = EstimatedBytes(rows, shape);
  estimate.total = estimate.perReplicate * static_cast<std::uintmax_t>(estimate.replicates);
  return estimate;
}

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
  return ReplicateRun(plan, options, host).Run();
}

}  // namespace korvane
