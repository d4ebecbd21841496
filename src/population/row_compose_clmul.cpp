// The composition of whole rows with the carry-less multiplication: the
// product of a word with all ones has, at bit b, the parity of the word's
// bits 0..b, one instruction instead of six shifts and six exclusive ors.
// Only the functions marked with the target attribute use the instruction;
// the transmitter calls them where the AVX2 kernel was found, a processor
// generation that has it (bulk_draws.cpp checks both).

#include "population/row_compose.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace korvane::detail {
namespace {

template <std::size_t kPlanes>
__attribute__((target("pclmul,sse4.1"))) void ComposeClmul(const RowComposition& row, const RowPlane* given) {
  RowPlane planes[kPlanes];  // held in registers across the loop
  for (std::size_t p = 0; p < kPlanes; ++p) planes[p] = given[p];
  const __m128i ones = _mm_set1_epi64x(-1);
  std::uint64_t strand = 0;  // all ones: on the second source after the previous word
  for (int w = 0; w < row.words; ++w) {
    const __m128i x = _mm_cvtsi64_si128(static_cast<long long>(row.draws[w] ^ row.heads[w]));
    const auto parity = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_clmulepi64_si128(x, ones, 0x00)));
    std::uint64_t mask = parity ^ strand;
    if (row.heads[w] == 0) {
      strand ^= std::uint64_t{0} - (parity >> 63);  // the same as from mask, off the mask's chain
    } else {
      mask = RestartAtHeads(mask, row.heads[w], strand);
      strand = std::uint64_t{0} - (mask >> 63);
    }
    SelectWord<kPlanes>(planes, w, mask);
  }
}

}  // namespace

void ComposeRowClmul(const RowComposition& row, std::span<const RowPlane> planes) {
  if (planes.size() == 1) {
    ComposeClmul<1>(row, planes.data());
  } else {
    ComposeClmul<kMaxPlanes>(row, planes.data());
  }
}

}  // namespace korvane::detail

#else

namespace korvane::detail {

void ComposeRowClmul(const RowComposition& row, std::span<const RowPlane> planes) { ComposeRowPortable(row, planes); }

}  // namespace korvane::detail

#endif
