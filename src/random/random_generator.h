#pragma once

// The one pseudo-random generator of a simulation and the draws built on it.
//
// The stream is a fixed linear congruential generator: every draw of every
// replicate comes from it in a fixed order, so a replicate is a pure function
// of its seed, its parameters and the reference data. The generator is an
// object handed by reference to whatever draws; there is no global state.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace korvane {

class RandomGenerator {
 public:
  static constexpr std::uint32_t kMultiplier = 214013u;
  static constexpr std::uint32_t kIncrement = 2531011u;

  explicit RandomGenerator(std::uint32_t seed = 0) : state_(seed) {}

  RandomGenerator(const RandomGenerator&) = delete;
  RandomGenerator& operator=(const RandomGenerator&) = delete;
  RandomGenerator(RandomGenerator&&) = default;
  RandomGenerator& operator=(RandomGenerator&&) = default;

  void Seed(std::uint32_t seed) { state_ = seed; }

  // Advances the state and returns bits 16..30 of the new state: 0..32767.
  int Next() {
    state_ = state_ * kMultiplier + kIncrement;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
  }

  std::uint32_t State() const { return state_; }

  // Puts the generator where a bulk draw kernel, which runs the same stream
  // outside the object, has taken it.
  void SetState(std::uint32_t state) { state_ = state; }

  // Skips `steps` outputs in O(log steps).
  void Advance(std::uint64_t steps);

 private:
  std::uint32_t state_;
};

// The generator is affine, so k steps are one affine map as well:
// state(n + k) = multiplier * state(n) + increment (mod 2^32). Bulk draw
// kernels use these maps to compute many consecutive states side by side.
struct LcgJump {
  std::uint32_t multiplier = 1;
  std::uint32_t increment = 0;

  std::uint32_t Apply(std::uint32_t state) const { return multiplier * state + increment; }
};

// The map of `steps` steps, by repeated squaring of the one-step map.
constexpr LcgJump JumpOf(std::uint64_t steps) {
  LcgJump result;
  LcgJump power{RandomGenerator::kMultiplier, RandomGenerator::kIncrement};
  while (steps != 0) {
    if (steps & 1u) {
      result = {power.multiplier * result.multiplier, power.multiplier * result.increment + power.increment};
    }
    power = {power.multiplier * power.multiplier, power.multiplier * power.increment + power.increment};
    steps >>= 1;
  }
  return result;
}

inline void RandomGenerator::Advance(std::uint64_t steps) { state_ = JumpOf(steps).Apply(state_); }

// A uniform draw whose bounds truncate to the same number of thousandths has
// no values to draw from. Front ends refuse the parameters that lead to it
// before a run; reaching it anyway ends the run with this error.
class DrawSpanError : public std::domain_error {
 public:
  explicit DrawSpanError(const std::string& what) : std::domain_error(what) {}
};

// The common draw U(0,1): one of 0.000, 0.001, ..., 0.999, as a number of
// thousandths. Equal to DrawUniform(gen, 0.0, 1.0) * 1000 and cheaper.
inline int DrawThousandths(RandomGenerator& gen) { return gen.Next() % 1000; }

// U(0,1) as a double: DrawThousandths / 1000.0.
inline double DrawUnit(RandomGenerator& gen) { return DrawThousandths(gen) / 1000.0; }

// A value from lo to hi at a resolution of 0.001: the bounds are scaled to
// thousandths and truncated toward zero, and the generator's output is reduced
// modulo their difference. Throws DrawSpanError when the difference is zero.
double DrawUniform(RandomGenerator& gen, double lo, double hi);

// The same draw with single-precision bounds, each widened exactly to double
// before scaling (0.7f scales to 699.99998..., hence 699 thousandths).
double DrawUniformF(RandomGenerator& gen, float lo, float hi);

// The Gaussian density with the constant 6.2831852 standing for 2 pi.
double NormalDensity(double x, double mean, double sd);

// A normal draw by rejection on [-halfRange, halfRange): two generator
// outputs per try, first the candidate, then the acceptance level.
double DrawNormal(RandomGenerator& gen, double mean, double sd, double halfRange);

// The largest sd for which DrawNormal still has a non-zero acceptance span:
// 1000 x the density's maximum must truncate to at least 1.
bool NormalDrawHasSpan(double sd, double halfRange);

// Whether 1000 x the density's maximum fits the 32-bit bound of a draw. A
// tiny sd (below about 1.86e-7) puts it beyond, and the acceptance draw would
// wrap to a span of arbitrary size instead of drawing from (0, top).
bool NormalDensityTopFits(double sd);

// A run seed from the operating system's entropy source, 0 to 2^32 - 1: runs
// started in the same second (parallel loops, array jobs) get different ones.
std::uint32_t SeedFromEntropy();

// The seed of attempt `attempt` (1-based) of replicate `replicate` in a run
// seeded with `runSeed`: a 64-bit mix of the three, so that no two replicates
// or retries of a run share a stream by accident.
std::uint32_t AttemptSeed(std::uint64_t runSeed, std::uint32_t replicate, std::uint32_t attempt);

}  // namespace korvane
