#include "random/bulk_draws.h"

namespace korvane {
namespace {

std::uint32_t Run(std::uint32_t state, const std::int32_t* scaled, std::int32_t uniform, int n, std::uint64_t* bits) {
  if (n <= 0) return state;
  if (ActiveDrawKernel() == DrawKernel::kAvx2) return detail::DrawBelowBitsAvx2(state, scaled, uniform, n, bits);
  return detail::DrawBelowBitsPortable(state, scaled, uniform, n, bits);
}

}  // namespace

void DrawBelowBits(RandomGenerator& gen, const std::int32_t* scaled, int n, std::uint64_t* bits) {
  gen.SetState(Run(gen.State(), scaled, 0, n, bits));
}

void DrawBelowBits(RandomGenerator& gen, std::int32_t scaled, int n, std::uint64_t* bits) {
  gen.SetState(Run(gen.State(), nullptr, scaled, n, bits));
}

namespace detail {

std::uint32_t DrawBelowBitsPortable(std::uint32_t state, const std::int32_t* scaled, std::int32_t uniform, int n,
                                    std::uint64_t* bits) {
  // One draw at a time: interleaving chains by jumps gains little here, the
  // per-draw work outweighs the dependent multiplication.
  for (int base = 0; base < n; base += 64) {
    const int count = n - base < 64 ? n - base : 64;
    std::uint64_t word = 0;
    for (int k = 0; k < count; ++k) {
      state = state * RandomGenerator::kMultiplier + RandomGenerator::kIncrement;
      const std::uint32_t r = (state >> 16) & 0x7FFFu;
      const std::int32_t threshold = scaled ? scaled[base + k] : uniform;
      word |= static_cast<std::uint64_t>(BelowScaled(r, threshold)) << k;
    }
    bits[base / 64] = word;
  }
  return state;
}

}  // namespace detail
}  // namespace korvane
