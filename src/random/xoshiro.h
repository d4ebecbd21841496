#pragma once

// The generator of the calibrated model: xoshiro256** 1.0 (Blackman and
// Vigna), a 64-bit generator of period 2^256 - 1 with jump-ahead, seeded
// through SplitMix64, and the draws built on it at full resolution: uniform
// doubles on the 2^-53 grid, exactly uniform integers below a bound, and
// standard normals by Marsaglia's polar method. Like the specified model's
// generator it is an object handed to whatever draws; nothing is global.

#include <array>
#include <cmath>
#include <cstdint>

namespace korvane {

// SplitMix64: the seeding generator (and a hash of 64-bit keys).
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }

 private:
  std::uint64_t state_;
};

class Xoshiro256 {
 public:
  // The state from four SplitMix64 outputs of `seed` (never all zero).
  explicit Xoshiro256(std::uint64_t seed);
  // A given state (not all zero), as the reference's test vectors start.
  explicit Xoshiro256(const std::array<std::uint64_t, 4>& state) : s_(state) {}

  std::uint64_t Next() {
    const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }

  // Advances the state by 2^128 outputs: 2^128 non-overlapping streams.
  void Jump();

  const std::array<std::uint64_t, 4>& State() const { return s_; }

 private:
  static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::array<std::uint64_t, 4> s_;
};

// The generator of one replicate attempt of the calibrated model: a pure
// function of the run seed, the replicate number and the attempt, whatever
// thread simulates it.
Xoshiro256 CalibratedAttemptGenerator(std::uint64_t runSeed, std::uint32_t replicate, std::uint32_t attempt);

// The 64-bit key of the calibrated model's streams of one replicate attempt:
// distinct for every (run seed, replicate, attempt) but by chance.
std::uint64_t CalibratedAttemptKey(std::uint64_t runSeed, std::uint32_t replicate, std::uint32_t attempt);

// The draws below take any generator with Next() giving uniform 64-bit
// values: Xoshiro256, or the calibrated model's LaneGenerator.

// A uniform double in [0, 1) on the grid of 2^-53: the top 53 bits.
template <typename Generator>
double UniformUnit(Generator& gen) {
  return static_cast<double>(gen.Next() >> 11) * 0x1.0p-53;
}

// An integer in [0, bound), bound >= 1, every value exactly equally likely
// (Lemire's multiply-and-reject).
template <typename Generator>
std::uint64_t UniformBelow(Generator& gen, std::uint64_t bound) {
  // The high word of x * bound is uniform below bound once the low words
  // that would favour some values are rejected (128-bit products are a GCC
  // and Clang extension).
  __extension__ using Wide = unsigned __int128;
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

// A standard normal by Marsaglia's polar method (one value per call; the
// pair's second value is dropped so that a draw depends on nothing before it
// in the stream but its own uniforms).
template <typename Generator>
double StandardNormal(Generator& gen) {
  for (;;) {
    const double u = 2.0 * UniformUnit(gen) - 1.0;
    const double v = 2.0 * UniformUnit(gen) - 1.0;
    const double s = u * u + v * v;
    if (s > 0.0 && s < 1.0) return u * std::sqrt(-2.0 * std::log(s) / s);
  }
}

}  // namespace korvane
