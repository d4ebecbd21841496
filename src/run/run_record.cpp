#include "run/run_record.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "run/version.h"

namespace korvane {
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

std::string Hex(std::string_view bytes) {
  std::string hex;
  for (const char c : bytes) hex += fmt::format("{:02x}", static_cast<unsigned char>(c));
  return hex;
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

}  // namespace

bool IsUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceAt(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// The key that keeps the exact bytes of a text that is not UTF-8, in hex.
std::string BytesKey(std::string_view key) { return fmt::format("{}-bytes", key); }

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

std::string_view ModelName(ModelKind model) { return model == ModelKind::kContinuous ? "continuous" : "discrete"; }

std::optional<ModelKind> ParseModelName(std::string_view text) {
  if (text == "discrete") return ModelKind::kDiscrete;
  if (text == "continuous") return ModelKind::kContinuous;
  return std::nullopt;
}

std::string_view LineEndsName(LineEnds lineEnds) { return lineEnds == LineEnds::kCrlf ? "crlf" : "lf"; }

std::optional<LineEnds> ParseLineEndsName(std::string_view text) {
  if (text == "lf") return LineEnds::kLf;
  if (text == "crlf") return LineEnds::kCrlf;
  return std::nullopt;
}

std::string NamedFormatsText(const NamedFormats& formats) {
  return fmt::format("{}{}", formats.only ? "only=" : "", fmt::join(formats.names, ","));
}

NamedFormats ParseNamedFormats(std::string_view text) {
  const std::vector<std::string_view> known = ChoosableFormatNames();
  const auto trimmed = [](std::string_view piece) {
    while (!piece.empty() && (piece.front() == ' ' || piece.front() == '\t')) piece.remove_prefix(1);
    while (!piece.empty() && (piece.back() == ' ' || piece.back() == '\t')) piece.remove_suffix(1);
    return piece;
  };
  NamedFormats formats;
  text = trimmed(text);
  constexpr std::string_view kOnly = "only=";
  if (text.starts_with(kOnly)) {
    formats.only = true;
    text.remove_prefix(kOnly.size());
    if (trimmed(text).empty()) {
      throw std::invalid_argument(
          fmt::format("only= needs the names of the formats to write: {}", fmt::join(known, ", ")));
    }
  }
  if (trimmed(text).empty()) return formats;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view name =
        trimmed(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      throw std::invalid_argument(fmt::format(
          "{}; the formats are {}",
          name.empty() ? std::string("an empty format name") : fmt::format("no format is named \"{}\"", name),
          fmt::join(known, ", ")));
    }
    if (std::find(formats.names.begin(), formats.names.end(), name) == formats.names.end()) {
      formats.names.emplace_back(name);
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return formats;
}

std::string RecordText(const FieldInfo& info, FieldRef ref) {
  std::string shown = ShowField(info, ref);
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
    std::string shortest = fmt::format("{}", value);
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
  line("truth", r.truth ? "1" : "0");
  line("local-ancestry", r.localAncestry ? "1" : "0");
  line("calibrated", r.calibrated ? "true" : "false");
  if (!r.formats.Empty()) textLine("formats", NamedFormatsText(r.formats));
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
    throw std::runtime_error(
        fmt::format("cannot {} {}: {}", action, file.string(), std::generic_category().message(error)));
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
                                           std::generic_category().message(error),
                                           std::generic_category().message(truncateError)));
    }
    ::close(fd);
    fail("write", error);
  }
  if (::close(fd) != 0) fail("write", errno);
}

std::string_view OutcomeName(RunOutcome::Status status) {
  switch (status) {
    case RunOutcome::Status::kCompleted:
      return "completed";
    case RunOutcome::Status::kFailed:
      return "failed";
    case RunOutcome::Status::kStopped:
      return "stopped";
    case RunOutcome::Status::kRefused:
      break;
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
  record.truth = options.truth;
  record.localAncestry = options.localAncestry;
  record.calibrated = options.calibrated;
  record.formats = options.formats;
  record.outcome = std::string(OutcomeName(outcome.status));
  record.replicatesCompleted = outcome.replicatesCompleted;
  record.message = outcome.message;
  record.replicatesShortOfNullLoci = outcome.replicatesShortOfNullLoci;
  record.fewestNullLoci = outcome.fewestNullLoci;
  AppendRunRecord(outputDirectory / kRunRecordFile, record);
  return true;
}

}  // namespace korvane
