#include "refdata/haplotype_store.h"

#include <array>
#include <bit>
#include <cstring>

namespace korvane {

std::vector<int> HaplotypeStore::ClassOneCounts() const {
  // Bit-sliced counters: for every word column w, plane p holds bit p of the
  // running count of each of the column's 64 loci. Adding a row is a ripple
  // of half adders that stops as soon as no carry is left, about two steps
  // per word on average.
  const int rows = 2 * individualCount_;
  const int planes = std::bit_width(static_cast<unsigned>(rows));  // a count is at most `rows`
  std::vector<std::uint64_t> counters(static_cast<std::size_t>(wordsPerRow_) * planes, 0);
  for (int row = 0; row < rows; ++row) {
    const std::uint64_t* words = words_.data() + static_cast<std::size_t>(row) * wordsPerRow_;
    for (int w = 0; w < wordsPerRow_; ++w) {
      std::uint64_t* plane = counters.data() + static_cast<std::size_t>(w) * planes;
      std::uint64_t carry = words[w];
      for (int p = 0; carry != 0 && p < planes; ++p) {
        const std::uint64_t next = plane[p] & carry;
        plane[p] ^= carry;
        carry = next;
      }
    }
  }
  std::vector<int> counts(lociCount_, 0);
  for (int g = 0; g < lociCount_; ++g) {
    const std::uint64_t* plane = counters.data() + static_cast<std::size_t>(g / kLociPerWord) * planes;
    const int bit = g % kLociPerWord;
    int count = 0;
    for (int p = 0; p < planes; ++p) count |= static_cast<int>((plane[p] >> bit) & 1u) << p;
    counts[g] = count;
  }
  return counts;
}

void HaplotypeStore::FillAncestryRow(std::uint64_t* row, int lociCount, SourcePopulation population) {
  const int words = WordsForLoci(lociCount);
  const std::uint64_t fill = population == SourcePopulation::kYri ? ~std::uint64_t{0} : 0;
  for (int w = 0; w < words; ++w) row[w] = fill;
  if (lociCount % kLociPerWord != 0) row[words - 1] &= ~(~std::uint64_t{0} << (lociCount % kLociPerWord));
}

int CountOnes(const std::uint64_t* row, int words) {
  int ones = 0;
  for (int w = 0; w < words; ++w) ones += std::popcount(row[w]);
  return ones;
}

namespace {

// Four loci at a time: the eight bytes (first, second) x 4 of a nibble of
// each row, and the byte mask that clears the pairs of missing loci.
struct UnpackTables {
  std::array<std::uint64_t, 256> pairs{};
  std::array<std::uint64_t, 16> missing{};
};

constexpr UnpackTables MakeUnpackTables() {
  UnpackTables tables;
  for (int index = 0; index < 256; ++index) {
    std::uint64_t value = 0;
    for (int k = 0; k < 4; ++k) {
      const std::uint64_t first = (index >> k) & 1 ? 1 : 2;
      const std::uint64_t second = (index >> (4 + k)) & 1 ? 1 : 2;
      value |= (first << (16 * k)) | (second << (16 * k + 8));
    }
    tables.pairs[index] = value;
  }
  for (int index = 0; index < 16; ++index) {
    std::uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
      if ((index >> k) & 1) mask |= std::uint64_t{0xFFFF} << (16 * k);
    }
    tables.missing[index] = mask;
  }
  return tables;
}

constexpr UnpackTables kUnpack = MakeUnpackTables();

}  // namespace

void UnpackGenotypePairs(const std::uint64_t* first, const std::uint64_t* second, const std::uint64_t* missing,
                         int lociCount, std::uint8_t* pairs) {
  auto fourPairs = [&](int g, std::uint8_t* bytes) {
    const int w = g / kLociPerWord;
    const int shift = g % kLociPerWord;  // a multiple of 4: nibbles never straddle words
    const unsigned a = (first[w] >> shift) & 0xFu;
    const unsigned b = (second[w] >> shift) & 0xFu;
    std::uint64_t value = kUnpack.pairs[a | (b << 4)];
    if (missing) value &= ~kUnpack.missing[(missing[w] >> shift) & 0xFu];
    // The pairs in locus order are the bytes of value from the lowest up.
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(bytes, &value, sizeof value);
    } else {
      for (int k = 0; k < 8; ++k) bytes[k] = static_cast<std::uint8_t>(value >> (8 * k));
    }
  };
  const int whole = lociCount - lociCount % 4;
  for (int g = 0; g < whole; g += 4) fourPairs(g, pairs + 2 * static_cast<std::size_t>(g));
  if (whole < lociCount) {
    std::uint8_t bytes[8];
    fourPairs(whole, bytes);
    std::memcpy(pairs + 2 * static_cast<std::size_t>(whole), bytes, 2 * static_cast<std::size_t>(lociCount - whole));
  }
}

ReferencePanel LoadPanels(const ReferenceData& data, const MarkerSet& markers) {
  ReferencePanel panel;
  panel.panelSize = data.PanelSize();
  for (SourcePopulation population : {SourcePopulation::kYri, SourcePopulation::kSecond}) {
    HaplotypeStore store(data.PanelSize(), markers.total);
    store.SetPopulation(population);
    for (int r = 0; r < MarkerSet::kRegions; ++r) {
      const HaplotypeTable& table = data.Region(r).Panel(population);
      const auto& chosen = markers.selected[r];
      if (chosen.empty()) continue;
      const auto first = static_cast<unsigned>(markers.offset[r]);
      for (int j = 0; j < store.IndividualCount(); ++j) {
        for (int h = 0; h < 2; ++h) {
          // The chosen SNPs' bits gathered in order into a word that is
          // merged into the row whenever it fills: the region's run starts
          // inside a word the previous region may share.
          const std::uint64_t* source = table.Row(j, h);
          std::uint64_t* target = store.Row(j, h) + first / kLociPerWord;
          unsigned bit = first % kLociPerWord;
          std::uint64_t word = 0;
          for (const int snp : chosen) {
            const auto s = static_cast<unsigned>(snp);
            word |= ((source[s / kLociPerWord] >> (s % kLociPerWord)) & 1u) << bit;
            if (++bit == kLociPerWord) {
              *target++ |= word;
              word = 0;
              bit = 0;
            }
          }
          if (bit > 0) *target |= word;
        }
      }
    }
    (population == SourcePopulation::kYri ? panel.yri : panel.second) = std::move(store);
  }
  return panel;
}

}  // namespace korvane
