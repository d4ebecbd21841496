#include "output/eigensoft_writer.h"

#include <algorithm>
#include <stdexcept>

namespace korvane {

using namespace output_detail;

namespace {

// The status column of Eigensoft_Pca.ind.
const char* IndLabel(Affection affection) { return affection == Affection::kAffected ? "Case" : "Control"; }
// The phenotype of Eigensoft.phen: 1 for a case, 0 for a control.
int PhenCode(Affection affection) { return affection == Affection::kAffected ? 1 : 0; }

}  // namespace

EigensoftWriter::EigensoftWriter(const std::filesystem::path& folder, LineEnds lineEnds, std::size_t memoryBound)
    : snp_(CreateIn(folder, "Eigensoft_Pca.snp", lineEnds)),
      phen_(CreateIn(folder, "Eigensoft.phen", lineEnds)),
      pcaGeno_(CreateIn(folder, "Eigensoft_Pca.geno", lineEnds)),
      stratGeno_(CreateIn(folder, "Eigensoft_Strat.geno", lineEnds)),
      ind_(CreateIn(folder, "Eigensoft_Pca.ind", lineEnds)),
      spilled_(folder / kSpillName),
      memoryBound_(memoryBound) {}

void EigensoftWriter::Locus(const MapEntry& entry) {
  if (IndividualCount() != 0) throw std::logic_error("EIGENSOFT: a locus after the first individual");
  entries_.push_back(entry);
}

void EigensoftWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  if (IndividualCount() == 0) {
    // The loci are those of the map listing; without one, those of the rows.
    columns_.SetLocusCount(entries_.empty() ? row.genotypes.size() : entries_.size());
  }
  // A new block that would take the columns past the bound: the blocks held
  // go to the scratch file first.
  const std::size_t held = columns_.IndividualCount();
  if (held != 0 && held % GenotypeColumns::kPerWord == 0 &&
      (columns_.BlockCount() + 1) * columns_.BlockBytes() > memoryBound_) {
    spilled_.Add(columns_);
    columns_.Clear();
  }
  columns_.Append(row.genotypes);

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
  if (IndividualCount() == 0) columns_.SetLocusCount(entries_.size());
  const std::vector<bool> causal = CausalFlags(truth);
  WriteGenotypes(causal);
  WriteLoci(causal);
}

std::vector<bool> EigensoftWriter::CausalFlags(const ReplicateTruth& truth) const {
  const std::size_t locusCount = columns_.LocusCount();
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
  const std::size_t individuals = IndividualCount();
  const std::size_t loci = columns_.LocusCount();
  // The line of locus j, its characters put by put(out).
  // A checkpoint every so many bytes of text, so that a stop request is
  // answered promptly however large the sample.
  const std::size_t linesPerCheckpoint = std::max<std::size_t>(1, checkpointBytes_ / (individuals + 1));
  auto writeLine = [&](std::size_t j, auto put) {
    if (checkpoint_ && j % linesPerCheckpoint == 0) checkpoint_();
    OutputFile& file = causal[j] ? stratGeno_ : pcaGeno_;
    char* out = put(file.Reserve(individuals + 1));
    *out++ = '\n';
    file.Commit(out);
  };
  if (spilled_.RunCount() == 0) {
    for (std::size_t j = 0; j < loci; ++j) writeLine(j, [&](char* out) { return columns_.PutColumn(j, out); });
    return;
  }
  // The rows still held join the others in the file, and their memory is
  // given back for the bands.
  spilled_.Add(columns_);
  columns_ = GenotypeColumns();
  const std::size_t bandLoci = spilled_.BandLoci(memoryBound_);
  for (std::size_t first = 0; first < loci; first += bandLoci) {
    const std::size_t count = std::min(bandLoci, loci - first);
    spilled_.ReadBand(first, count);
    for (std::size_t j = first; j < first + count; ++j) {
      writeLine(j, [&](char* out) { return spilled_.PutColumn(j, out); });
    }
  }
  spilled_.Close();
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
  spilled_.Close();
  CloseInOrder({&pcaGeno_, &stratGeno_, &phen_, &snp_, &ind_});
}

}  // namespace korvane
