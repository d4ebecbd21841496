#include "output/eigensoft_writer.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace korvane {

using namespace output_detail;

namespace {

// The status column of Eigensoft_Pca.ind.
const char* IndLabel(Affection affection) { return affection == Affection::kAffected ? "Case" : "Control"; }
// The phenotype of Eigensoft.phen: 1 for a case, 0 for a control.
int PhenCode(Affection affection) { return affection == Affection::kAffected ? 1 : 0; }

}  // namespace

EigensoftWriter::EigensoftWriter(const std::filesystem::path& folder, LineEnds lineEnds, std::size_t memoryBound)
    : EigensoftWriter(folder, lineEnds, std::make_unique<GenotypeStore>(folder, memoryBound), nullptr) {}

EigensoftWriter::EigensoftWriter(const std::filesystem::path& folder, LineEnds lineEnds, GenotypeStore& shared)
    : EigensoftWriter(folder, lineEnds, nullptr, &shared) {}

EigensoftWriter::EigensoftWriter(const std::filesystem::path& folder, LineEnds lineEnds,
                                 std::unique_ptr<GenotypeStore> own, GenotypeStore* shared)
    : snp_(CreateIn(folder, "Eigensoft_Pca.snp", lineEnds)),
      phen_(CreateIn(folder, "Eigensoft.phen", lineEnds)),
      pcaGeno_(CreateIn(folder, "Eigensoft_Pca.geno", lineEnds)),
      stratGeno_(CreateIn(folder, "Eigensoft_Strat.geno", lineEnds)),
      ind_(CreateIn(folder, "Eigensoft_Pca.ind", lineEnds)),
      own_(std::move(own)),
      store_(shared != nullptr ? shared : own_.get()) {}

void EigensoftWriter::Locus(const MapEntry& entry) {
  if (individualCount_ != 0) throw std::logic_error("EIGENSOFT: a locus after the first individual");
  entries_.push_back(entry);
  if (own_) own_->AddLocus();
}

void EigensoftWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  if (own_) own_->Append(row.genotypes);
  ++individualCount_;

  AppendInt(line_, individual.id);
  Append(line_, individual.sex == Sex::kFemale ? " F " : " M ");
  if (individual.phenotype) {
    Append(line_, "Null");
  } else {
    Append(line_, IndLabel(individual.CaseOrControl()));
  }
  Append(line_, "\n");
  WriteOut(ind_, line_);

  if (individual.phenotype) {
    AppendFixed2(line_, *individual.phenotype);
    Append(line_, "\n");
  } else {
    // One character per individual and no line end: the file is one line.
    AppendInt(line_, PhenCode(individual.CaseOrControl()));
  }
  WriteOut(phen_, line_);
}

void EigensoftWriter::Finish(const ReplicateTruth& truth) {
  const std::vector<bool> causal = CausalFlags(truth);
  WriteGenotypes(causal);
  WriteLoci(causal);
}

std::vector<bool> EigensoftWriter::CausalFlags(const ReplicateTruth& truth) const {
  const std::size_t locusCount = store_->LocusCount();
  std::vector<bool> causal(locusCount, false);
  for (int position : truth.causalPositionsAll) {
    if (position == 0) continue;
    if (position < 0 || static_cast<std::size_t>(position) > locusCount) {
      throw std::invalid_argument(
          fmt::format("EIGENSOFT: causal position {} outside the replicate's {} loci", position, locusCount));
    }
    causal[static_cast<std::size_t>(position - 1)] = true;
  }
  return causal;
}

void EigensoftWriter::WriteGenotypes(const std::vector<bool>& causal) {
  const std::size_t individuals = store_->IndividualCount();
  if (individuals != individualCount_) {
    throw std::logic_error(
        fmt::format("EIGENSOFT: {} individuals written but {} in the genotype store", individualCount_, individuals));
  }
  // A checkpoint every so many bytes of text, so that a stop request is
  // answered promptly however large the sample.
  const std::size_t linesPerCheckpoint = std::max<std::size_t>(1, checkpointBytes_ / (individuals + 1));
  store_->ForEachLocus([&](std::size_t j) {
    if (checkpoint_ && j % linesPerCheckpoint == 0) checkpoint_();
    OutputFile& file = causal[j] ? stratGeno_ : pcaGeno_;
    char* out = store_->PutColumn(j, file.Reserve(individuals + 1));
    *out++ = '\n';
    file.Commit(out);
  });
  if (own_) own_->Close();
}

void EigensoftWriter::WriteLoci(const std::vector<bool>& causal) {
  // A left-out causal locus keeps its place in the map: its successor's
  // distance, as listed, is measured from it.
  for (std::size_t j = 0; j < entries_.size(); ++j) {
    if (j < causal.size() && causal[j]) continue;
    const MapEntry& entry = entries_[j];
    Append(line_, "snp");
    AppendInt(line_, entry.snpNumber);
    Append(line_, "  ");
    AppendInt(line_, entry.regionNumber);
    Append(line_, " ");
    AppendFixed6(line_, entry.distance.value_or(0.0));
    Append(line_, " ");
    AppendFixed0(line_, entry.position);
    Append(line_, " 1 2\n");
    if (line_.size() >= 64 * 1024) WriteOut(snp_, line_);
  }
  WriteOut(snp_, line_);
}

void EigensoftWriter::Close() {
  if (own_) own_->Close();
  CloseInOrder({&pcaGeno_, &stratGeno_, &phen_, &snp_, &ind_});
}

}  // namespace korvane
