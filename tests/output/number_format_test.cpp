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
  std::vector<double> values = {0.0,  -0.0,     0.125,   2.675,   -0.005,  1e-7,   5e-7,   0.0000005, 0.0000015,
                                0.5,  1.5,      2.5,     -0.5,    -2.5,    0.245,  -3.456, 20.0,      0.375,
                                1e15, 1e22,     1e300,   -1e300,  5e-324,  1.7976931348623157e308, 3000.5,
                                12345678.5, 999.995, 0.0049999999999999, 123456.0000005};
  // Exact halves, quarters and eighths at each printed precision.
  for (int n = -2000; n <= 2000; ++n) {
    values.push_back(n / 8.0);
    values.push_back(n / 1000.0 + 0.0005);
    values.push_back(n * 1e-6 + 5e-7);
    values.push_back(n / 200.0);
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
  EXPECT_GT(checked, 15000);
}

TEST(NumberFormatTest, IntegersMatchPrintf) {
  for (int value : {0, 1, -1, 9, 10, 12867, -2147483647 - 1, 2147483647}) {
    TextBuffer text;
    output_detail::AppendInt(text, value);
    EXPECT_EQ(fmt::to_string(text), std::to_string(value));
  }
}

}  // namespace
}  // namespace korvane
