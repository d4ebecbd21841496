#include "output/output_set.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <utility>

#include "output/genotype_store.h"
#include "output/writer_support.h"

namespace korvane {
namespace {

constexpr std::size_t kLociWorthSharing = 2000;

// Runs step(writer) for every writer, each on one member of the team, and
// rethrows the failure of the first writer in `order` that failed. The
// writers are handed out largest file first, so that the members finish
// together.
template <typename Step>
void OnTeam(WorkTeam& team, const std::vector<FormatWriter*>& order, const std::vector<FormatWriter*>& largestFirst,
            Step step) {
  std::vector<std::exception_ptr> failures(order.size());
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
  // The genotypes the locus-major writers read; null without such a writer.
  // Declared first, so that it outlives the writers that read it.
  std::unique_ptr<GenotypeStore> genotypes;
  // The writers in opening order: the order events reach them.
  std::vector<std::unique_ptr<FormatWriter>> owned;
  std::vector<FormatWriter*> writers;
  std::vector<FormatWriter*> closingOrder;
  // The order in which the writers' work is handed to a team's members,
  // largest files first.
  std::vector<FormatWriter*> largestFirst;
  bool closed = false;
  std::atomic<std::int64_t>* written = nullptr;
  std::function<void()> checkpoint;
  WorkTeam* team = nullptr;

  // Without Close(), each writer's files are closed by its destructor, which
  // reports nothing: the last opened first.
  ~Impl() {
    while (!owned.empty()) owned.pop_back();
  }

  // Whether the team takes a step that every writer makes.
  bool Shared() const { return team != nullptr && team->Size() > 1; }

  template <typename Event>
  void FanOut(Event&& event) {
    for (FormatWriter* writer : writers) event(*writer);
  }
};

OutputSet::OutputSet(const std::filesystem::path& folder, const FormatSelection& formats, StudyKind study,
                     AncestryFormat ancestry, LineEnds lineEnds, std::span<const FormatRow> registry,
                     std::size_t genotypeMemoryBound)
    : impl_(std::make_unique<Impl>()) {
  static_assert(kDefaultGenotypeMemoryBound == GenotypeStore::kDefaultMemoryBound);
  Impl& set = *impl_;
  const std::vector<const FormatRow*> rows = RowsWritten(registry, formats, study);
  if (std::any_of(rows.begin(), rows.end(), [](const FormatRow* row) { return row->locusMajor; })) {
    const bool phased = std::any_of(rows.begin(), rows.end(), [](const FormatRow* row) { return row->phased; });
    set.genotypes = std::make_unique<GenotypeStore>(folder, genotypeMemoryBound, phased);
  }
  const WriterSettings settings{ancestry, lineEnds, study, set.genotypes.get()};
  std::map<const FormatRow*, FormatWriter*> writerOf;
  for (const FormatRow* row : OrderedBy(rows, &FormatRow::opening)) {
    set.owned.push_back(row->create(folder, settings));
    set.writers.push_back(set.owned.back().get());
    writerOf[row] = set.writers.back();
  }
  for (const FormatRow* row : OrderedBy(rows, &FormatRow::closing)) set.closingOrder.push_back(writerOf.at(row));
  for (const FormatRow* row : OrderedBy(rows, &FormatRow::sharing)) set.largestFirst.push_back(writerOf.at(row));
}

OutputSet::~OutputSet() = default;

void OutputSet::Attach(std::unique_ptr<FormatWriter> writer) {
  Impl& set = *impl_;
  FormatWriter* attached = writer.get();
  set.owned.push_back(std::move(writer));
  set.writers.push_back(attached);
  set.closingOrder.push_back(attached);
  set.largestFirst.push_back(attached);
}

void OutputSet::BeginLoci() {
  impl_->FanOut([](FormatWriter& writer) { writer.BeginLoci(); });
}

void OutputSet::Locus(const MapEntry& entry) {
  if (impl_->genotypes) impl_->genotypes->AddLocus();
  impl_->FanOut([&entry](FormatWriter& writer) { writer.Locus(entry); });
}

void OutputSet::EndLoci() {
  impl_->FanOut([](FormatWriter& writer) { writer.EndLoci(); });
}

void OutputSet::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  Impl& set = *impl_;
  if (set.checkpoint) set.checkpoint();
  if (set.genotypes) set.genotypes->Append(row.genotypes, row.ancestry);
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
  for (FormatWriter* writer : impl_->writers) writer->SetCheckpoint(checkpoint);
  impl_->checkpoint = std::move(checkpoint);
}

void OutputSet::ShareWith(WorkTeam& team) {
  impl_->team = &team;
  for (FormatWriter* writer : impl_->writers) writer->SetCompressionThreads(team.Size() - 1);
}

void OutputSet::Finish(const ReplicateTruth& truth) {
  Impl& set = *impl_;
  auto finish = [&truth](FormatWriter& writer) { writer.Finish(truth); };
  // A spilled store reads its loci a band at a time into one buffer, so its
  // readers take turns.
  if (!set.Shared() || (set.genotypes && set.genotypes->Spilled())) {
    set.FanOut(finish);
    return;
  }
  // A writer's Finish only touches its own files (a store held in memory is
  // only read), so the order of the writers does not show in them.
  OnTeam(*set.team, set.writers, set.largestFirst, finish);
}

void OutputSet::Close() {
  Impl& set = *impl_;
  if (set.closed) return;
  set.closed = true;
  auto close = [](FormatWriter& writer) { writer.Close(); };
  if (!set.Shared()) {
    output_detail::FirstFailure failure;
    for (FormatWriter* writer : set.closingOrder) failure.Run([&] { close(*writer); });
    if (set.genotypes) set.genotypes->Close();
    failure.Rethrow();
    return;
  }
  // Every writer is closed whatever the others do, as in order.
  std::exception_ptr failure;
  try {
    OnTeam(*set.team, set.closingOrder, set.largestFirst, close);
  } catch (...) {
    failure = std::current_exception();
  }
  if (set.genotypes) set.genotypes->Close();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace korvane
