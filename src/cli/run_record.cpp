#include "cli/run_record.h"

#include <fmt/format.h>
#include <toml++/toml.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "cli/command_line.h"
#include "core_version.h"

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;

// The length of the UTF-8 sequence that starts text[at], 0 when the bytes
// there are not one (TOML strings must be valid UTF-8).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte(k) & 0x3Fu);
  }
  // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
  const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

bool IsUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceAt(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// A TOML basic string. Bytes that are not UTF-8 (a path may hold any) become
// U+FFFD, so the file stays valid TOML; the record then keeps the exact bytes
// beside it (see BytesKey).
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceAt(text, at);
    if (length == 0) {
      out += "\\uFFFD";
      ++at;
      continue;
    }
    if (length > 1) {
      out.append(text.substr(at, length));
      at += length;
      continue;
    }
    const char c = text[at++];
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

// The key that keeps the exact bytes of a text that is not UTF-8, in hex.
std::string BytesKey(std::string_view key) { return fmt::format("{}-bytes", key); }

std::string Hex(std::string_view bytes) {
  std::string hex;
  for (const char c : bytes) hex += fmt::format("{:02x}", static_cast<unsigned char>(c));
  return hex;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t at = 0; at < hex.size(); at += 2) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(hex.data() + at, hex.data() + at + 2, value, 16);
    if (error != std::errc() || end != hex.data() + at + 2) return std::nullopt;
    bytes += static_cast<char>(value);
  }
  return bytes;
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
  if (!seed || *seed > kMaxRunSeed) Refuse(file, fmt::format("seed: expected a whole number from 0 to {}", kMaxRunSeed));
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
const std::set<std::string, std::less<>> kDescriptiveKeys = {
    "start", "version", "study", "outcome", "replicates-completed", "message", "replicates-short-of-null-loci",
    "fewest-null-loci"};

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
  // A text that is not UTF-8 keeps its exact bytes in a companion key.
  const auto textLine = [&](std::string_view key, std::string_view value) {
    line(key, Quoted(value));
    if (!IsUtf8(value)) line(BytesKey(key), Quoted(Hex(value)));
  };
  line("start", r.start);
  textLine("version", r.version);
  textLine("study", r.study);
  textLine("model", std::string(ModelName(r.model)));
  line("seed", r.seed <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? fmt::format("{}", r.seed)
                   : Quoted(fmt::format("{}", r.seed)));
  line("first-replicate", fmt::format("{}", r.firstReplicate));
  textLine("data", r.dataDir.string());
  textLine("line-ends", std::string(LineEndsName(r.lineEnds)));
  line("max-attempts", fmt::format("{}", r.maxAttempts));
  textLine("outcome", r.outcome);
  line("replicates-completed", fmt::format("{}", r.replicatesCompleted));
  if (r.replicatesShortOfNullLoci > 0) {
    line("replicates-short-of-null-loci", fmt::format("{}", r.replicatesShortOfNullLoci));
    line("fewest-null-loci", fmt::format("{}", r.fewestNullLoci));
  }
  if (!r.message.empty()) line("message", Quoted(r.message));
  for (const RecordField& field : r.fields) {
    if (field.type == FieldType::kText) {
      textLine(field.key, field.text);
    } else {
      line(field.key, TomlValue(field));
    }
  }
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
  const int fd = ::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) fail("open", errno);
  struct stat before {};
  if (::fstat(fd, &before) != 0) {
    const int error = errno;
    ::close(fd);
    fail("read", error);
  }
  if (!S_ISREG(before.st_mode)) {
    ::close(fd);
    throw std::runtime_error(fmt::format("cannot write {}: not a regular file", file.string()));
  }
  // Tables are separated by a blank line, also after a hand-written file
  // without a line end at its end.
  if (before.st_size > 0) {
    char last = '\n';
    if (::pread(fd, &last, 1, before.st_size - 1) != 1) last = '\n';
    text.insert(0, last == '\n' ? "\n" : "\n\n");
  }
  // The whole table in one write: a write that the system takes only in part
  // (a full disk) is taken back, so the record never ends in half a table.
  ssize_t written = 0;
  do {
    written = ::write(fd, text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  if (written != static_cast<ssize_t>(text.size())) {
    const int error = written < 0 ? errno : ENOSPC;
    if (written > 0 && ::ftruncate(fd, before.st_size) != 0) {
      const int truncateError = errno;
      ::close(fd);
      throw std::runtime_error(fmt::format("cannot write {}: {}; its last table is incomplete ({})", file.string(),
                                           std::strerror(error), std::strerror(truncateError)));
    }
    ::close(fd);
    fail("write", error);
  }
  if (::close(fd) != 0) fail("write", errno);
}

namespace {

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
  if (!in) Refuse(file, fmt::format("cannot be read: {}", std::strerror(errno)));
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
  record.replicatesShortOfNullLoci = outcome.replicatesShortOfNullLoci;
  record.fewestNullLoci = outcome.fewestNullLoci;
  AppendRunRecord(outputDirectory / kRunRecordFile, record);
  return true;
}

}  // namespace korvane::cli
