// The writers' number formatting must give exactly the C library's printf text.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "output/writer_support.h"

namespace korvane {
namespace {

using output_detail::TextBuffer;

std::string Printf(const char* format, double value) {
  std::vector<char> text(512);
  const int length = std::snprintf(text.data(), text.size(), format, value);
  if (length >= static_cast<int>(text.size())) {
    text.resize(static_cast<std::size_t>(length) + 1);
    std::snprintf(text.data(), text.size(), format, value);
  }
  return std::string(text.data(), static_cast<std::size_t>(length));
}

template <typename Append>
std::string Formatted(Append append, double value) {
  TextBuffer text;
  append(text, value);
  return fmt::to_string(text);
}

std::vector<double> Samples() {
  std::vector<double> values = {0.0,           -0.0,       0.125,   2.675,
                                -0.005,        1e-7,       5e-7,    0.0000005,
                                0.0000015,     0.5,        1.5,     2.5,
                                -0.5,          -2.5,       0.245,   -3.456,
                                20.0,          0.375,      1e15,    1e22,
                                1e300,         -1e300,     5e-324,  1.7976931348623157e308,
                                3000.5,        12345678.5, 999.995, 0.0049999999999999,
                                123456.0000005};
  // Exact halves, quarters and eighths at each printed precision.
  for (int n = -2000; n <= 2000; ++n) {
    values.push_back(n / 8.0);
    values.push_back(n / 1000.0 + 0.0005);
    values.push_back(n * 1e-6 + 5e-7);
    values.push_back(n / 200.0);
  }
  // Just below, at and just above the halves of the last printed decimal,
  // where a quick product could round the wrong way.
  for (int decimals : {0, 2, 6}) {
    for (int n = 0; n < 3000; ++n) {
      const double half = (n * 7919 % 2000000 + 0.5) / std::pow(10.0, decimals);
      for (double v = std::nextafter(std::nextafter(half, 0.0), 0.0), k = 0; k < 5; ++k, v = std::nextafter(v, 1e300)) {
        values.push_back(v);
        values.push_back(-v);
      }
    }
  }
  // Map distances and positions as a replicate has them, the limit of the
  // quick path and integers beyond it.
  for (int i = 0; i < 2000; ++i) {
    values.push_back(i * 0.000137 + 0.0000001 * (i % 11));
    values.push_back(100000.0 + 987.0 * i);
  }
  for (double v :
       {0x1p51 / 1e6, 0x1p51 / 100, 0x1p51, 0x1p52 - 1, 0x1p53 + 2, 4503599627370495.5, 2251799813685247.5}) {
    values.push_back(std::nextafter(v, 0.0));
    values.push_back(v);
    values.push_back(std::nextafter(v, 1e300));
  }
  // Values spread over many magnitudes.
  unsigned state = 12345;
  for (int i = 0; i < 3000; ++i) {
    state = state * 1103515245u + 12345u;
    const double mantissa = (state % 1000003) / 1000003.0;
    values.push_back(std::ldexp(mantissa, static_cast<int>(state % 120) - 60) * (i % 2 ? -1 : 1));
  }
  return values;
}

TEST(NumberFormatTest, FixedFormatsMatchPrintf) {
  int checked = 0;
  for (double value : Samples()) {
    ASSERT_EQ(Formatted(output_detail::AppendFixed6, value), Printf("%f", value)) << value;
    ASSERT_EQ(Formatted(output_detail::AppendFixed2, value), Printf("%.2f", value)) << value;
    ASSERT_EQ(Formatted(output_detail::AppendFixed0, value), Printf("%.0f", value)) << value;
    ++checked;
  }
  EXPECT_GT(checked, 100000);
}

TEST(NumberFormatTest, QuickPathTakesOrdinaryValuesAndLeavesHalves) {
  char text[output_detail::kFixedRoom];
  // Ordinary distances, positions and phenotypes are formatted by the quick path.
  for (double value : {0.0, -0.0, 0.013702, 1.25, 123456789.0, -3.456, 20.0, 0.2451, 1e-9, -1e-9}) {
    for (int decimals : {0, 2, 6}) {
      char* end = output_detail::PutFixedOrNull(text, value, decimals);
      ASSERT_NE(end, nullptr) << value << ", " << decimals << " decimals";
      const std::string format = "%." + std::to_string(decimals) + "f";
      EXPECT_EQ(std::string(text, end), Printf(format.c_str(), value));
    }
  }
  // Exact halves, huge values and non-finite values are left to the general formatter.
  for (double value : {0.5, 2.5, 3000.5, -0.5, 1e300, std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_EQ(output_detail::PutFixedOrNull(text, value, 0), nullptr) << value;
  }
  EXPECT_EQ(output_detail::PutFixedOrNull(text, 0.125, 2), nullptr);
  EXPECT_EQ(output_detail::PutFixedOrNull(text, 1.0, 10), nullptr);
}

TEST(NumberFormatTest, IntegersMatchPrintf) {
  std::vector<int> values = {0, 1, -1, 9, 10, -10, 99, 100, 12867, 999999999, 1000000000, -2147483647 - 1, 2147483647};
  unsigned state = 3;
  for (int i = 0; i < 2000; ++i) {
    state = state * 1103515245u + 12345u;
    values.push_back(static_cast<int>(state) >> (i % 31));
  }
  for (int value : values) {
    TextBuffer text;
    output_detail::AppendInt(text, value);
    ASSERT_EQ(fmt::to_string(text), std::to_string(value));
    char digits[output_detail::kIntRoom];
    char* end = output_detail::PutInt(digits, value);
    ASSERT_EQ(std::string(digits, end), std::to_string(value));
  }
}

}  // namespace
}  // namespace korvane
