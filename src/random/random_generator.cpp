#include "random/random_generator.h"

#include <sys/random.h>

#include <cmath>
#include <limits>
#include <random>

namespace korvane {
namespace {

// Truncation of a scaled bound toward zero to a signed 32-bit number. A value
// that does not fit becomes the "integer indefinite" INT32_MIN, as the x86
// conversion instruction gives; both bounds then usually coincide and the
// draw reports a zero span instead of wrapping silently.
std::int32_t TruncateToInt32(double x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(x);
}

std::int32_t Wrap32(std::int64_t x) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(x)); }

double DrawScaled(RandomGenerator& gen, double loScaled, double hiScaled, double lo, double hi) {
  const std::int32_t loK = TruncateToInt32(loScaled);
  const std::int32_t hiK = TruncateToInt32(hiScaled);
  const int r = gen.Next();
  const std::int32_t span = Wrap32(static_cast<std::int64_t>(hiK) - loK);
  if (span == 0) {
    throw DrawSpanError("a uniform draw between " + std::to_string(lo) + " and " + std::to_string(hi) +
                        " has no values at a resolution of 0.001");
  }
  // The remainder's sign follows the dividend, and r is never negative.
  const std::int64_t offset = static_cast<std::int64_t>(r) % span;
  const std::int32_t k = Wrap32(static_cast<std::int64_t>(loK) + offset);
  return k / 1000.0;
}

}  // namespace

double DrawUniform(RandomGenerator& gen, double lo, double hi) {
  return DrawScaled(gen, lo * 1000.0, hi * 1000.0, lo, hi);
}

double DrawUniformF(RandomGenerator& gen, float lo, float hi) {
  return DrawScaled(gen, static_cast<double>(lo) * 1000.0, static_cast<double>(hi) * 1000.0, lo, hi);
}

double NormalDensity(double x, double mean, double sd) {
  const double k = 1.0 / (std::sqrt(6.2831852) * sd);
  const double e = ((x - mean) * (-1.0) * (x - mean)) / (2.0 * sd * sd);
  return std::exp(e) * k;
}

double DrawNormal(RandomGenerator& gen, double mean, double sd, double halfRange) {
  for (;;) {
    const double x = DrawUniform(gen, -halfRange, halfRange);
    const double d = NormalDensity(x, mean, sd);
    const double top = NormalDensity(mean, mean, sd);
    const double u = DrawUniform(gen, 0.0, top);
    if (u <= d) return x;
  }
}

bool NormalDrawHasSpan(double sd, double halfRange) {
  if (!(sd > 0.0)) return false;
  const double top = NormalDensity(0.0, 0.0, sd);
  return TruncateToInt32(top * 1000.0) != 0 &&
         TruncateToInt32(halfRange * 1000.0) != TruncateToInt32(-halfRange * 1000.0);
}

bool NormalDensityTopFits(double sd) {
  if (!(sd > 0.0)) return false;
  return NormalDensity(0.0, 0.0, sd) * 1000.0 < 2147483648.0;
}

std::uint32_t SeedFromEntropy() {
  std::uint32_t seed = 0;
  if (::getrandom(&seed, sizeof seed, 0) == static_cast<ssize_t>(sizeof seed)) return seed;
  std::random_device device;
  return static_cast<std::uint32_t>(device());
}

std::uint32_t AttemptSeed(std::uint64_t runSeed, std::uint32_t replicate, std::uint32_t attempt) {
  std::uint64_t z = (runSeed << 32) | (static_cast<std::uint64_t>(replicate & 0xFFFFFu) << 12) |
                    static_cast<std::uint64_t>((attempt - 1u) & 0xFFFu);
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z = z ^ (z >> 31);
  return static_cast<std::uint32_t>(z);
}

}  // namespace korvane
