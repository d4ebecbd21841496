#include "output/output_set.h"

#include <utility>

#include "output/admixmap_writer.h"
#include "output/eigensoft_writer.h"
#include "output/gc_writer.h"
#include "output/origin_writer.h"
#include "output/plink_writer.h"
#include "output/structure_strat_writer.h"
#include "output/writer_support.h"

namespace korvane {

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
  impl_->FanOut([&](FormatWriter& writer) { writer.Individual(individual, row); });
}

void OutputSet::Finish(const ReplicateTruth& truth) {
  impl_->FanOut([&truth](FormatWriter& writer) { writer.Finish(truth); });
}

void OutputSet::Close() {
  Impl& set = *impl_;
  if (set.closed) return;
  set.closed = true;
  FormatWriter* const closingOrder[] = {set.origin.get(), set.structureStrat.get(), set.eigensoft.get(),
                                        set.admixmap.get(), set.plink.get(), set.gc.get()};
  output_detail::FirstFailure failure;
  for (FormatWriter* writer : closingOrder) {
    if (writer != nullptr) failure.Run([writer] { writer->Close(); });
  }
  failure.Rethrow();
}

}  // namespace korvane
