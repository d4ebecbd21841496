#include "cli/run_record.h"

#include <fmt/format.h>
#include <toml++/toml.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <set>
#include <stdexcept>
#include <system_error>

#include "cli/command_line.h"
#include "core_version.h"

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;

// A TOML basic string.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (u < 0x20 || u == 0x7f) {
          out += fmt::format("\\u{:04X}", u);
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

// A number's text as a TOML float: an integral text gets ".0".
std::string AsTomlFloat(std::string text) {
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";  // "n": inf and nan stay as they are
  return text;
}

std::string TomlValue(const RecordField& field) {
  switch (field.type) {
    case FieldType::kFlag:
    case FieldType::kInteger:
      return field.text;
    case FieldType::kReal:
    case FieldType::kShortReal:
      return AsTomlFloat(field.text);
    case FieldType::kText:
      break;
  }
  return Quoted(field.text);
}

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

int PositiveSetting(const fs::path& file, const std::string& key, const toml::node& node) {
  const auto* i = node.as_integer();
  if (i == nullptr || i->get() < 1 || i->get() > std::numeric_limits<int>::max()) {
    Refuse(file, fmt::format("{}: expected a whole number from 1 to {}", key, std::numeric_limits<int>::max()));
  }
  return static_cast<int>(i->get());
}

std::uint64_t SeedSetting(const fs::path& file, const toml::node& node) {
  // TOML integers are signed 64-bit; larger seeds are written as strings.
  if (const auto* i = node.as_integer(); i != nullptr && i->get() >= 0) return static_cast<std::uint64_t>(i->get());
  if (const auto* s = node.as_string()) {
    const std::string& text = s->get();
    std::uint64_t seed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
    if (!text.empty() && error == std::errc() && end == text.data() + text.size()) return seed;
  }
  Refuse(file, "seed: expected a whole number from 0 to 18446744073709551615");
}

// Settings of a record that describe the run rather than start one.
const std::set<std::string, std::less<>> kDescriptiveKeys = {
    "start", "version", "study", "outcome", "replicates-completed", "message"};

}  // namespace

std::string RecordText(const FieldInfo& info, FieldRef ref) {
  const std::string shown = ShowField(info, ref);
  if (info.type == FieldType::kReal) {
    const double value = *std::get<double*>(ref);
    if (ParseExchangeReal(shown) == value) return shown;
    return fmt::format("{}", value);  // the shortest text that reads back as the same double
  }
  if (info.type == FieldType::kShortReal) {
    const float value = *std::get<float*>(ref);
    const auto readBack = [](const std::string& text) {
      const std::optional<double> d = ParseExchangeReal(text);
      return d ? static_cast<float>(*d) : std::numeric_limits<float>::quiet_NaN();
    };
    if (readBack(shown) == value) return shown;
    const std::string shortest = fmt::format("{}", value);
    if (readBack(shortest) == value) return shortest;
    return fmt::format("{:.9g}", value);
  }
  return shown;
}

std::string IsoUtc(std::int64_t secondsSinceEpoch) {
  const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm utc{};
  ::gmtime_r(&t, &utc);
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                     utc.tm_hour, utc.tm_min, utc.tm_sec);
}

std::string FormatRunRecord(const RunRecord& r) {
  std::string text = "[[run]]\n";
  const auto line = [&text](std::string_view key, const std::string& value) {
    text += fmt::format("{} = {}\n", key, value);
  };
  line("start", r.start);
  line("version", Quoted(r.version));
  line("study", Quoted(r.study));
  line("model", Quoted(ModelName(r.model)));
  line("seed", r.seed <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? fmt::format("{}", r.seed)
                   : Quoted(fmt::format("{}", r.seed)));
  line("first-replicate", fmt::format("{}", r.firstReplicate));
  line("data", Quoted(r.dataDir.string()));
  line("line-ends", Quoted(LineEndsName(r.lineEnds)));
  line("max-attempts", fmt::format("{}", r.maxAttempts));
  line("outcome", Quoted(r.outcome));
  line("replicates-completed", fmt::format("{}", r.replicatesCompleted));
  if (!r.message.empty()) line("message", Quoted(r.message));
  for (const RecordField& field : r.fields) line(field.key, TomlValue(field));
  return text;
}

void AppendRunRecord(const fs::path& file, const RunRecord& record) {
  const auto fail = [&file](const char* action, int error) {
    throw std::runtime_error(fmt::format("cannot {} {}: {}", action, file.string(), std::strerror(error)));
  };
  if (file.has_parent_path()) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (ec) {
      throw std::runtime_error(
          fmt::format("cannot create directory {}: {}", file.parent_path().string(), ec.message()));
    }
  }
  std::string text = FormatRunRecord(record);
  {
    std::FILE* existing = std::fopen(file.c_str(), "rb");
    if (existing != nullptr) {
      if (std::fseek(existing, 0, SEEK_END) == 0 && std::ftell(existing) > 0) {
        std::fseek(existing, -1, SEEK_END);
        const int last = std::fgetc(existing);
        text = (last == '\n' ? "\n" : "\n\n") + text;
      }
      std::fclose(existing);
    }
  }
  std::FILE* out = std::fopen(file.c_str(), "ab");
  if (out == nullptr) fail("open", errno);
  if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
    const int error = errno;
    std::fclose(out);
    fail("write", error);
  }
  if (std::fclose(out) != 0) fail("write", errno);
}

StoredRun ReadStoredRun(const fs::path& file, std::string_view study, const std::vector<std::string>& fieldKeys) {
  toml::table document;
  try {
    document = toml::parse_file(file.string());
  } catch (const toml::parse_error& e) {
    const auto& where = e.source().begin;
    if (where.line == 0) Refuse(file, std::string(e.description()));
    Refuse(file, fmt::format("line {}: {}", where.line, e.description()));
  }

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
  for (const auto& [tomlKey, node] : *run) {
    const std::string key(tomlKey.str());
    if (fields.count(key) != 0) {
      stored.fieldTexts[key] = FieldText(file, key, node);
    } else if (key == "model") {
      const std::optional<ModelKind> model = ParseModelName(StringSetting(file, key, node));
      if (!model) Refuse(file, "model: expected \"discrete\" or \"continuous\"");
      stored.model = model;
    } else if (key == "seed") {
      stored.seed = SeedSetting(file, node);
    } else if (key == "first-replicate") {
      stored.firstReplicate = PositiveSetting(file, key, node);
    } else if (key == "max-attempts") {
      stored.maxAttempts = PositiveSetting(file, key, node);
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
  return stored;
}

std::string_view OutcomeName(RunOutcome::Status status) {
  switch (status) {
    case RunOutcome::Status::kCompleted: return "completed";
    case RunOutcome::Status::kFailed: return "failed";
    case RunOutcome::Status::kStopped: return "stopped";
    case RunOutcome::Status::kRefused: break;
  }
  return "refused";
}

bool RecordRun(RunRecord record, const std::filesystem::path& outputDirectory, const RunOptions& options,
               const RunOutcome& outcome, std::int64_t startSeconds) {
  std::error_code ec;
  if (outcome.status == RunOutcome::Status::kFailed && !std::filesystem::is_directory(outputDirectory, ec)) {
    return false;
  }
  record.start = IsoUtc(startSeconds);
  record.version = std::string(Version());
  record.seed = options.seed;
  record.firstReplicate = options.firstReplicate;
  record.dataDir = std::filesystem::absolute(options.dataDir).lexically_normal();
  record.lineEnds = options.lineEnds;
  record.maxAttempts = options.maxAttempts;
  record.outcome = std::string(OutcomeName(outcome.status));
  record.replicatesCompleted = outcome.replicatesCompleted;
  record.message = outcome.message;
  AppendRunRecord(outputDirectory / kRunRecordFile, record);
  return true;
}

}  // namespace korvane::cli
