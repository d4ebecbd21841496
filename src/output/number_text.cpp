#include "output/number_text.h"

#include <cmath>
#include <cstdint>

namespace korvane::output_detail {
namespace {

constexpr double kScale[10] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr std::uint64_t kPower[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

char* PutUnsigned(char* out, std::uint64_t value) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) *out++ = digits[--count];
  return out;
}

}  // namespace

char* PutInt(char* out, int value) {
  unsigned magnitude = static_cast<unsigned>(value);
  if (value < 0) {
    *out++ = '-';
    magnitude = 0u - magnitude;
  }
  return PutUnsigned(out, magnitude);
}

char* PutFixedOrNull(char* out, double value, int decimals) {
  if (decimals < 0 || decimals > 9 || !std::isfinite(value)) return nullptr;
  // The value in units of the last decimal. Powers of ten up to 1e22 are
  // exact doubles, so the product's only error is its rounding, at most half
  // a unit in its last place: at most scaled * 2^-53.
  const double scaled = std::fabs(value) * kScale[decimals];
  if (!(scaled < 0x1p51)) return nullptr;
  const double whole = std::floor(scaled);
  const double fraction = scaled - whole;  // exact below 2^52
  // Farther from one half than the error, the exact value rounds the same
  // way (rounding to the nearest integer changes only at halves). Exact
  // halves, and anything too near them, are left to the general formatter.
  if (std::fabs(fraction - 0.5) <= scaled * 0x1p-50) return nullptr;
  const std::uint64_t units = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
  // The C library prints the sign of every negative value, -0.0 and values
  // that round to zero included.
  if (std::signbit(value)) *out++ = '-';
  out = PutUnsigned(out, units / kPower[decimals]);
  if (decimals > 0) {
    *out++ = '.';
    std::uint64_t rest = units % kPower[decimals];
    for (int k = decimals - 1; k >= 0; --k, rest /= 10) out[k] = static_cast<char>('0' + rest % 10);
    out += decimals;
  }
  return out;
}

}  // namespace korvane::output_detail
