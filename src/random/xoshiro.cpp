#include "random/xoshiro.h"

#include <cmath>

namespace korvane {

Xoshiro256::Xoshiro256(std::uint64_t seed) : s_{} {
  SplitMix64 mix(seed);
  for (std::uint64_t& word : s_) word = mix.Next();
  // SplitMix64 never gives four zeros in a row, but the state must not be all
  // zero whatever the seed.
  if ((s_[0] | s_[1] | s_[2] | s_[3]) == 0) s_[0] = 1;
}

void Xoshiro256::Jump() {
  static constexpr std::array<std::uint64_t, 4> kJump = {0x180ec6d33cfd0abau, 0xd5a61266f0c9392cu, 0xa9582618e03fc9aau,
                                                         0x39abdc4529b1661cu};
  std::array<std::uint64_t, 4> jumped{};
  for (const std::uint64_t word : kJump) {
    for (int b = 0; b < 64; ++b) {
      if ((word & (std::uint64_t{1} << b)) != 0) {
        for (std::size_t i = 0; i < 4; ++i) jumped[i] ^= s_[i];
      }
      Next();
    }
  }
  s_ = jumped;
}

Xoshiro256 CalibratedAttemptGenerator(std::uint64_t runSeed, std::uint32_t replicate, std::uint32_t attempt) {
  // The key's three parts are mixed one after another, so that neighbouring
  // seeds, replicates and attempts give unrelated states.
  SplitMix64 mix(runSeed);
  std::uint64_t key = mix.Next();
  key = SplitMix64(key ^ (static_cast<std::uint64_t>(replicate) << 32 | attempt)).Next();
  return Xoshiro256(key);
}

// The 128-bit product of two 64-bit words (a GCC and Clang extension).
__extension__ using Wide = unsigned __int128;

std::uint64_t UniformBelow(Xoshiro256& gen, std::uint64_t bound) {
  // The high word of x * bound is uniform below bound once the low words
  // that would favour some values are rejected.
  Wide product = static_cast<Wide>(gen.Next()) * bound;
  auto low = static_cast<std::uint64_t>(product);
  if (low < bound) {
    const std::uint64_t threshold = (0 - bound) % bound;
    while (low < threshold) {
      product = static_cast<Wide>(gen.Next()) * bound;
      low = static_cast<std::uint64_t>(product);
    }
  }
  return static_cast<std::uint64_t>(product >> 64);
}

double StandardNormal(Xoshiro256& gen) {
  for (;;) {
    const double u = 2.0 * UniformUnit(gen) - 1.0;
    const double v = 2.0 * UniformUnit(gen) - 1.0;
    const double s = u * u + v * v;
    if (s > 0.0 && s < 1.0) return u * std::sqrt(-2.0 * std::log(s) / s);
  }
}

}  // namespace korvane
