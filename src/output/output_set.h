#pragma once

// The files of one replicate attempt and the two run-long causal-locus logs.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "output/format_registry.h"
#include "output/format_writer.h"
#include "output/output_file.h"
#include "output/study_kind.h"

namespace korvane {

// The writers of one replicate attempt, built from the rows of a format
// registry (format_registry.h): the formats that are written always and the
// chosen ones that apply to the study. Their files are created empty in
// `folder`, writer after writer in the registry's opening order; the events
// reach the writers in that order, and Close() closes them in its closing
// order. The orders are part of what a run does (a file that cannot be
// created stops the opening with the files before it made, and the first
// failure in closing order is the one reported): with this program's
// registry they are
//   opening: Origin.txt (with its header line), EIGENSOFT, ADMIXMAP, PLINK,
//            PLINK binary, STRUCTURE and STRAT, GC;
//   closing: Origin.txt, STRUCTURE and STRAT, EIGENSOFT, ADMIXMAP, PLINK,
//            PLINK binary, GC.
// When a locus-major format is written (EIGENSOFT, PLINK binary), the set
// holds one GenotypeStore for the attempt, which it fills once per
// individual and which every such writer reads in Finish: the genotypes take
// their memory once however many of these formats are chosen, within
// `genotypeMemoryBound` (beyond it they go to a scratch file in `folder`).
// Any failure throws OutputError; a chosen name that the registry does not
// have throws std::invalid_argument before any file is created.
class OutputSet {
 public:
  OutputSet(const std::filesystem::path& folder, const FormatSelection& formats, StudyKind study,
            AncestryFormat ancestry, LineEnds lineEnds, std::span<const FormatRow> registry = FormatRegistry(),
            std::size_t genotypeMemoryBound = kDefaultGenotypeMemoryBound);
  static constexpr std::size_t kDefaultGenotypeMemoryBound = std::size_t{256} << 20;
  ~OutputSet();
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  void BeginLoci();
  void Locus(const MapEntry& entry);
  void EndLoci();
  void Individual(const IndividualRecord& individual, const GenotypeRow& row);
  void Finish(const ReplicateTruth& truth);
  void Close();

  // Lets Finish and Close (and the writing of long rows) work on the team's
  // members, a writer per member at a time, handed out in the registry's
  // sharing order; the files and the failure reported are those of doing it
  // in order.
  void ShareWith(WorkTeam& team);

  // Adds a writer that a front end attaches to the replicates of a run (the
  // evaluation of each replicate as it is simulated): it comes after the
  // registry's writers in every order, before the first event.
  void Attach(std::unique_ptr<FormatWriter> writer);

  // Adds 1 to `written` for every individual written, so that another thread
  // can show how far the replicate is.
  void CountIndividuals(std::atomic<std::int64_t>& written);

  // Called before every individual is written and, through each writer's
  // SetCheckpoint, during the long closing steps of a large replicate; it
  // may throw to end the attempt (a run asked to stop), and the exception
  // passes out of the call that was under way.
  void SetCheckpoint(std::function<void()> checkpoint);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The two causal-locus logs of a run, opened for appending in the output
// directory D as D + "/" + name ("Causal_Locus_..." for a qualitative run,
// "Causal_Loci_..." for a quantitative one): `all` for PLINK, ADMIXMAP and
// EIGENSOFT positions, `stratGc` for STRAT and GC positions.
class CausalLogs {
 public:
  CausalLogs(const std::string& outputDirectory, StudyKind study, LineEnds lineEnds);

  // "Simu#  Causal locus\n" (qualitative); "Simu#  " + "QTL<k>   " per active
  // QTL + "\n" (quantitative).
  void WriteHeader(int activeQtlCount);
  // "<n>      ": the start of replicate n's line, to both logs.
  void StartLine(int replicateNumber);
  // Qualitative entries: "SNP%-3d\n" with each position.
  void CausalEntry(int positionAll, int positionCandidate);
  // Quantitative entries, one per active QTL, then "\n": "SNP%-3d " in the
  // continuous model, "SNP%d " in the discrete model.
  void QtlEntries(std::span<const int> positionsAll, std::span<const int> positionsCandidate, bool paddedFormat);
  // Ends a started line that will get no entry (a run stopped early).
  void EndLine();
  void Close();

 private:
  // Hands both logs' text to the system, so that completed lines survive an interrupted run.
  void FlushBoth();

  OutputFile all_;
  OutputFile stratGc_;
  bool qualitative_ = true;
};

}  // namespace korvane
