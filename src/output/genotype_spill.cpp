#include "output/genotype_spill.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>

namespace korvane {
namespace {

// A run is turned locus by locus in pieces of about this size, each written
// to the file in one call.
constexpr std::size_t kPieceBytes = std::size_t{2} << 20;

constexpr std::size_t kWordBytes = sizeof(std::uint16_t);

}  // namespace

SpilledColumns::SpilledColumns(std::filesystem::path path) : path_(std::move(path)) {}

void SpilledColumns::Add(const GenotypeColumns& held) {
  if (held.IndividualCount() == 0) return;
  if (!runs_.empty()) {
    if (runs_.back().individuals % GenotypeColumns::kPerWord != 0) {
      throw std::logic_error("spilled genotype columns: a run after one ending in a part-full block");
    }
    if (held.LocusCount() != locusCount_) {
      throw std::logic_error(
          fmt::format("spilled genotype columns: a run of {} loci after runs of {}", held.LocusCount(), locusCount_));
    }
  }
  if (!file_.IsOpen()) file_ = SpillFile(path_);
  locusCount_ = held.LocusCount();

  Run run;
  run.offset = file_.Size();
  run.blocks = held.BlockCount();
  run.individuals = held.IndividualCount();
  const std::size_t pieceLoci = std::max<std::size_t>(1, kPieceBytes / (run.blocks * kWordBytes));
  const auto piece = std::make_unique_for_overwrite<std::uint16_t[]>(std::min(pieceLoci, locusCount_) * run.blocks);
  for (std::size_t first = 0; first < locusCount_; first += pieceLoci) {
    const std::size_t count = std::min(pieceLoci, locusCount_ - first);
    held.PutLociWords(first, count, piece.get());
    file_.Append(piece.get(), count * run.blocks * kWordBytes);
  }
  runs_.push_back(run);
  individualCount_ += run.individuals;
  blockCount_ += run.blocks;
}

std::size_t SpilledColumns::BandLoci(std::size_t memoryBound) const {
  const std::size_t perLocus = std::max<std::size_t>(1, blockCount_ * kWordBytes);
  return std::clamp<std::size_t>(memoryBound / perLocus, 1, std::max<std::size_t>(1, locusCount_));
}

void SpilledColumns::ReadBand(std::size_t first, std::size_t count) {
  if (first > locusCount_ || count > locusCount_ - first) {
    throw std::out_of_range(fmt::format("spilled genotype columns: no loci {} to {}", first, first + count));
  }
  band_.resize(count * blockCount_);
  std::uint16_t* to = band_.data();
  for (const Run& run : runs_) {
    const std::size_t words = count * run.blocks;
    file_.ReadAt(run.offset + first * run.blocks * kWordBytes, to, words * kWordBytes);
    to += words;
  }
  bandFirst_ = first;
  bandCount_ = count;
}

char* SpilledColumns::PutColumn(std::size_t locus, char* out) const {
  if (locus < bandFirst_ || locus - bandFirst_ >= bandCount_) {
    throw std::out_of_range(fmt::format("spilled genotype columns: locus {} is not in the band read", locus));
  }
  const std::size_t k = locus - bandFirst_;
  const std::uint16_t* words = band_.data();
  for (const Run& run : runs_) {
    out = GenotypeColumns::PutCodes(words + k * run.blocks, run.individuals, out);
    words += bandCount_ * run.blocks;
  }
  return out;
}

void SpilledColumns::PutWords(std::size_t locus, std::uint16_t* out) const {
  if (locus < bandFirst_ || locus - bandFirst_ >= bandCount_) {
    throw std::out_of_range(fmt::format("spilled genotype columns: locus {} is not in the band read", locus));
  }
  const std::size_t k = locus - bandFirst_;
  const std::uint16_t* words = band_.data();
  for (const Run& run : runs_) {
    out = std::copy_n(words + k * run.blocks, run.blocks, out);
    words += bandCount_ * run.blocks;
  }
}

void SpilledColumns::Close() noexcept {
  file_.Close();
  band_ = {};
}

}  // namespace korvane
