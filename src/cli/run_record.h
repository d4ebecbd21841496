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

#include "qual/exchange.h"
#include "qual/qual_parameters.h"
#include "qual/study_run.h"

namespace korvane::cli {

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
  std::string outcome;  // "completed", "failed" or "stopped"
  int replicatesCompleted = 0;
  std::string message;  // why a failed run ended
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

// The starting values of --params: the last [[run]] table of a TOML file, or
// the file's top-level table when it has no [[run]].
struct StoredRun {
  std::map<std::string, std::string> fieldTexts;  // option key -> text for the exchange
  std::optional<ModelKind> model;
  std::optional<std::uint64_t> seed;
  std::optional<int> firstReplicate;
  std::optional<std::filesystem::path> dataDir;
  std::optional<LineEnds> lineEnds;
  std::optional<int> maxAttempts;
  // Not empty when the file's end is damaged and an earlier table was taken:
  // what is wrong and which table is used.
  std::string note;
};

// Reads `file` for a study ("qual" or "quan") with the given field keys.
// A file that does not parse as a whole gives its last [[run]] table that
// parses on its own (StoredRun::note says so). Throws UsageError naming the
// file for a path that is not a regular file, a file that cannot be read or
// parsed or holds nothing, a key that is neither a field nor a run setting,
// a record of the other study, or a value of the wrong kind.
StoredRun ReadStoredRun(const std::filesystem::path& file, std::string_view study,
                        const std::vector<std::string>& fieldKeys);

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

}  // namespace korvane::cli
