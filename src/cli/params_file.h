#pragma once

// Reading --params: the starting values of a run from a run record
// (korvane-runs.toml, written by run/run_record.h) or a hand-written table of
// option keys.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/run_record.h"

namespace korvane::cli {

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
  std::optional<bool> truth;
  std::optional<bool> localAncestry;
  // The calibrated model (true) or the specified one (false); a record
  // without the key is of the specified model.
  std::optional<bool> calibrated;
  // The formats named (--formats); absent when the record names none.
  std::optional<NamedFormats> formats;
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

}  // namespace korvane::cli
