#include "run/exchange.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace korvane {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal exponent of the leading significant digit of an unsigned
// decimal number (digits, optional fraction, optional exponent) that is not
// zero. Used only to tell an overflow from an underflow; saturates.
long long LeadingDecimalExponent(std::string_view number) {
  std::size_t i = 0;
  long long integerDigits = 0;  // significant digits before the point
  long long leadingFractionZeros = 0;
  bool seenSignificant = false;
  for (; i < number.size() && IsDigit(number[i]); ++i) {
    if (seenSignificant || number[i] != '0') {
      seenSignificant = true;
      ++integerDigits;
    }
  }
  if (i < number.size() && number[i] == '.') {
    ++i;
    for (; i < number.size() && IsDigit(number[i]); ++i) {
      if (!seenSignificant && number[i] == '0') {
        ++leadingFractionZeros;
      } else {
        seenSignificant = true;
      }
    }
  }
  long long exponent = 0;
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) negative = number[i++] == '-';
    for (; i < number.size() && IsDigit(number[i]); ++i) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (number[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  const long long lead = integerDigits > 0 ? integerDigits - 1 : -(leadingFractionZeros + 1);
  return lead + exponent;
}

}  // namespace

std::string FormatFieldBound(double bound, FieldType type) {
  switch (type) {
    case FieldType::kFlag:
    case FieldType::kInteger:
      return fmt::format("{}", static_cast<long>(bound));
    case FieldType::kShortReal:
      return FormatGeneral(static_cast<float>(bound), 6);
    case FieldType::kReal:
    case FieldType::kText:
      break;
  }
  return FormatGeneral(bound, 15);
}

namespace {

std::string Substitute(std::string_view pattern, const std::string& first, const std::string& second) {
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
      text += pattern[i + 1] == '1' ? first : second;
      ++i;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

bool InRange(double value, const std::optional<FieldRange>& range) {
  return !range || (value >= range->min && value <= range->max);
}

bool InRange(float value, const std::optional<FieldRange>& range) {
  return !range || (value >= static_cast<float>(range->min) && value <= static_cast<float>(range->max));
}

}  // namespace

std::optional<long long> ParseExchangeInteger(std::string_view text) {
  std::string_view t = TrimBlanks(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  if (t.empty()) return std::nullopt;
  for (char c : t) {
    if (!IsDigit(c)) return std::nullopt;
  }
  std::uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), magnitude);
  if (error != std::errc() || end != t.data() + t.size()) return std::nullopt;
  constexpr std::uint64_t kMaxPositive = static_cast<std::uint64_t>(std::numeric_limits<long long>::max());
  if (negative) {
    if (magnitude > kMaxPositive + 1) return std::nullopt;
    return magnitude == kMaxPositive + 1 ? std::numeric_limits<long long>::min() : -static_cast<long long>(magnitude);
  }
  if (magnitude > kMaxPositive) return std::nullopt;
  return static_cast<long long>(magnitude);
}

std::optional<double> ParseExchangeReal(std::string_view text) {
  std::string_view t = TrimBlanks(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  // Digits or a point must follow the sign: this keeps out a second sign, the
  // words for infinity and not-a-number, and hexadecimal ("0x" fails below,
  // as the general format stops at the "x").
  if (t.empty() || !(IsDigit(t.front()) || t.front() == '.')) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), value, std::chars_format::general);
  if (end != t.data() + t.size()) return std::nullopt;
  if (error == std::errc::result_out_of_range) {
    // Too large for a double is not a number a field can hold; too small is
    // the nearest double, zero.
    if (LeadingDecimalExponent(t) > 0) return std::nullopt;
    value = 0;
  } else if (error != std::errc()) {
    return std::nullopt;
  }
  if (!std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

std::string FormatGeneral(double value, int digits) { return fmt::format("{:.{}g}", value, digits); }

MessageLanguage MessageLanguageFromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    // Read on the program's first thread, before any worker exists.
    const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
    if (value != nullptr && *value != '\0') {
      return std::string_view(value).starts_with("zh") ? MessageLanguage::kChinese : MessageLanguage::kEnglish;
    }
  }
  return MessageLanguage::kEnglish;
}

std::string ExchangeMessage(ExchangeFailure failure, const FieldInfo& info, MessageLanguage language) {
  const bool chinese = language == MessageLanguage::kChinese;
  // A flag's range is its two tick states.
  const FieldRange range = info.type == FieldType::kFlag ? FieldRange{0, 1} : info.range.value_or(FieldRange{});
  switch (failure) {
    case ExchangeFailure::kNone:
      return {};
    case ExchangeFailure::kNotInteger:
      return chinese ? "请键入一个整数。" : "Please enter an integer.";
    case ExchangeFailure::kNotNumber:
      return chinese ? "请键入一个数。" : "Please enter a number.";
    case ExchangeFailure::kIntegerRange:
      return Substitute(chinese ? "“请填入一个在%1和%2之间的整数。”" : "Please enter an integer between %1 and %2.",
                        FormatFieldBound(range.min, info.type), FormatFieldBound(range.max, info.type));
    case ExchangeFailure::kNumberRange:
      return Substitute(chinese ? "“请填入一个在%1和%2之间的数字。”" : "Please enter a number between %1 and %2.",
                        FormatFieldBound(range.min, info.type), FormatFieldBound(range.max, info.type));
  }
  return {};
}

ExchangeFailure TakeField(const FieldInfo& info, FieldRef ref, std::string_view text) {
  switch (info.type) {
    case FieldType::kText:
      *std::get<std::string*>(ref) = std::string(text);
      return ExchangeFailure::kNone;

    case FieldType::kFlag: {
      const std::optional<long long> value = ParseExchangeInteger(text);
      if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max()) {
        return ExchangeFailure::kNotInteger;
      }
      if (*value != 0 && *value != 1) return ExchangeFailure::kIntegerRange;
      *std::get<int*>(ref) = static_cast<int>(*value);
      return ExchangeFailure::kNone;
    }

    case FieldType::kInteger: {
      const std::optional<long long> value = ParseExchangeInteger(text);
      if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max()) {
        return ExchangeFailure::kNotInteger;
      }
      *std::get<int*>(ref) = static_cast<int>(*value);
      return InRange(static_cast<double>(*value), info.range) ? ExchangeFailure::kNone : ExchangeFailure::kIntegerRange;
    }

    case FieldType::kReal: {
      const std::optional<double> value = ParseExchangeReal(text);
      if (!value) return ExchangeFailure::kNotNumber;
      *std::get<double*>(ref) = *value;
      return InRange(*value, info.range) ? ExchangeFailure::kNone : ExchangeFailure::kNumberRange;
    }

    case FieldType::kShortReal: {
      const std::optional<double> value = ParseExchangeReal(text);
      if (!value) return ExchangeFailure::kNotNumber;
      // A number beyond the float range cannot be held at all: refused by its
      // range, with the field left as it was.
      if (std::fabs(*value) > std::numeric_limits<float>::max()) return ExchangeFailure::kNumberRange;
      const float stored = static_cast<float>(*value);
      *std::get<float*>(ref) = stored;
      return InRange(stored, info.range) ? ExchangeFailure::kNone : ExchangeFailure::kNumberRange;
    }
  }
  return ExchangeFailure::kNone;
}

std::string ShowField(const FieldInfo& info, FieldRef ref) {
  switch (info.type) {
    case FieldType::kFlag:
    case FieldType::kInteger:
      return fmt::format("{}", *std::get<int*>(ref));
    case FieldType::kReal:
      return FormatGeneral(*std::get<double*>(ref), 15);
    case FieldType::kShortReal:
      return FormatGeneral(*std::get<float*>(ref), 6);
    case FieldType::kText:
      return *std::get<std::string*>(ref);
  }
  return {};
}

}  // namespace korvane
