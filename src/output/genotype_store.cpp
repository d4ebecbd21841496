#include "output/genotype_store.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace korvane {

GenotypeStore::GenotypeStore(const std::filesystem::path& folder, std::size_t memoryBound, bool phased)
    : folder_(folder), memoryBound_(memoryBound), phased_(phased), spilled_(folder / kSpillName) {
  if (phased_) planes_.push_back(std::make_unique<Plane>(folder / kPhaseSpillName));
}

void GenotypeStore::AddLocus() {
  if (IndividualCount() != 0) throw std::logic_error("genotype store: a locus after the first individual");
  ++listedLoci_;
}

std::size_t GenotypeStore::LocusCount() const {
  return IndividualCount() == 0 ? listedLoci_ : std::max(columns_.LocusCount(), spilled_.LocusCount());
}

void GenotypeStore::Append(std::span<const Genotype> row, std::array<const std::uint64_t*, 2> ancestry) {
  if (IndividualCount() == 0) {
    // The loci are those of the map listing; without one, those of the rows.
    columns_.SetLocusCount(listedLoci_ == 0 ? row.size() : listedLoci_);
    if (phased_ && ancestry[0] != nullptr && ancestry[1] != nullptr) {
      for (const char* name : kAncestrySpillNames) planes_.push_back(std::make_unique<Plane>(folder_ / name));
    }
    for (auto& plane : planes_) plane->held.SetLocusCount(columns_.LocusCount());
  }
  if (HasAncestry() && (ancestry[0] == nullptr || ancestry[1] == nullptr)) {
    throw std::logic_error("genotype store: a row without the ancestry the first row had");
  }
  // A new block that would take the columns past the bound: the blocks held
  // go to the scratch files first.
  const std::size_t held = columns_.IndividualCount();
  if (held != 0 && held % GenotypeColumns::kPerWord == 0 &&
      (columns_.BlockCount() + 1) * columns_.BlockBytes() > PlaneBound()) {
    spilled_.Add(columns_);
    columns_.Clear();
    for (auto& plane : planes_) {
      plane->spilled.Add(plane->held);
      plane->held.Clear();
    }
  }
  columns_.Append(row);
  if (!phased_) return;
  // Each plane holds a genotype whose second allele is class 2, so that its
  // code is 1 exactly when the first allele is class 1: haplotype 1's allele
  // (missing when the row is), and for the ancestry planes class 1 for YRI.
  planeRow_.resize(row.size());
  for (std::size_t j = 0; j < row.size(); ++j) {
    planeRow_[j] = Genotype{row[j].first, static_cast<std::uint8_t>(row[j].Missing() ? 0 : 2)};
  }
  planes_[0]->held.Append(planeRow_);
  if (!HasAncestry()) return;
  for (std::size_t h = 0; h < 2; ++h) {
    const std::uint64_t* bits = ancestry[h];
    for (std::size_t j = 0; j < row.size(); ++j) {
      planeRow_[j] = Genotype{static_cast<std::uint8_t>((bits[j / 64] >> (j % 64)) & 1 ? 1 : 2), 2};
    }
    planes_[1 + h]->held.Append(planeRow_);
  }
}

void GenotypeStore::ForEachLocus(const std::function<void(std::size_t locus)>& visit) {
  ForEachBand(LocusCount(), [&visit](std::size_t first, std::size_t count) {
    for (std::size_t j = first; j < first + count; ++j) visit(j);
  });
}

void GenotypeStore::ForEachBand(std::size_t maxLoci,
                                const std::function<void(std::size_t first, std::size_t count)>& visit) {
  maxLoci = std::max<std::size_t>(1, maxLoci);
  // The bands of the loci first .. first + count - 1, all readable.
  const auto visitBands = [&](std::size_t first, std::size_t count) {
    for (std::size_t done = 0; done < count;) {
      const std::size_t band = std::min(maxLoci, count - done);
      visit(first + done, band);
      done += band;
    }
  };
  const std::size_t loci = LocusCount();
  if (!Spilled()) {
    visitBands(0, loci);
    return;
  }
  // The rows still held join the others in the files, and their memory is
  // given back for the bands.
  if (columns_.IndividualCount() != 0) {
    spilled_.Add(columns_);
    columns_ = GenotypeColumns();
    for (auto& plane : planes_) {
      plane->spilled.Add(plane->held);
      plane->held = GenotypeColumns();
    }
  }
  const std::size_t bandLoci = spilled_.BandLoci(PlaneBound());
  for (std::size_t first = 0; first < loci; first += bandLoci) {
    const std::size_t count = std::min(bandLoci, loci - first);
    spilled_.ReadBand(first, count);
    for (auto& plane : planes_) plane->spilled.ReadBand(first, count);
    visitBands(first, count);
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

void GenotypeStore::PutLociWords(std::size_t first, std::size_t count, std::uint16_t* out) const {
  if (IndividualCount() == 0) return;
  if (Spilled()) {
    // The band read from the scratch file is in memory already.
    for (std::size_t k = 0; k < count; ++k) spilled_.PutWords(first + k, out + k * WordCount());
  } else {
    columns_.PutLociWords(first, count, out);
  }
}

std::vector<std::uint16_t> GenotypeStore::PlaneWords(const Plane& plane, std::size_t locus) const {
  // Words of their own for each call: writers on a team read a store held in
  // memory side by side.
  std::vector<std::uint16_t> words(WordCount());
  if (Spilled()) {
    plane.spilled.PutWords(locus, words.data());
  } else if (IndividualCount() != 0) {
    plane.held.PutWords(locus, words.data());
  }
  return words;
}

void GenotypeStore::PutGenotypes(std::size_t locus, Genotype* out) const {
  if (!phased_) throw std::logic_error("genotype store: the haplotypes of a store kept without its phase");
  const std::size_t n = IndividualCount();
  if (n == 0) return;
  std::vector<std::uint16_t> codeWords(WordCount());
  PutWords(locus, codeWords.data());
  const std::vector<std::uint16_t> phaseWords = PlaneWords(*planes_[0], locus);
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

void GenotypeStore::PutAncestry(std::size_t locus, std::uint8_t* out) const {
  if (!HasAncestry()) throw std::logic_error("genotype store: the ancestry of a store kept without it");
  const std::size_t n = IndividualCount();
  for (std::size_t h = 0; h < 2; ++h) {
    const std::vector<std::uint16_t> words = PlaneWords(*planes_[1 + h], locus);
    for (std::size_t t = 0; t < n; ++t) {
      const int shift = static_cast<int>(t % GenotypeColumns::kPerWord) * GenotypeColumns::kCodeBits;
      out[2 * t + h] = static_cast<std::uint8_t>(((words[t / GenotypeColumns::kPerWord] >> shift) & 3) == 1);
    }
  }
}

void GenotypeStore::Close() noexcept {
  spilled_.Close();
  for (auto& plane : planes_) plane->spilled.Close();
}

}  // namespace korvane
