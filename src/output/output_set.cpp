#include "output/output_set.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <utility>

#include "output/admixmap_writer.h"
#include "output/eigensoft_writer.h"
#include "output/gc_writer.h"
#include "output/origin_writer.h"
#include "output/plink_writer.h"
#include "output/structure_strat_writer.h"
#include "output/writer_support.h"

namespace korvane {
namespace {

constexpr std::size_t kLociWorthSharing = 2000;

std::vector<FormatWriter*> Present(std::initializer_list<FormatWriter*> writers) {
  std::vector<FormatWriter*> present;
  for (FormatWriter* writer : writers) {
    if (writer != nullptr) present.push_back(writer);
  }
  return present;
}

// Runs step(writer) for every writer, each on one member of the team, and
// rethrows the failure of the first writer in `order` that failed. The
// writers are handed out largest file first, so that the members finish
// together.
template <typename Step>
void OnTeam(WorkTeam& team, const std::vector<FormatWriter*>& order, const std::vector<FormatWriter*>& largestFirst,
            Step step) {
  std::array<std::exception_ptr, 8> failures;  // a set has at most six writers
  std::atomic<std::size_t> next = 0;
  team.Run(team.Size(), [&](int) {
    for (std::size_t k = next++; k < largestFirst.size(); k = next++) {
      try {
        step(*largestFirst[k]);
      } catch (...) {
        const auto at = std::find(order.begin(), order.end(), largestFirst[k]) - order.begin();
        failures[static_cast<std::size_t>(at)] = std::current_exception();
      }
    }
  });
  for (const auto& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

}  // namespace

struct OutputSet::Impl {
  std::unique_ptr<OriginWriter> origin;
  std::unique_ptr<EigensoftWriter> eigensoft;
  std::unique_ptr<AdmixmapWriter> admixmap;
  std::unique_ptr<PlinkWriter> plink;
  std::unique_ptr<StructureStratWriter> structureStrat;
  std::unique_ptr<GcWriter> gc;
  // The open writers in opening order, Origin.txt first: the order events reach them.
  std::vector<FormatWriter*> writers;
  bool closed = false;
  std::atomic<std::int64_t>* written = nullptr;
  std::function<void()> checkpoint;
  WorkTeam* team = nullptr;
  // The open writers, largest files first: ADMIXMAP's, PLINK's and GC's
  // genotype tables lead.
  std::vector<FormatWriter*> largestFirst;

  // Whether the team takes a step that every writer makes.
  bool Shared() const { return team != nullptr && team->Size() > 1; }

  template <typename Event>
  void FanOut(Event&& event) {
    for (FormatWriter* writer : writers) event(*writer);
  }
};

OutputSet::OutputSet(const std::filesystem::path& folder, const FormatSelection& formats, StudyKind study,
                     AncestryFormat ancestry, LineEnds lineEnds)
    : impl_(std::make_unique<Impl>()) {
  Impl& set = *impl_;
  // A quantitative study has no case-control formats, whatever is ticked.
  const bool qualitative = study == StudyKind::kQualitative;
  set.origin = std::make_unique<OriginWriter>(folder, ancestry, lineEnds);
  set.writers.push_back(set.origin.get());
  if (formats.eigensoft) {
    set.eigensoft = std::make_unique<EigensoftWriter>(folder, lineEnds);
    set.writers.push_back(set.eigensoft.get());
  }
  if (formats.admixmap && qualitative) {
    set.admixmap = std::make_unique<AdmixmapWriter>(folder, lineEnds);
    set.writers.push_back(set.admixmap.get());
  }
  if (formats.plink) {
    set.plink = std::make_unique<PlinkWriter>(folder, lineEnds);
    set.writers.push_back(set.plink.get());
  }
  if (formats.structureStrat && qualitative) {
    set.structureStrat = std::make_unique<StructureStratWriter>(folder, lineEnds);
    set.writers.push_back(set.structureStrat.get());
  }
  if (formats.gc) {
    set.gc = std::make_unique<GcWriter>(folder, lineEnds);
    set.writers.push_back(set.gc.get());
  }
}

// Without Close(), the writers' files are closed by their destructors,
// which report nothing.
OutputSet::~OutputSet() = default;

void OutputSet::BeginLoci() {
  impl_->FanOut([](FormatWriter& writer) { writer.BeginLoci(); });
}

void OutputSet::Locus(const MapEntry& entry) {
  impl_->FanOut([&entry](FormatWriter& writer) { writer.Locus(entry); });
}

void OutputSet::EndLoci() {
  impl_->FanOut([](FormatWriter& writer) { writer.EndLoci(); });
}

void OutputSet::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  Impl& set = *impl_;
  if (set.checkpoint) set.checkpoint();
  auto write = [&](FormatWriter& writer) { writer.Individual(individual, row); };
  // Long rows are formatted on the team, each writer by one member, so every
  // file still receives the individuals in order; short ones are not worth
  // the hand-over.
  if (set.Shared() && row.genotypes.size() >= kLociWorthSharing) {
    OnTeam(*set.team, set.writers, set.largestFirst, write);
  } else {
    set.FanOut(write);
  }
  if (set.written != nullptr) set.written->fetch_add(1, std::memory_order_relaxed);
}

void OutputSet::CountIndividuals(std::atomic<std::int64_t>& written) { impl_->written = &written; }

void OutputSet::SetCheckpoint(std::function<void()> checkpoint) {
  impl_->checkpoint = checkpoint;
  if (impl_->eigensoft) impl_->eigensoft->SetCheckpoint(std::move(checkpoint));
}

void OutputSet::ShareWith(WorkTeam& team) {
  Impl& set = *impl_;
  set.team = &team;
  set.largestFirst = Present({set.admixmap.get(), set.plink.get(), set.gc.get(), set.structureStrat.get(),
                              set.eigensoft.get(), set.origin.get()});
}

void OutputSet::Finish(const ReplicateTruth& truth) {
  Impl& set = *impl_;
  auto finish = [&truth](FormatWriter& writer) { writer.Finish(truth); };
  if (!set.Shared()) {
    set.FanOut(finish);
    return;
  }
  // A writer's Finish only touches its own files, so the order of the
  // writers does not show in them.
  OnTeam(*set.team, set.writers, set.largestFirst, finish);
}

void OutputSet::Close() {
  Impl& set = *impl_;
  if (set.closed) return;
  set.closed = true;
  const std::vector<FormatWriter*> closingOrder = Present(
      {set.origin.get(), set.structureStrat.get(), set.eigensoft.get(), set.admixmap.get(), set.plink.get(),
       set.gc.get()});
  auto close = [](FormatWriter& writer) { writer.Close(); };
  if (!set.Shared()) {
    output_detail::FirstFailure failure;
    for (FormatWriter* writer : closingOrder) failure.Run([&] { close(*writer); });
    failure.Rethrow();
    return;
  }
  // Every writer is closed whatever the others do, as in order.
  OnTeam(*set.team, closingOrder, set.largestFirst, close);
}

}  // namespace korvane
