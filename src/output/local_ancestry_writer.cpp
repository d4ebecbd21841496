#include "output/local_ancestry_writer.h"

#include <fmt/format.h>

#include <stdexcept>
#include <string_view>

namespace korvane {

using namespace output_detail;

namespace {

constexpr int kBitsPerWord = 64;

constexpr std::string_view kYriLabel = "YRI";
constexpr std::string_view kSecondLabel = "SECOND";

}  // namespace

LocalAncestryWriter::LocalAncestryWriter(const std::filesystem::path& folder, LineEnds lineEnds)
    : file_(CreateIn(folder, "LocalAncestry.bp", lineEnds)) {
  BeginLoci();
}

void LocalAncestryWriter::BeginLoci() {
  loci_ = 0;
  lastRegion_ = 0;
  centimorgans_ = RegionCentimorgans();
  locusText_.clear();
  locusStart_.assign(1, 0);
  regionEnds_.clear();
}

void LocalAncestryWriter::Locus(const MapEntry& entry) {
  const int g = loci_++;
  if (g % kBitsPerWord == 0) regionEnds_.push_back(0);
  // Every locus is its region's last until another of the region follows.
  const bool sameRegion = g > 0 && entry.regionNumber == lastRegion_;
  if (sameRegion) regionEnds_[(g - 1) / kBitsPerWord] &= ~(std::uint64_t{1} << ((g - 1) % kBitsPerWord));
  regionEnds_[g / kBitsPerWord] |= std::uint64_t{1} << (g % kBitsPerWord);
  lastRegion_ = entry.regionNumber;
  const double cm = centimorgans_.Next(entry);

  TextBuffer text;
  Append(text, "\t");
  AppendInt(text, entry.regionNumber);
  Append(text, "\t");
  AppendFixed0(text, entry.position);
  Append(text, "\t");
  AppendFixed6(text, cm);
  Append(text, "\n");
  locusText_.append(text.data(), text.size());
  locusStart_.push_back(static_cast<std::uint32_t>(locusText_.size()));
}

void LocalAncestryWriter::AppendTracts(const std::uint64_t* ancestry) {
  // A tract ends at locus g when g is its region's last chosen locus or the
  // ancestry of locus g + 1 differs: the ends of a word are its bits against
  // the bits one locus further, the next word's first bit shifted in.
  const int words = static_cast<int>(regionEnds_.size());
  for (int w = 0; w < words; ++w) {
    const std::uint64_t bits = ancestry[w];
    const std::uint64_t next = (bits >> 1) | (w + 1 < words ? ancestry[w + 1] << (kBitsPerWord - 1) : 0);
    std::uint64_t ends = (bits ^ next) | regionEnds_[w];
    if (w == words - 1 && loci_ % kBitsPerWord != 0) ends &= ~(~std::uint64_t{0} << (loci_ % kBitsPerWord));
    for (; ends != 0; ends &= ends - 1) {
      const int bit = __builtin_ctzll(ends);
      const int g = w * kBitsPerWord + bit;
      Append(line_, (bits >> bit) & 1u ? kYriLabel : kSecondLabel);
      line_.append(locusText_.data() + locusStart_[g], locusText_.data() + locusStart_[g + 1]);
    }
  }
}

void LocalAncestryWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  if (row.ancestry[0] == nullptr || row.ancestry[1] == nullptr) {
    throw std::invalid_argument(
        fmt::format("individual {}: no ancestry rows for the local-ancestry file", individual.id));
  }
  if (static_cast<int>(row.genotypes.size()) != loci_) {
    throw std::invalid_argument(fmt::format("individual {}: {} genotypes but {} loci in the listing", individual.id,
                                            row.genotypes.size(), loci_));
  }
  for (int h = 0; h < 2; ++h) {
    AppendInt(line_, individual.id);
    Append(line_, h == 0 ? "_1\n" : "_2\n");
    AppendTracts(row.ancestry[static_cast<std::size_t>(h)]);
  }
  WriteOut(file_, line_);
}

void LocalAncestryWriter::Close() { file_.Close(); }

}  // namespace korvane
