#include "refdata/reference_data.h"

#include <fmt/format.h>
#include <fmt/std.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace korvane {
namespace {

constexpr int kMaxLines = 200;

[[noreturn]] void Fail(const std::filesystem::path& path, const std::string& what) {
  throw DataError(fmt::format("{}: {}", path.string(), what));
}

std::ifstream OpenForReading(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) Fail(path, "file not found");
  if (std::filesystem::is_directory(path, ec)) Fail(path, "is a directory, not a file");
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(path, fmt::format("cannot be opened: {}", std::strerror(errno)));
  return in;
}

AlleleClass ClassOfLetter(char c) {
  switch (c) {
    case 'A': case 'T': return 1;
    case 'C': case 'G': return 2;
    default: return 0;
  }
}

std::string Printable(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x7F) return fmt::format("'{}'", c);
  return fmt::format("byte 0x{:02X}", u);
}

}  // namespace

HaplotypeTable ReadHaplotypeFile(const std::filesystem::path& path, int snpCount) {
  std::ifstream in = OpenForReading(path);
  HaplotypeTable table;
  table.snpCount = snpCount;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (static_cast<int>(lines.size()) == kMaxLines) {
      Fail(path, fmt::format("more than {} lines (at most 100 reference individuals)", kMaxLines));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  if (in.bad()) Fail(path, fmt::format("read error: {}", std::strerror(errno)));

  // A final unpaired line is ignored, and so is its content.
  const int pairs = static_cast<int>(lines.size()) / 2;
  if (pairs == 0) Fail(path, "holds no reference individual (no complete pair of haplotype lines)");
  table.individualCount = pairs;
  table.classes.resize(static_cast<std::size_t>(2 * pairs) * snpCount);
  for (int l = 0; l < 2 * pairs; ++l) {
    const std::string& text = lines[l];
    if (static_cast<int>(text.size()) < snpCount) {
      Fail(path, fmt::format("line {}: {} letters, fewer than the region's {} SNPs", l + 1, text.size(), snpCount));
    }
    AlleleClass* out = table.classes.data() + static_cast<std::size_t>(l) * snpCount;
    for (int i = 0; i < snpCount; ++i) {
      const AlleleClass c = ClassOfLetter(text[i]);
      if (c == 0) {
        Fail(path, fmt::format("line {}, SNP {}: {} is not one of the letters A, C, G, T", l + 1, i + 1,
                               Printable(text[i])));
      }
      out[i] = c;
    }
  }
  return table;
}

std::vector<MapRecord> ReadMapRecords(const std::filesystem::path& path, int snpCount) {
  std::ifstream in = OpenForReading(path);
  std::vector<MapRecord> records(snpCount);
  const int wanted = 3 * snpCount;
  int count = 0;
  int lineNumber = 0;
  std::string line;
  while (count < wanted && std::getline(in, line)) {
    ++lineNumber;
    std::size_t at = 0;
    while (count < wanted) {
      at = line.find_first_not_of(" \t\r\f\v", at);
      if (at == std::string::npos) break;
      const std::size_t end = std::min(line.find_first_of(" \t\r\f\v", at), line.size());
      const std::string token = line.substr(at, end - at);
      at = end;
      const int snp = count / 3;
      char* stop = nullptr;
      errno = 0;
      const double value = std::strtod(token.c_str(), &stop);
      if (stop != token.c_str() + token.size() || !std::isfinite(value)) {
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
  }
  if (in.bad()) Fail(path, fmt::format("read error: {}", std::strerror(errno)));
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
