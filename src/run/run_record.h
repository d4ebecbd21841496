#pragma once

// The run record: every run appends one [[run]] table to korvane-runs.toml
// in its output directory, so that any run can be repeated with
// `--params korvane-runs.toml`. Earlier runs are never rewritten: the table is
// appended as text, laid out in the form's exchange order.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/exchange.h"
#include "run/model_kind.h"
#include "run/study_run.h"

namespace korvane {

inline constexpr const char* kRunRecordFile = "korvane-runs.toml";

// One field of the record, by its option key. Reals are written as the form
// shows them unless that text would not give back the same value (more
// significant digits than the form shows), then with the fewest digits that
// do, so that a repeated run uses exactly the same numbers.
struct RecordField {
  std::string key;
  FieldType type = FieldType::kText;
  std::string text;
};

struct RunRecord {
  std::string start;  // ISO 8601, UTC: 2026-12-09T12:34:56Z
  std::string version;
  std::string study;  // "qual" or "quan"
  ModelKind model = ModelKind::kDiscrete;
  std::uint64_t seed = 0;
  int firstReplicate = 1;
  std::filesystem::path dataDir;
  LineEnds lineEnds = LineEnds::kLf;
  int maxAttempts = 100;
  bool truth = true;
  bool localAncestry = false;
  bool calibrated = false;  // the calibrated model; a record without the key is of the specified model
  NamedFormats formats{};   // recorded as "formats" when any are named
  std::string outcome;      // "completed", "failed" or "stopped"
  int replicatesCompleted = 0;
  std::string message;                // why a failed run ended
  int replicatesShortOfNullLoci = 0;  // replicates with fewer null loci than asked
  int fewestNullLoci = 0;
  std::vector<RecordField> fields;
};

// The record's fields of a study record: every option field, in table order.
template <class Record>
std::vector<RecordField> RecordFields(const Record& record, FieldTable<Record> table);

// The text value of one field for the record (see RecordField).
std::string RecordText(const FieldInfo& info, FieldRef ref);

// "YYYY-MM-DDTHH:MM:SSZ" of a calendar time.
std::string IsoUtc(std::int64_t secondsSinceEpoch);

// The [[run]] table as TOML text, beginning with "[[run]]" and ending in a
// line end.
std::string FormatRunRecord(const RunRecord& record);

// Appends the table to `file` (creating its directory and the file when
// needed), after a blank line when the file already holds text, in one
// write: a write the system takes only in part is taken back, so the file is
// either as it was or has the whole table. Throws std::runtime_error naming
// the path and the system's reason.
void AppendRunRecord(const std::filesystem::path& file, const RunRecord& record);

// The texts of a record's settings, shared with the command line.
std::string_view ModelName(ModelKind model);  // "discrete" or "continuous"
std::optional<ModelKind> ParseModelName(std::string_view text);
std::string_view LineEndsName(LineEnds lineEnds);  // "lf" or "crlf"
std::optional<LineEnds> ParseLineEndsName(std::string_view text);

// The text of --formats and of the record's "formats": the registry names
// of the genotype formats, separated by commas ("bed,eigensoft"), after
// "only=" when they replace the form's formats ("only=bed"); "" names none.
std::string NamedFormatsText(const NamedFormats& formats);
// Reads that text (spaces around the names are ignored). Throws
// std::invalid_argument, with a message that names the bad name and the
// names accepted, for a name that is not a genotype format of the registry,
// an empty name, or "only=" with no name.
NamedFormats ParseNamedFormats(std::string_view text);

// Whether a text is valid UTF-8, which TOML strings must be. A text that is
// not (a path may hold any bytes) is written with U+FFFD in its place and its
// exact bytes in hex under BytesKey(key); FromHex gives them back.
bool IsUtf8(std::string_view text);
std::string BytesKey(std::string_view key);
std::optional<std::string> FromHex(std::string_view hex);

// A number's text as a TOML float: an integral text gets ".0".
std::string AsTomlFloat(std::string text);

// "completed", "failed", "stopped" or "refused".
std::string_view OutcomeName(RunOutcome::Status status);

// Completes `record` (study, model and fields already set) with the run's
// start, the version, the run options and the outcome, and appends it to
// korvane-runs.toml in `outputDirectory`. A run that failed before it wrote
// anything (its data folder failed the checks, say) leaves no output
// directory and gets no record: returns false then. Throws what
// AppendRunRecord throws.
bool RecordRun(RunRecord record, const std::filesystem::path& outputDirectory, const RunOptions& options,
               const RunOutcome& outcome, std::int64_t startSeconds);

template <class Record>
std::vector<RecordField> RecordFields(const Record& record, FieldTable<Record> table) {
  std::vector<RecordField> fields;
  Record& readable = const_cast<Record&>(record);  // read through the accessors only
  for (const auto& field : table) {
    if (!field.info.isOption) continue;
    fields.push_back({field.info.key, field.info.type, RecordText(field.info, field.access(readable))});
  }
  return fields;
}

}  // namespace korvane
