#include "output/genotype_text.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvane::output_detail {
namespace {

// The five texts of each format, by TextIndex, padded to a whole store.
constexpr char kSpaced[5][4] = {
    {' ', '0', ' ', '0'}, {' ', '1', ' ', '1'}, {' ', '1', ' ', '2'}, {' ', '2', ' ', '1'}, {' ', '2', ' ', '2'}};
constexpr char kSpacedOrMinusNine[5][8] = {{' ', '-', '9', ' ', '-', '9'},
                                           {' ', '1', ' ', '1'},
                                           {' ', '1', ' ', '2'},
                                           {' ', '2', ' ', '1'},
                                           {' ', '2', ' ', '2'}};
constexpr unsigned char kSpacedOrMinusNineLength[5] = {6, 4, 4, 4, 4};
constexpr char kQuoted[5][8] = {{' ', '"', '0', ',', '0', '"', ' '},
                                {' ', '"', '1', ',', '1', '"', ' '},
                                {' ', '"', '1', ',', '2', '"', ' '},
                                {' ', '"', '2', ',', '1', '"', ' '},
                                {' ', '"', '2', ',', '2', '"', ' '}};
constexpr unsigned char kQuotedLength[5] = {7, 7, 7, 7, 7};

// The texts of four genotypes in a row, by their TextIndex values read as
// the digits of a base-5 number (the first genotype the most significant),
// padded to 32 bytes, with their lengths.
struct QuadTable {
  char text[625][32] = {};
  unsigned char length[625] = {};
};

template <std::size_t kTextWidth>
constexpr QuadTable MakeQuadTable(const char (&texts)[5][kTextWidth], const unsigned char (&lengths)[5]) {
  QuadTable table;
  for (int entry = 0; entry < 625; ++entry) {
    const int indices[4] = {entry / 125, entry / 25 % 5, entry / 5 % 5, entry % 5};
    int at = 0;
    for (int index : indices) {
      for (int c = 0; c < lengths[index]; ++c) table.text[entry][at++] = texts[index][c];
    }
    table.length[entry] = static_cast<unsigned char>(at);
  }
  return table;
}

// ADMIXMAP: 28 of the 32 bytes; STRUCTURE and STRAT: 16 to 24.
constexpr QuadTable kQuotedQuads = MakeQuadTable(kQuoted, kQuotedLength);
constexpr QuadTable kSpacedOrMinusNineQuads = MakeQuadTable(kSpacedOrMinusNine, kSpacedOrMinusNineLength);

// Genotypes are handled eight at a time (16 bytes) where the processor has
// 128-bit integer vectors (every x86-64 one), one at a time elsewhere and for
// the rest of a row.
constexpr std::size_t kGroup = 8;

#if defined(__SSE2__)
static_assert(sizeof(Genotype) == 2, "a genotype is two allele-class bytes");

// 0xFFFF in the 16-bit lane of each missing genotype (first allele class 0).
inline __m128i MissingLanes(__m128i genotypes) {
  return _mm_cmpeq_epi16(_mm_and_si128(genotypes, _mm_set1_epi16(0x00FF)), _mm_setzero_si128());
}

// The TextIndex of eight genotypes in 16-bit lanes.
inline __m128i TextIndexLanes(const Genotype* genotypes) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(genotypes));
  // Per lane: 1 in the low byte when the first class is 1, 1 in the high byte when the second is.
  const __m128i isOne = _mm_and_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(1)), _mm_set1_epi8(1));
  // 4 - 2 * (first is 1) - (second is 1) = 1 + 2 * (first is not 1) + (second is not 1).
  const __m128i twiceFirst = _mm_and_si128(_mm_slli_epi16(isOne, 1), _mm_set1_epi16(2));
  const __m128i second = _mm_srli_epi16(isOne, 8);
  __m128i index = _mm_sub_epi16(_mm_sub_epi16(_mm_set1_epi16(4), twiceFirst), second);
  return _mm_andnot_si128(MissingLanes(v), index);
}

// The text " a b" of the eight genotypes `v`, each allele code after a
// space: '2' minus (class is 1), or '0' for both alleles of those in `missing`.
inline void PutSpacedGroup(char* out, __m128i v, __m128i missing) {
  const __m128i spaces = _mm_set1_epi8(' ');
  const __m128i present = _mm_add_epi8(_mm_set1_epi8('2'), _mm_cmpeq_epi8(v, _mm_set1_epi8(1)));
  const __m128i codes = _mm_or_si128(_mm_andnot_si128(missing, present), _mm_and_si128(missing, _mm_set1_epi8('0')));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(spaces, codes));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(spaces, codes));
}

// The QuadTable entries of the two runs of four of eight genotypes.
inline void QuadEntries(const Genotype* genotypes, unsigned& first, unsigned& second) {
  const __m128i pairs = _mm_madd_epi16(TextIndexLanes(genotypes), _mm_set1_epi32(0x00010005));
  // 25 * first pair + second pair, in the two lowest 32-bit lanes.
  const __m128i quads = _mm_madd_epi16(_mm_packs_epi32(pairs, pairs), _mm_set1_epi32(0x00010019));
  first = static_cast<unsigned>(_mm_cvtsi128_si32(quads));
  second = static_cast<unsigned>(_mm_cvtsi128_si32(_mm_srli_si128(quads, 4)));
}
#else
inline unsigned QuadEntry(const Genotype* genotypes) {
  unsigned entry = 0;
  for (int k = 0; k < 4; ++k) entry = 5 * entry + TextIndex(genotypes[k]);
  return entry;
}
inline void QuadEntries(const Genotype* genotypes, unsigned& first, unsigned& second) {
  first = QuadEntry(genotypes);
  second = QuadEntry(genotypes + 4);
}
#endif

}  // namespace

char* PutSpacedCodes(char* out, std::span<const Genotype> genotypes) {
  const Genotype* genotype = genotypes.data();
  const Genotype* const end = genotype + genotypes.size();
#if defined(__SSE2__)
  for (; end - genotype >= static_cast<std::ptrdiff_t>(kGroup); genotype += kGroup, out += 4 * kGroup) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(genotype));
    PutSpacedGroup(out, v, MissingLanes(v));
  }
#endif
  for (; genotype != end; ++genotype, out += 4) std::memcpy(out, kSpaced[TextIndex(*genotype)], 4);
  return out;
}

char* PutSpacedCodesOrMinusNine(char* out, std::span<const Genotype> genotypes) {
  const Genotype* genotype = genotypes.data();
  const Genotype* const end = genotype + genotypes.size();
  // Runs of four, without a branch on missing genotypes: they come at random.
  for (; end - genotype >= static_cast<std::ptrdiff_t>(kGroup); genotype += kGroup) {
    unsigned first;
    unsigned second;
    QuadEntries(genotype, first, second);
    std::memcpy(out, kSpacedOrMinusNineQuads.text[first], 32);
    out += kSpacedOrMinusNineQuads.length[first];
    std::memcpy(out, kSpacedOrMinusNineQuads.text[second], 32);
    out += kSpacedOrMinusNineQuads.length[second];
  }
  for (; genotype != end; ++genotype) {
    const unsigned index = TextIndex(*genotype);
    std::memcpy(out, kSpacedOrMinusNine[index], 8);
    out += kSpacedOrMinusNineLength[index];
  }
  return out;
}

char* PutQuotedPairs(char* out, std::span<const Genotype> genotypes) {
  const Genotype* genotype = genotypes.data();
  const Genotype* const end = genotype + genotypes.size();
  for (; end - genotype >= static_cast<std::ptrdiff_t>(kGroup); genotype += kGroup) {
    unsigned first;
    unsigned second;
    QuadEntries(genotype, first, second);
    std::memcpy(out, kQuotedQuads.text[first], 32);
    std::memcpy(out + 28, kQuotedQuads.text[second], 32);
    out += 56;
  }
  for (; genotype != end; ++genotype, out += 7) std::memcpy(out, kQuoted[TextIndex(*genotype)], 8);
  return out;
}

void CollectNullLoci(std::span<const std::uint8_t> isNull, std::vector<std::uint32_t>& nulls) {
  nulls.clear();
  const std::uint8_t* const flags = isNull.data();
  const std::size_t count = isNull.size();
  std::size_t j = 0;
  // Null loci are few: 64 flags at a time are skipped while all are clear.
  constexpr std::size_t kStride = 64;
  for (; j + kStride <= count; j += kStride) {
#if defined(__SSE2__)
    const auto* block = reinterpret_cast<const __m128i*>(flags + j);
    const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(block), _mm_loadu_si128(block + 1)),
                                     _mm_or_si128(_mm_loadu_si128(block + 2), _mm_loadu_si128(block + 3)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF) continue;
#else
    std::uint64_t any = 0;
    for (std::size_t k = 0; k < kStride; k += 8) {
      std::uint64_t word;
      std::memcpy(&word, flags + j + k, 8);
      any |= word;
    }
    if (any == 0) continue;
#endif
    for (std::size_t k = j; k < j + kStride; ++k) {
      if (flags[k] != 0) nulls.push_back(static_cast<std::uint32_t>(k));
    }
  }
  for (; j < count; ++j) {
    if (flags[j] != 0) nulls.push_back(static_cast<std::uint32_t>(j));
  }
}

}  // namespace korvane::output_detail
