#include "cli/params_file.h"

#include <fmt/format.h>
#include <toml++/toml.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "cli/command_line.h"

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Refuse(const fs::path& file, const std::string& what) {
  throw UsageError(fmt::format("{}: {}", file.string(), what));
}

// A TOML value of a field as the text the exchange takes.
std::string FieldText(const fs::path& file, const std::string& key, const toml::node& node) {
  if (const auto* s = node.as_string()) return s->get();
  if (const auto* i = node.as_integer()) return fmt::format("{}", i->get());
  if (const auto* f = node.as_floating_point()) return AsTomlFloat(fmt::format("{}", f->get()));
  if (const auto* b = node.as_boolean()) return b->get() ? "1" : "0";
  Refuse(file, fmt::format("{}: expected a number, a string or true/false", key));
}

std::string StringSetting(const fs::path& file, const std::string& key, const toml::node& node) {
  if (const auto* s = node.as_string()) return s->get();
  Refuse(file, fmt::format("{}: expected a string", key));
}

std::uint64_t SeedSetting(const fs::path& file, const toml::node& node) {
  // Records of earlier versions may hold larger seeds, written as strings.
  std::optional<std::uint64_t> seed;
  if (const auto* i = node.as_integer(); i != nullptr && i->get() >= 0) seed = static_cast<std::uint64_t>(i->get());
  if (const auto* s = node.as_string()) {
    const std::string& text = s->get();
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (!text.empty() && error == std::errc() && end == text.data() + text.size()) seed = value;
  }
  if (!seed || *seed > kMaxRunSeed)
    Refuse(file, fmt::format("seed: expected a whole number from 0 to {}", kMaxRunSeed));
  return *seed;
}

int BoundedSetting(const fs::path& file, const std::string& key, const toml::node& node, int most) {
  const auto* i = node.as_integer();
  if (i == nullptr || i->get() < 1 || i->get() > most) {
    Refuse(file, fmt::format("{}: expected a whole number from 1 to {}", key, most));
  }
  return static_cast<int>(i->get());
}

// Settings of a record that describe the run rather than start one.
const std::set<std::string, std::less<>> kDescriptiveKeys = {"start",
                                                             "version",
                                                             "study",
                                                             "outcome",
                                                             "replicates-completed",
                                                             "message",
                                                             "replicates-short-of-null-loci",
                                                             "fewest-null-loci"};

// The start of each "[[run]]" line of a text: 0-based offset and 1-based line.
std::vector<std::pair<std::size_t, int>> RunTableStarts(std::string_view text) {
  std::vector<std::pair<std::size_t, int>> starts;
  int number = 1;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line == "[[run]]") starts.emplace_back(at, number);
    at = end + 1;
    ++number;
  }
  return starts;
}

std::string ParseErrorText(const toml::parse_error& e, int firstLine) {
  const auto& where = e.source().begin;
  if (where.line == 0) return std::string(e.description());
  return fmt::format("line {}: {}", where.line + firstLine - 1, e.description());
}

// The file's text, refusing what is not a regular file (a FIFO would block,
// a directory or a device holds no record).
std::string ReadParamsText(const fs::path& file) {
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (ec || !fs::exists(status)) Refuse(file, "file not found");
  if (fs::is_directory(status)) Refuse(file, "is a directory, not a file");
  if (!fs::is_regular_file(status)) Refuse(file, "is not a regular file");
  std::ifstream in(file, std::ios::binary);
  if (!in) Refuse(file, fmt::format("cannot be read: {}", std::generic_category().message(errno)));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) Refuse(file, "read error");
  return text.str();
}

}  // namespace

StoredRun ReadStoredRun(const fs::path& file, std::string_view study, const std::vector<std::string>& fieldKeys) {
  const std::string text = ReadParamsText(file);
  std::string note;
  toml::table document;
  try {
    document = toml::parse(text, file.string());
  } catch (const toml::parse_error& e) {
    // A record whose end was damaged (a disk that filled up under an older
    // version, an edit gone wrong) still holds its earlier runs: the last
    // [[run]] table that reads on its own is taken, and the note says which.
    const auto starts = RunTableStarts(text);
    bool found = false;
    for (std::size_t k = starts.size(); k-- > 0 && !found;) {
      const std::size_t end = k + 1 < starts.size() ? starts[k + 1].first : text.size();
      try {
        document = toml::parse(std::string_view(text).substr(starts[k].first, end - starts[k].first), file.string());
        found = true;
        note = fmt::format("{}: {}; repeating the last readable run, the [[run]] table of line {}", file.string(),
                           ParseErrorText(e, 1), starts[k].second);
      } catch (const toml::parse_error&) {
      }
    }
    if (!found) Refuse(file, ParseErrorText(e, 1));
  }
  if (document.empty()) Refuse(file, "holds no run to repeat and no option keys");

  const toml::table* run = &document;
  if (const toml::node* runs = document.get("run")) {
    if (const auto* array = runs->as_array()) {
      if (array->empty() || !array->back().is_table()) Refuse(file, "run: expected [[run]] tables");
      run = array->back().as_table();
    } else if (runs->is_table()) {
      run = runs->as_table();
    } else {
      Refuse(file, "run: expected [[run]] tables");
    }
    if (document.size() != 1) {
      for (const auto& [key, value] : document) {
        if (key.str() != "run") Refuse(file, fmt::format("unknown key '{}' beside the [[run]] tables", key.str()));
      }
    }
  }

  const std::set<std::string, std::less<>> fields(fieldKeys.begin(), fieldKeys.end());
  // The study first: a record of the other study has keys this one lacks.
  if (const toml::node* recorded = run->get("study")) {
    const std::string name = StringSetting(file, "study", *recorded);
    if (name != study) Refuse(file, fmt::format("the run recorded is a '{}' study, not '{}'", name, study));
  }
  StoredRun stored;
  stored.note = note;
  // Exact bytes of texts that are not UTF-8, applied once every key is read.
  std::map<std::string, std::string> exactBytes;
  for (const auto& [tomlKey, node] : *run) {
    const std::string key(tomlKey.str());
    if (key.size() > 6 && key.ends_with("-bytes")) {
      const std::string base = key.substr(0, key.size() - 6);
      const std::optional<std::string> bytes = FromHex(StringSetting(file, key, node));
      if (!bytes) Refuse(file, fmt::format("{}: expected the hex digits of {}'s bytes", key, base));
      exactBytes[base] = *bytes;
    } else if (fields.count(key) != 0) {
      stored.fieldTexts[key] = FieldText(file, key, node);
    } else if (key == "model") {
      const std::optional<ModelKind> model = ParseModelName(StringSetting(file, key, node));
      if (!model) Refuse(file, "model: expected \"discrete\" or \"continuous\"");
      stored.model = model;
    } else if (key == "seed") {
      stored.seed = SeedSetting(file, node);
    } else if (key == "first-replicate") {
      stored.firstReplicate = BoundedSetting(file, key, node, kMaxReplicateNumber);
    } else if (key == "max-attempts") {
      stored.maxAttempts = BoundedSetting(file, key, node, kMaxAttemptsPerReplicate);
    } else if (key == "truth" || key == "local-ancestry") {
      const auto* i = node.as_integer();
      if (i == nullptr || (i->get() != 0 && i->get() != 1)) Refuse(file, fmt::format("{}: expected 0 or 1", key));
      (key == "truth" ? stored.truth : stored.localAncestry) = i->get() == 1;
    } else if (key == "calibrated") {
      // Written as a boolean; 0 and 1 as the other switches take them.
      const auto* b = node.as_boolean();
      const auto* i = node.as_integer();
      if (b == nullptr && (i == nullptr || (i->get() != 0 && i->get() != 1))) {
        Refuse(file, "calibrated: expected true or false (or 1 or 0)");
      }
      stored.calibrated = b != nullptr ? b->get() : i->get() == 1;
    } else if (key == "formats") {
      try {
        stored.formats = ParseNamedFormats(StringSetting(file, key, node));
      } catch (const std::invalid_argument& e) {
        Refuse(file, fmt::format("formats: {}", e.what()));
      }
    } else if (key == "data") {
      stored.dataDir = fs::path(StringSetting(file, key, node));
    } else if (key == "line-ends") {
      const std::optional<LineEnds> lineEnds = ParseLineEndsName(StringSetting(file, key, node));
      if (!lineEnds) Refuse(file, "line-ends: expected \"lf\" or \"crlf\"");
      stored.lineEnds = lineEnds;
    } else if (kDescriptiveKeys.count(key) == 0) {
      Refuse(file, fmt::format("unknown key '{}'", key));
    }
  }
  for (const auto& [base, bytes] : exactBytes) {
    if (fields.count(base) != 0) {
      stored.fieldTexts[base] = bytes;
    } else if (base == "data") {
      stored.dataDir = fs::path(bytes);
    } else if (kDescriptiveKeys.count(base) == 0) {
      Refuse(file, fmt::format("unknown key '{}'", BytesKey(base)));
    }
  }
  return stored;
}

}  // namespace korvane::cli
