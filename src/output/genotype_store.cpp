#include "output/genotype_store.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

namespace korvane {

GenotypeStore::GenotypeStore(const std::filesystem::path& folder, std::size_t memoryBound)
    : memoryBound_(memoryBound), spilled_(folder / kSpillName) {}

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
  }
  // A new block that would take the columns past the bound: the blocks held
  // go to the scratch file first.
  const std::size_t held = columns_.IndividualCount();
  if (held != 0 && held % GenotypeColumns::kPerWord == 0 &&
      (columns_.BlockCount() + 1) * columns_.BlockBytes() > memoryBound_) {
    spilled_.Add(columns_);
    columns_.Clear();
  }
  columns_.Append(row);
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
  }
  const std::size_t bandLoci = spilled_.BandLoci(memoryBound_);
  for (std::size_t first = 0; first < loci; first += bandLoci) {
    const std::size_t count = std::min(bandLoci, loci - first);
    spilled_.ReadBand(first, count);
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

void GenotypeStore::Close() noexcept { spilled_.Close(); }

}  // namespace korvane
