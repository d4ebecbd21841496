#pragma once

// What a run of a study needs of its host (the command line or the desktop
// form), the options of a run that are not study parameters, and how a run
// ends.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "output/format_registry.h"
#include "output/output_file.h"
#include "run/model_kind.h"

namespace korvane {

// The status line of a form that is not running.
inline constexpr const char* kIdleStatus = "Press OK to start simulation.";

// Where a run stands, for the host's progress display.
struct RunProgress {
  int replicateNumber = 0;   // the replicate under way: the lowest one not yet completed
  int firstReplicate = 1;    // the number of the run's first replicate
  int replicateCount = 0;    // replicates in this run
  int attempt = 0;           // attempt of the replicate under way, from 1
  int completed = 0;         // replicates completed in this run
  int inFlight = 0;          // replicates being simulated now
  int sampleSize = 0;        // individuals of each replicate
  std::int64_t written = 0;  // individuals of the replicate under way written so far
  // Completed replicates plus the written share of those in flight: what an
  // estimate of the time left can go by.
  double replicatesDone = 0;
};

// The bytes a run is expected to write (its replicate folders; the logs in
// the output directory are small beside them).
struct RunEstimate {
  std::uintmax_t perReplicate = 0;
  std::uintmax_t total = 0;
  int replicates = 0;
};

// The host of a run. Refresh is called at every refresh point of the run
// (the host shows the record, its status text and the progress, and lets the
// user act); SetRunning switches between idle and running (OK and Cancel
// disabled); StopRequested ends the run at the next refresh point;
// Announce tells the host, before anything is written, what the run
// expects to write.
class FormHost {
 public:
  virtual ~FormHost() = default;
  virtual void Refresh(const RunProgress& progress) = 0;
  virtual void SetRunning(bool running) = 0;
  virtual bool StopRequested() const { return false; }
  virtual void Announce(const RunEstimate& /*estimate*/) {}
};

// Genotype formats chosen by their registry names (--formats): written
// besides those the study form's switches choose or, with `only`, instead of
// them; the files written always (Origin.txt, the truth files, the logs)
// stay either way. A name that does not apply to the study (ADMIXMAP in a
// quantitative study) writes nothing, as its switch would.
struct NamedFormats {
  std::vector<std::string> names{};
  bool only = false;

  bool Empty() const { return names.empty() && !only; }
  bool operator==(const NamedFormats&) const = default;
  // The formats a run writes, from those its form's switches chose.
  FormatSelection Applied(const FormatSelection& switched) const {
    FormatSelection chosen = only ? FormatSelection() : switched;
    for (const std::string& name : names) chosen.Choose(name);
    return chosen;
  }
};

struct RunOptions {
  std::uint64_t seed = 0;  // the run seed S of AttemptSeed(S, n, a)
  std::filesystem::path dataDir = "data";
  int firstReplicate = 1;  // number the run's replicates N, N + 1, ...
  int maxAttempts = 100;   // attempts of one replicate before the run fails
  LineEnds lineEnds = LineEnds::kLf;
  // Replicates simulated at once, each by its own worker; 0 means one per
  // processor core. The files are the same whatever the number.
  int threads = 0;
  // Replace replicate folders of the run's numbers that exist already; without
  // it such a run is refused before anything is written.
  bool overwrite = false;
  // Keep the folder of a replicate that a stop or failure interrupted, under
  // its partial name D/.n.partial, instead of removing it.
  bool keepPartial = false;
  // Start even when the estimate of the bytes the run writes is above the
  // free space of the output directory's file system (a run is refused
  // then, before anything is written).
  bool ignoreSpace = false;
  // Write the truth files beside the specified ones: Loci.tsv, Truth.tsv and
  // Individuals.tsv in every replicate folder, Truth_Loci.tsv in the output
  // directory.
  bool truth = true;
  // Track the ancestry of every allele (copied from a YRI or a second-
  // population reference haplotype) and write each replicate's ancestry
  // tracts; off, it costs nothing.
  bool localAncestry = false;
  // Simulate with the calibrated model (full-resolution draws, one population
  // per replicate, an exact normal residual, uniform choices of loci and
  // trait loci) instead of the specified one.
  bool calibrated = false;
  // The formats named on the command line (--formats).
  NamedFormats formats{};
  // Writers a front end attaches to every replicate attempt besides the
  // files (the evaluation of each replicate as it is simulated); each sees
  // the events of the attempt and is closed with its files.
  std::vector<AttachedWriterFactory> attachedWriters{};
};

// Every value below is one distinct stream of AttemptSeed; larger ones would
// repeat the streams of smaller ones, so runs refuse them.
inline constexpr std::uint64_t kMaxRunSeed = 0xFFFFFFFFu;  // 4294967295
inline constexpr int kMaxReplicateNumber = 0xFFFFF;        // 1048575
inline constexpr int kMaxAttemptsPerReplicate = 0x1000;    // 4096

struct RunOutcome {
  enum class Status {
    kCompleted,  // every replicate was written
    kRefused,    // parameters refused before anything was written
    kFailed,     // data, output or a bound ended the run; completed replicates stay
    kStopped,    // the host asked to stop
  };
  Status status = Status::kCompleted;
  std::string message;      // what and where, for kRefused and kFailed
  bool dataFailed = false;  // kFailed: the reference data could not be used
  int replicatesCompleted = 0;
  // A refused run whose replicate folders exist: the lowest of them, and the
  // number after the highest replicate folder of the directory.
  int existingReplicate = 0;
  int nextFreeReplicate = 0;
  // A refused run whose estimate was above the free space.
  bool shortOfSpace = false;
  std::uintmax_t bytesWritten = 0;  // the completed replicates' files
  // Replicates that got fewer null loci than asked (the routines keep what
  // they found once the causal locus or the QTLs are chosen), and the fewest.
  int replicatesShortOfNullLoci = 0;
  int fewestNullLoci = 0;
};

}  // namespace korvane
