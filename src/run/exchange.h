#pragma once

// The exchange of a study's parameter record with the fields of a form, and
// with the options of the command line.
//
// Every field of a record has one entry in its study's field table, in the
// exchange order of the form: its option key, its form label, its control id,
// its type, its range and an accessor into the record. Taking reads the
// fields' texts in table order, checks each as it goes and stops at the first
// failure; showing formats every field as the form displays it. Both front
// ends go through here, so a value is refused, and with the same message,
// whatever it was typed into.
//
// Taking one field:
//  - flag: the text "0" or "1" (a tick state); anything else fails as an
//    integer that is not 0 or 1;
//  - text: taken unchanged, never fails;
//  - integer: blanks and tabs trimmed at both ends, then an optionally signed
//    run of decimal digits and nothing else, within 32 bits;
//  - real and short real: blanks and tabs trimmed, then an optional sign,
//    digits with an optional fraction, an optional exponent and nothing else
//    (no hexadecimal, infinity or not-a-number, and the decimal point is
//    always a point whatever the locale); a short real is stored as a 32-bit
//    float and compared with its range as one.
// A value that parses is stored before its range is checked, so a field whose
// only fault is its range holds the new value; a text that does not parse
// leaves the field as it was. Flags are the exception: a flag only ever holds
// 0 or 1, so a refused flag keeps its previous state.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace korvane {

enum class FieldType { kFlag, kInteger, kReal, kShortReal, kText };

// Inclusive bounds. Integer bounds are exact in a double, short-real bounds
// are compared after conversion to float.
struct FieldRange {
  double min = 0;
  double max = 0;
};

struct FieldInfo {
  std::string key;    // option name in kebab case, e.g. "sample-size"
  std::string label;  // the text beside the field on the form, e.g. "Sample size:"
  int controlId = 0;  // the id of the form's control
  FieldType type = FieldType::kText;
  std::optional<FieldRange> range;  // none: the value is not range-tested
  // False for the status line: exchanged with the form, never set by a user.
  bool isOption = true;
};

// Where a field's value lives in its record.
using FieldRef = std::variant<int*, double*, float*, std::string*>;

// Builders of the table entries.
inline FieldInfo FlagField(std::string key, std::string label, int controlId) {
  return {std::move(key), std::move(label), controlId, FieldType::kFlag, std::nullopt};
}
inline FieldInfo IntegerField(std::string key, std::string label, int controlId, int min, int max) {
  return {std::move(key), std::move(label), controlId, FieldType::kInteger, FieldRange{double(min), double(max)}};
}
inline FieldInfo RealField(std::string key, std::string label, int controlId, std::optional<FieldRange> range) {
  return {std::move(key), std::move(label), controlId, FieldType::kReal, range};
}
inline FieldInfo ShortRealField(std::string key, std::string label, int controlId, FieldRange range) {
  return {std::move(key), std::move(label), controlId, FieldType::kShortReal, range};
}
inline FieldInfo TextField(std::string key, std::string label, int controlId) {
  return {std::move(key), std::move(label), controlId, FieldType::kText, std::nullopt};
}
// The status line at the foot of the form (control 1076): a text without a label.
inline FieldInfo StatusLineField() { return {"status-text", "", 1076, FieldType::kText, std::nullopt, false}; }

template <class Record>
struct Field {
  FieldInfo info;
  std::function<FieldRef(Record&)> access;
};

template <class Record>
using FieldTable = std::span<const Field<Record>>;

enum class ExchangeFailure {
  kNone,
  kNotInteger,    // an integer or flag text that is not an integer
  kNotNumber,     // a real text that is not a number
  kIntegerRange,  // an integer (or flag) outside its range
  kNumberRange,   // a real or short real outside its range
};

enum class MessageLanguage { kEnglish, kChinese };

// Simplified Chinese when the first non-empty of LC_ALL, LC_MESSAGES and
// LANG starts with "zh", English otherwise.
MessageLanguage MessageLanguageFromEnvironment();

// The message for a failure of `info`, with the range bounds written as the
// form writes them ("%ld" for integers, "%.*g" at 15 significant digits for
// reals and 6 for short reals). Empty for kNone.
std::string ExchangeMessage(ExchangeFailure failure, const FieldInfo& info, MessageLanguage language);

// A range bound as the messages write it: "%ld" for integers and flags,
// "%.*g" at 15 significant digits for reals and 6 for short reals.
std::string FormatFieldBound(double bound, FieldType type);

// Takes `text` into the field at `ref` by the rules above.
ExchangeFailure TakeField(const FieldInfo& info, FieldRef ref, std::string_view text);

// The field as the form shows it: "%d" for integers and flags, "%.*g" at 15
// significant digits for reals and 6 for short reals, texts unchanged.
std::string ShowField(const FieldInfo& info, FieldRef ref);

// The outcome of taking a record's fields.
struct TakeResult {
  bool taken = true;           // every field was taken
  std::size_t fieldIndex = 0;  // the failing field's index in its table
  ExchangeFailure failure = ExchangeFailure::kNone;
  std::string message;  // the failure's message, without the label

  explicit operator bool() const { return taken; }
};

// The text of field `index` of the table, or nothing to leave that field as
// it is (the command line gives only the options that were set).
using FieldTextSource = std::function<std::optional<std::string>(std::size_t index, const FieldInfo& info)>;

// Takes the fields of `table` in order from `textOf`, stopping at the first
// failure: the fields before it hold their new values, the fields after it
// their previous ones.
template <class Record>
TakeResult TakeFields(Record& record, FieldTable<Record> table, const FieldTextSource& textOf,
                      MessageLanguage language) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    const FieldInfo& info = table[i].info;
    const std::optional<std::string> text = textOf(i, info);
    if (!text) continue;
    const ExchangeFailure failure = TakeField(info, table[i].access(record), *text);
    if (failure != ExchangeFailure::kNone) {
      return TakeResult{false, i, failure, ExchangeMessage(failure, info, language)};
    }
  }
  return TakeResult{};
}

// Calls `sink(index, info, text)` for every field of `table`, in order, with
// the field's shown text.
template <class Record, class Sink>
void ShowFields(const Record& record, FieldTable<Record> table, Sink&& sink) {
  // The accessors form a pointer into the record; nothing is written through it.
  Record& readable = const_cast<Record&>(record);
  for (std::size_t i = 0; i < table.size(); ++i) {
    sink(i, table[i].info, ShowField(table[i].info, table[i].access(readable)));
  }
}

// The shown text of the field with `key`, or nothing when the table has no
// such field.
template <class Record>
std::optional<std::string> ShowFieldByKey(const Record& record, FieldTable<Record> table, std::string_view key) {
  for (const auto& field : table) {
    if (field.info.key == key) return ShowField(field.info, field.access(const_cast<Record&>(record)));
  }
  return std::nullopt;
}

// The index of the field with `key`, or nothing.
template <class Record>
std::optional<std::size_t> FindField(FieldTable<Record> table, std::string_view key) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i].info.key == key) return i;
  }
  return std::nullopt;
}

// Parsers of the exchange, exposed for other readers of user text (the
// command line's own numeric options). Both trim blanks and tabs first.
std::optional<long long> ParseExchangeInteger(std::string_view text);  // any 64-bit value
std::optional<double> ParseExchangeReal(std::string_view text);        // finite values only

// "%.*g" with `digits` significant digits, independent of the locale.
std::string FormatGeneral(double value, int digits);

}  // namespace korvane
