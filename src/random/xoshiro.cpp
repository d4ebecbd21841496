#include "random/xoshiro.h"

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

std::uint64_t CalibratedAttemptKey(std::uint64_t runSeed, std::uint32_t replicate, std::uint32_t attempt) {
  // The key's three parts are mixed one after another, so that neighbouring
  // seeds, replicates and attempts give unrelated keys.
  SplitMix64 mix(runSeed);
  const std::uint64_t key = mix.Next();
  return SplitMix64(key ^ (static_cast<std::uint64_t>(replicate) << 32 | attempt)).Next();
}

Xoshiro256 CalibratedAttemptGenerator(std::uint64_t runSeed, std::uint32_t replicate, std::uint32_t attempt) {
  return Xoshiro256(CalibratedAttemptKey(runSeed, replicate, attempt));
}

}  // namespace korvane
