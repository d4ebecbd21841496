#pragma once

// Decimal text of numbers, written straight into a buffer, independent of
// the locale.

#include <cstddef>

namespace korvane::output_detail {

// "%d": the decimal text of `value`, in at most kIntRoom bytes.
char* PutInt(char* out, int value);
inline constexpr std::size_t kIntRoom = 11;

// "%.<decimals>f" for 0 to 9 decimals, the same text as the C library's
// (the exact binary value rounded to the nearest), in at most kFixedRoom
// bytes; or nullptr, with nothing written, for a value it leaves to a
// general formatter: one that is not finite, 2^51 or more units of the last
// decimal, or so near halfway between two results that the quick product
// cannot tell which is nearer.
char* PutFixedOrNull(char* out, double value, int decimals);
inline constexpr std::size_t kFixedRoom = 32;

}  // namespace korvane::output_detail
