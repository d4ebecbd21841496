#include "output/genotype_store.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

namespace korvane {

GenotypeStore::GenotypeStore(const std::filesystem::path& folder, std::size_t memoryBound, bool phased)
    : memoryBound_(memoryBound),
      phased_(phased),
      spilled_(folder / kSpillName),
      phaseSpilled_(folder / kPhaseSpillName) {}

void GenotypeStore::AddLocus() {
  if (IndividualCount() != 0) throw std::logic_error("genotype store: a locus after the first individual");
  ++listedLoci_;
}

std::size_t GenotypeStore::LocusCount() const {
  return IndividualCount() == 0 ? listedLoci_ : std::max(columns_.LocusCount(), spilled_.LocusCount());
}

void GenotypeStore::Append(std::span<const Genotype> row) {
  if (IndividualCount() == 0) {
    // The loci are those of the map listing; without one, those of the rows.
    columns_.SetLocusCount(listedLoci_ == 0 ? row.size() : listedLoci_);
    if (phased_) phase_.SetLocusCount(columns_.LocusCount());
  }
  // A new block that would take the columns past the bound: the blocks held
  // go to the scratch file first.
  const std::size_t held = columns_.IndividualCount();
  if (held != 0 && held % GenotypeColumns::kPerWord == 0 &&
      (columns_.BlockCount() + 1) * columns_.BlockBytes() > PlaneBound()) {
    spilled_.Add(columns_);
    columns_.Clear();
    if (phased_) {
      phaseSpilled_.Add(phase_);
      phase_.Clear();
    }
  }
  columns_.Append(row);
  if (phased_) {
    // Haplotype 1's allele as a genotype whose second allele is class 2: its
    // class-1 count is haplotype 1's, and it is missing when the row is.
    phaseRow_.resize(row.size());
    for (std::size_t j = 0; j < row.size(); ++j) {
      phaseRow_[j] = Genotype{row[j].first, static_cast<std::uint8_t>(row[j].Missing() ? 0 : 2)};
    }
    phase_.Append(phaseRow_);
  }
}

void GenotypeStore::ForEachLocus(const std::function<void(std::size_t locus)>& visit) {
  const std::size_t loci = LocusCount();
  if (!Spilled()) {
    for (std::size_t j = 0; j < loci; ++j) visit(j);
    return;
  }
  // The rows still held join the others in the file, and their memory is
  // given back for the bands.
  if (columns_.IndividualCount() != 0) {
    spilled_.Add(columns_);
    columns_ = GenotypeColumns();
    if (phased_) {
      phaseSpilled_.Add(phase_);
      phase_ = GenotypeColumns();
    }
  }
  const std::size_t bandLoci = spilled_.BandLoci(PlaneBound());
  for (std::size_t first = 0; first < loci; first += bandLoci) {
    const std::size_t count = std::min(bandLoci, loci - first);
    spilled_.ReadBand(first, count);
    if (phased_) phaseSpilled_.ReadBand(first, count);
    for (std::size_t j = first; j < first + count; ++j) visit(j);
  }
}

char* GenotypeStore::PutColumn(std::size_t locus, char* out) const {
  if (Spilled()) return spilled_.PutColumn(locus, out);
  if (IndividualCount() == 0) return out;
  return columns_.PutColumn(locus, out);
}

void GenotypeStore::PutWords(std::size_t locus, std::uint16_t* out) const {
  if (Spilled()) {
    spilled_.PutWords(locus, out);
  } else if (IndividualCount() != 0) {
    columns_.PutWords(locus, out);
  }
}

void GenotypeStore::PutGenotypes(std::size_t locus, Genotype* out) const {
  if (!phased_) throw std::logic_error("genotype store: the haplotypes of a store kept without its phase");
  const std::size_t n = IndividualCount();
  if (n == 0) return;
  // Words of its own for each call: writers on a team read a store held in
  // memory side by side.
  std::vector<std::uint16_t> codeWords(WordCount());
  std::vector<std::uint16_t> phaseWords(WordCount());
  if (Spilled()) {
    spilled_.PutWords(locus, codeWords.data());
    phaseSpilled_.PutWords(locus, phaseWords.data());
  } else {
    columns_.PutWords(locus, codeWords.data());
    phase_.PutWords(locus, phaseWords.data());
  }
  for (std::size_t t = 0; t < n; ++t) {
    const int shift = static_cast<int>(t % GenotypeColumns::kPerWord) * GenotypeColumns::kCodeBits;
    const int count = (codeWords[t / GenotypeColumns::kPerWord] >> shift) & 3;
    if (count == GenotypeColumns::kMissingCode) {
      out[t] = Genotype{};
      continue;
    }
    const int first = (phaseWords[t / GenotypeColumns::kPerWord] >> shift) & 3;
    out[t] =
        Genotype{static_cast<std::uint8_t>(first == 1 ? 1 : 2), static_cast<std::uint8_t>(count - first == 1 ? 1 : 2)};
  }
}

void GenotypeStore::Close() noexcept {
  spilled_.Close();
  phaseSpilled_.Close();
}

}  // namespace korvane
