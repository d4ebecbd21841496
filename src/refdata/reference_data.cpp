#include "refdata/reference_data.h"

#include <fmt/format.h>
#include <fmt/std.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>

namespace korvane {
namespace {

constexpr int kMaxLines = 200;

[[noreturn]] void Fail(const std::filesystem::path& path, const std::string& what) {
  throw DataError(fmt::format("{}: {}", path.string(), what));
}

// The whole file, read at once: the panels are a few megabytes in all.
std::string ReadWholeFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) Fail(path, "file not found");
  if (std::filesystem::is_directory(path, ec)) Fail(path, "is a directory, not a file");
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(path, fmt::format("cannot be opened: {}", std::strerror(errno)));
  std::string text;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) text.append(buffer, static_cast<std::size_t>(in.gcount()));
  if (in.bad()) Fail(path, fmt::format("read error: {}", std::strerror(errno)));
  return text;
}

// The lines of a text: split at line feeds, a carriage return before one
// dropped; a last line needs no line end, and nothing after the last line
// end is a line.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    visit(++number, line);
  }
}

// The class of each byte: 1 for A and T, 2 for C and G, 0 for anything else.
constexpr std::array<AlleleClass, 256> kClassOfByte = [] {
  std::array<AlleleClass, 256> table{};
  table['A'] = table['T'] = 1;
  table['C'] = table['G'] = 2;
  return table;
}();

AlleleClass ClassOfLetter(char c) { return kClassOfByte[static_cast<unsigned char>(c)]; }

std::string Printable(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x7F) return fmt::format("'{}'", c);
  return fmt::format("byte 0x{:02X}", u);
}

}  // namespace

HaplotypeTable ReadHaplotypeFile(const std::filesystem::path& path, int snpCount) {
  const std::string text = ReadWholeFile(path);
  std::vector<std::string_view> lines;
  ForEachLine(text, [&](int number, std::string_view line) {
    if (number > kMaxLines) Fail(path, fmt::format("more than {} lines (at most 100 reference individuals)", kMaxLines));
    lines.push_back(line);
  });

  // A final unpaired line is ignored, and so is its content.
  HaplotypeTable table;
  table.snpCount = snpCount;
  const int pairs = static_cast<int>(lines.size()) / 2;
  if (pairs == 0) Fail(path, "holds no reference individual (no complete pair of haplotype lines)");
  table.individualCount = pairs;
  table.classes.resize(static_cast<std::size_t>(2 * pairs) * snpCount);
  for (int l = 0; l < 2 * pairs; ++l) {
    const std::string_view line = lines[l];
    if (static_cast<int>(line.size()) < snpCount) {
      Fail(path, fmt::format("line {}: {} letters, fewer than the region's {} SNPs", l + 1, line.size(), snpCount));
    }
    AlleleClass* out = table.classes.data() + static_cast<std::size_t>(l) * snpCount;
    for (int i = 0; i < snpCount; ++i) {
      const AlleleClass c = ClassOfLetter(line[i]);
      if (c == 0) {
        Fail(path, fmt::format("line {}, SNP {}: {} is not one of the letters A, C, G, T", l + 1, i + 1,
                               Printable(line[i])));
      }
      out[i] = c;
    }
  }
  return table;
}

std::vector<MapRecord> ReadMapRecords(const std::filesystem::path& path, int snpCount) {
  const std::string text = ReadWholeFile(path);
  std::vector<MapRecord> records(snpCount);
  const int wanted = 3 * snpCount;
  int count = 0;
  constexpr std::string_view kBlanks = " \t\r\f\v";
  ForEachLine(text, [&](int lineNumber, std::string_view line) {
    while (count < wanted) {
      const std::size_t at = line.find_first_not_of(kBlanks);
      if (at == std::string_view::npos) return;
      line.remove_prefix(at);
      const std::string_view token = line.substr(0, line.find_first_of(kBlanks));
      line.remove_prefix(token.size());
      const int snp = count / 3;
      // A number in the C locale whatever the process's locale; a leading
      // plus sign is allowed, as the usual number extraction allows it.
      const std::string_view digits = token.size() > 1 && token[0] == '+' && token[1] != '-' ? token.substr(1) : token;
      double value = 0;
      const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
      if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) {
        Fail(path, fmt::format("line {}, SNP {}: '{}' is not a number", lineNumber, snp + 1, token));
      }
      MapRecord& record = records[snp];
      switch (count % 3) {
        case 0: record.position = value; break;
        case 1:
          if (value < 0) {
            Fail(path, fmt::format("line {}, SNP {}: negative distance {} cM from the previous SNP", lineNumber,
                                   snp + 1, token));
          }
          record.distanceFromPrevious = value;
          break;
        default: record.third = value; break;
      }
      ++count;
    }
  });
  if (count < wanted) {
    Fail(path, fmt::format("{} numbers, fewer than the {} needed (3 for each of the region's {} SNPs)", count,
                           wanted, snpCount));
  }
  return records;
}

ReferenceData ReferenceData::Load(const std::filesystem::path& dataDir) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dataDir, ec)) {
    throw DataError(fmt::format("{}: reference data folder not found", dataDir.string()));
  }
  ReferenceData data;
  data.dir_ = dataDir;
  data.regions_.resize(RegionCatalogue::Count());
  std::filesystem::path firstPath;
  for (int r = 0; r < RegionCatalogue::Count(); ++r) {
    RegionData& region = data.regions_[r];
    const int snps = RegionCatalogue::SnpCount(r);
    // The order of reading: the second population's file, then YRI's, then the map.
    for (SourcePopulation population : {SourcePopulation::kSecond, SourcePopulation::kYri}) {
      const auto path = PanelPath(dataDir, r, HaplotypeFileKind(population));
      HaplotypeTable table = ReadHaplotypeFile(path, snps);
      if (firstPath.empty()) {
        firstPath = path;
      } else if (table.individualCount != data.panelSize_) {
        throw DataError(fmt::format("{}: {} reference individuals, but {} holds {}; every haplotype file must "
                                    "hold the same number",
                                    path.string(), table.individualCount, firstPath.string(), data.panelSize_));
      }
      data.panelSize_ = table.individualCount;
      (population == SourcePopulation::kYri ? region.yri : region.second) = std::move(table);
    }
    region.map = ReadMapRecords(PanelPath(dataDir, r, PanelFileKind::kTheta), snps);
  }
  return data;
}

}  // namespace korvane
