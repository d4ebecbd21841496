#include "refdata/reference_data.h"

#include <fmt/format.h>
#include <fmt/std.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <system_error>

#include "random/cpu_features.h"

namespace korvane {
namespace {

constexpr int kMaxLines = 200;

[[noreturn]] void Fail(const std::filesystem::path& path, const std::string& what) {
  throw DataError(fmt::format("{}: {}", path.string(), what));
}

// What a path that is not a regular file names, for the message.
std::string_view FileTypeName(std::filesystem::file_type type) {
  switch (type) {
    case std::filesystem::file_type::directory:
      return "a directory";
    case std::filesystem::file_type::fifo:
      return "a FIFO";
    case std::filesystem::file_type::character:
      return "a character device";
    case std::filesystem::file_type::block:
      return "a block device";
    case std::filesystem::file_type::socket:
      return "a socket";
    default:
      return "of an unknown kind";
  }
}

// Whole files, read at once into one buffer that every file of a folder
// reuses: the panels are a few megabytes in all. The buffer is sized from the
// file's size and grows if the file is longer.
class FileReader {
 public:
  // The file's bytes, valid until the next Read. Only a regular file (or a
  // symbolic link to one) is opened: opening a FIFO waits for a writer that
  // may never come, and a device need not end.
  std::string_view Read(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::file_type type = std::filesystem::status(path, ec).type();
    if (type == std::filesystem::file_type::not_found) Fail(path, "file not found");
    // A status that cannot be had (no permission to search the folder, say)
    // is left to the opening below to report.
    if (type != std::filesystem::file_type::regular && type != std::filesystem::file_type::none) {
      Fail(path, fmt::format("is not a regular file ({})", FileTypeName(type)));
    }
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
      if (errno == ENOENT) Fail(path, "file not found");
      Fail(path, fmt::format("cannot be opened: {}", std::generic_category().message(errno)));
    }
    const auto expected = std::filesystem::file_size(path, ec);
    Reserve(ec ? std::size_t{1} << 16 : static_cast<std::size_t>(expected) + 1, 0);
    std::size_t size = 0;
    for (;;) {
      size += std::fread(buffer_.get() + size, 1, capacity_ - size, file.get());
      if (size < capacity_) break;
      Reserve(2 * capacity_, size);
    }
    if (std::ferror(file.get())) Fail(path, fmt::format("read error: {}", std::generic_category().message(errno)));
    return {buffer_.get(), size};
  }

 private:
  // At least `capacity` bytes, the first `keep` of them kept.
  void Reserve(std::size_t capacity, std::size_t keep) {
    if (capacity <= capacity_) return;
    auto larger = std::make_unique_for_overwrite<char[]>(capacity);
    if (keep > 0) std::memcpy(larger.get(), buffer_.get(), keep);
    buffer_ = std::move(larger);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
};

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

#if defined(__x86_64__)
// Thirty-two letters per compare: the byte masks of A or T and of C or G,
// gathered into bits. Returns the letters done (a multiple of 64).
__attribute__((target("avx2"))) int PackLettersAvx2(const char* letters, int count, std::uint64_t* row, bool& valid) {
  const __m256i a = _mm256_set1_epi8('A');
  const __m256i c = _mm256_set1_epi8('C');
  const __m256i g = _mm256_set1_epi8('G');
  const __m256i t = _mm256_set1_epi8('T');
  std::uint64_t allValid = ~std::uint64_t{0};
  int i = 0;
  for (; i + kLociPerWord <= count; i += kLociPerWord) {
    std::uint64_t classOne = 0;
    std::uint64_t validBits = 0;
    for (int k = 0; k < 2; ++k) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(letters + i + 32 * k));
      const __m256i at = _mm256_or_si256(_mm256_cmpeq_epi8(v, a), _mm256_cmpeq_epi8(v, t));
      const __m256i cg = _mm256_or_si256(_mm256_cmpeq_epi8(v, c), _mm256_cmpeq_epi8(v, g));
      classOne |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(at))} << (32 * k);
      validBits |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(at, cg)))} << (32 * k);
    }
    allValid &= validBits;
    row[i / kLociPerWord] = classOne;
  }
  valid = allValid == ~std::uint64_t{0};
  return i;
}

#endif

// Packs the classes of `count` letters into a row (bit k of the row: letter k
// is A or T). False if any of them is not one of A, C, G, T; the row is then
// unspecified. The bits above `count` in the last word are 0. Whole words
// go through AVX2 when the processor has it; the letters after the last
// whole word, and all of them without AVX2, one at a time.
bool PackLetters(const char* letters, int count, std::uint64_t* row) {
  int i = 0;
#if defined(__x86_64__)
  if (ActiveDrawKernel() == DrawKernel::kAvx2) {
    bool valid = true;
    i = PackLettersAvx2(letters, count, row, valid);
    if (!valid) return false;
  }
#endif
  for (; i < count; i += kLociPerWord) {
    const int n = std::min(kLociPerWord, count - i);
    std::uint64_t classOne = 0;
    bool valid = true;
    for (int k = 0; k < n; ++k) {
      const AlleleClass alleleClass = ClassOfLetter(letters[i + k]);
      valid &= alleleClass != 0;
      classOne |= std::uint64_t{alleleClass == 1} << k;
    }
    if (!valid) return false;
    row[i / kLociPerWord] = classOne;
  }
  return true;
}

// The common case in one pass: every line holds at least the SNP count's
// letters, all valid, and there are at most 200 lines. The letters are packed
// as they are checked and each line end is looked for only after them. False
// for anything else, which the checking reader then reports.
bool DecodeWellFormed(std::string_view text, HaplotypeTable& table) {
  const int snps = table.snpCount;
  const std::size_t words = static_cast<std::size_t>(table.WordsPerRow());
  std::vector<std::uint64_t>& rows = table.words;
  rows.assign(words * std::min<std::size_t>(kMaxLines, text.size() / (static_cast<std::size_t>(snps) + 1) + 1), 0);
  std::size_t at = 0;
  int lines = 0;
  while (at < text.size()) {
    if (lines == kMaxLines) return false;
    if (rows.size() < (lines + 1) * words) rows.resize((lines + 1) * words, 0);
    const bool packed = text.size() - at >= static_cast<std::size_t>(snps) &&
                        PackLetters(text.data() + at, snps, rows.data() + lines * words);
    const std::size_t end = text.find('\n', packed ? at + snps : at);
    const bool last = end == std::string_view::npos || end + 1 == text.size();
    ++lines;
    // A final unpaired line is ignored whatever it holds.
    if (!packed && !(last && lines % 2 == 1)) return false;
    at = last ? text.size() : end + 1;
  }
  const int pairs = lines / 2;
  if (pairs == 0) return false;
  table.individualCount = pairs;
  rows.resize(2 * pairs * words);
  return true;
}

constexpr std::array<bool, 256> kBlankOrLineEnd = [] {
  std::array<bool, 256> table{};
  for (const char c : {' ', '\t', '\r', '\f', '\v', '\n'}) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

// Plain decimals (digits, optionally a point and more digits, 19 digits at
// most), as the maps write them: the digits as an integer divided by a power
// of ten. Both are exact in a double when the integer is below 2^53 and the
// power at most 10^22, so the division's one rounding gives the nearest
// double, the value from_chars gives. Reads from text[at] to the next white
// space and returns the position there, or npos for any other token.
std::size_t ParsePlainDecimal(std::string_view text, std::size_t at, double& value) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                            1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  std::uint64_t digits = 0;
  int count = 0;
  int fraction = -1;  // digits after the point, -1 without a point
  for (; at < text.size() && !kBlankOrLineEnd[static_cast<unsigned char>(text[at])]; ++at) {
    const char c = text[at];
    if (c >= '0' && c <= '9') {
      digits = 10 * digits + static_cast<unsigned>(c - '0');
      ++count;
      if (fraction >= 0) ++fraction;
    } else if (c == '.' && fraction < 0 && count > 0) {
      fraction = 0;
    } else {
      return std::string_view::npos;
    }
  }
  if (count == 0 || count > 19 || fraction == 0 || digits > (std::uint64_t{1} << 53) || fraction > 22) {
    return std::string_view::npos;
  }
  value = static_cast<double>(digits) / kPowersOfTen[std::max(fraction, 0)];
  return at;
}

std::string Printable(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x7F) return fmt::format("'{}'", c);
  return fmt::format("byte 0x{:02X}", u);
}

// A line of nothing but white space, or of nothing at all.
bool IsBlankLine(std::string_view line) {
  return std::all_of(line.begin(), line.end(), [](char c) { return kBlankOrLineEnd[static_cast<unsigned char>(c)]; });
}

HaplotypeTable DecodeHaplotypeRows(const std::filesystem::path& path, std::string_view text, int snpCount) {
  HaplotypeTable table;
  table.snpCount = snpCount;
  if (DecodeWellFormed(text, table)) return table;

  // Line by line, to name the first problem in the order of the file. A line
  // is checked once the next haplotype line shows it is not the final one,
  // which is ignored when unpaired. Blank lines are allowed only after the
  // last haplotype line, so haplotype line l is line l of the file, row l - 1
  // of the table.
  const std::size_t words = static_cast<std::size_t>(table.WordsPerRow());
  std::vector<std::uint64_t>& rows = table.words;
  rows.clear();
  std::string_view pending;  // the last haplotype line, not yet checked
  int pendingNumber = 0;     // its line number, 0 before the first
  int firstBlank = 0;        // the first of the blank lines since it, 0 if none
  const auto check = [&](int number, std::string_view line) {
    if (static_cast<int>(line.size()) < snpCount) {
      Fail(path, fmt::format("line {}: {} letters, fewer than the region's {} SNPs", number, line.size(), snpCount));
    }
    rows.resize(static_cast<std::size_t>(number) * words, 0);
    std::uint64_t* row = rows.data() + static_cast<std::size_t>(number - 1) * words;
    for (int i = 0; i < snpCount; ++i) {
      const AlleleClass c = ClassOfLetter(line[i]);
      if (c == 0) {
        Fail(path, fmt::format("line {}, SNP {}: {} is not one of the letters A, C, G, T", number, i + 1,
                               Printable(line[i])));
      }
      SetClassAt(row, i, c);
    }
  };
  ForEachLine(text, [&](int number, std::string_view line) {
    if (IsBlankLine(line)) {
      if (firstBlank == 0) firstBlank = number;
      return;
    }
    if (pendingNumber > 0) check(pendingNumber, pending);
    if (firstBlank > 0) Fail(path, fmt::format("line {}: blank line between haplotype lines", firstBlank));
    if (number > kMaxLines) {
      Fail(path, fmt::format("more than {} lines (at most 100 reference individuals)", kMaxLines));
    }
    pending = line;
    pendingNumber = number;
  });

  // A final unpaired line is ignored, and so is its content.
  const int pairs = pendingNumber / 2;
  if (pairs == 0) Fail(path, "holds no reference individual (no complete pair of haplotype lines)");
  if (pendingNumber % 2 == 0) check(pendingNumber, pending);
  table.individualCount = pairs;
  rows.resize(static_cast<std::size_t>(2 * pairs) * words);
  return table;
}

constexpr std::array<std::uint8_t, 256> kLetterBitOfByte = [] {
  std::array<std::uint8_t, 256> table{};
  table['A'] = kLetterA;
  table['T'] = kLetterT;
  table['C'] = kLetterC;
  table['G'] = kLetterG;
  return table;
}();

// The rows of a haplotype file and the letters each SNP shows in them: the
// table's haplotype lines are the file's first 2 * individualCount lines.
HaplotypeTable DecodeHaplotypeFile(const std::filesystem::path& path, std::string_view text, int snpCount) {
  HaplotypeTable table = DecodeHaplotypeRows(path, text, snpCount);
  table.letters.assign(static_cast<std::size_t>(snpCount), 0);
  const int haplotypes = 2 * table.individualCount;
  ForEachLine(text, [&](int number, std::string_view line) {
    if (number > haplotypes) return;
    for (int i = 0; i < snpCount; ++i) table.letters[i] |= kLetterBitOfByte[static_cast<unsigned char>(line[i])];
  });
  return table;
}

// The bounds of a map's numbers. A position is a base-pair coordinate, which
// the output map files print as a whole number and their readers keep in a
// signed 32-bit integer: 2^31 - 1 bp, eight times the longest human
// chromosome, is the largest a map may hold. A distance separates two
// neighbouring SNPs of a region of a few hundred kilobases (0.04 cM at most in
// the shipped maps); 100 cM is more than a third of the genetic length of the
// longest human chromosome, and there the Kosambi recombination fraction
// (0.482) is all but the one half of unlinked loci. A larger distance is no
// neighbour's but a number out of place, and the sum over a region stays far
// from overflowing.
constexpr double kMaxPosition = 2147483647.0;
constexpr double kMaxDistance = 100.0;

std::vector<MapRecord> DecodeMap(const std::filesystem::path& path, std::string_view text, int snpCount) {
  std::vector<MapRecord> records(snpCount);
  const std::size_t wanted = 3 * static_cast<std::size_t>(snpCount);
  std::size_t count = 0;
  int lineNumber = 1;
  int surplusLine = 0;  // the line of the first number after the last SNP's
  // The first position or distance out of bounds. It is reported after the
  // count: a number added or lost shifts the SNPs after it, and the first SNP
  // out of place then shows where.
  std::string misfit;
  std::string_view previousPosition;
  std::size_t at = 0;
  for (;;) {
    // White space between numbers: blanks, tabs, carriage returns, form
    // feeds, vertical tabs and line ends, the last counted.
    while (at < text.size() && kBlankOrLineEnd[static_cast<unsigned char>(text[at])]) {
      lineNumber += text[at] == '\n';
      ++at;
    }
    if (at == text.size()) break;
    const std::size_t snp = count / 3;
    double value = 0;
    std::size_t end = ParsePlainDecimal(text, at, value);
    if (end == std::string_view::npos) {
      end = at;
      while (end < text.size() && !kBlankOrLineEnd[static_cast<unsigned char>(text[end])]) ++end;
      const std::string_view token = text.substr(at, end - at);
      // A number in the C locale whatever the process's locale; a leading
      // plus sign is allowed, as the usual number extraction allows it.
      const std::string_view digits = token.size() > 1 && token[0] == '+' && token[1] != '-' ? token.substr(1) : token;
      const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
      if (error != std::errc() || stop != digits.data() + digits.size() || !std::isfinite(value)) {
        // Past the last SNP's numbers a token belongs to no SNP.
        const std::string where =
            count < wanted ? fmt::format("line {}, SNP {}", lineNumber, snp + 1) : fmt::format("line {}", lineNumber);
        Fail(path, fmt::format("{}: '{}' is not a number", where, token));
      }
    }
    const std::string_view token = text.substr(at, end - at);
    at = end;
    if (count >= wanted) {
      if (surplusLine == 0) surplusLine = lineNumber;
      ++count;
      continue;
    }
    MapRecord& record = records[snp];
    switch (count % 3) {
      case 0:
        if (!(value > 0 && value <= kMaxPosition && (snp == 0 || value > records[snp - 1].position)) &&
            misfit.empty()) {
          misfit = fmt::format("line {}, SNP {}: position {} bp ", lineNumber, snp + 1, token);
          if (!(value > 0)) {
            misfit += "is not positive";
          } else if (value > kMaxPosition) {
            misfit += fmt::format(
                "is above {:.0f} bp (2^31 - 1, longer than any chromosome), the largest position "
                "a map may hold",
                kMaxPosition);
          } else {
            misfit += fmt::format(
                "is not above the previous SNP's position {} bp (positions increase along the "
                "region)",
                previousPosition);
          }
        }
        record.position = value;
        previousPosition = token;
        break;
      case 1:
        if (!(value >= 0 && value <= kMaxDistance) && misfit.empty()) {
          misfit = fmt::format("line {}, SNP {}: ", lineNumber, snp + 1);
          if (value < 0) {
            misfit += fmt::format("negative distance {} cM from the previous SNP", token);
          } else {
            misfit += fmt::format(
                "distance {} cM from the previous SNP is more than {:.0f} cM, more than "
                "neighbouring SNPs are ever apart",
                token, kMaxDistance);
          }
        }
        record.distanceFromPrevious = value;
        break;
      default:
        record.third = value;
        break;
    }
    ++count;
  }
  const std::string hint =
      misfit.empty() ? "" : "; the first SNP out of place, near where a number may have been added or lost: " + misfit;
  if (count < wanted) {
    Fail(path, fmt::format("{} numbers, fewer than the {} needed (3 for each of the region's {} SNPs){}", count, wanted,
                           snpCount, hint));
  }
  if (count > wanted) {
    Fail(path, fmt::format("line {}: more numbers than the 3 for each of the region's {} SNPs ({} in all, {} "
                           "needed){}",
                           surplusLine, snpCount, count, wanted, hint));
  }
  if (!misfit.empty()) Fail(path, misfit);
  return records;
}

}  // namespace

char ClassLetter(std::uint8_t letters, AlleleClass alleleClass) {
  const bool first = (letters & (alleleClass == 1 ? kLetterA : kLetterC)) != 0;
  const bool second = (letters & (alleleClass == 1 ? kLetterT : kLetterG)) != 0;
  if (first == second) return 0;
  if (alleleClass == 1) return first ? 'A' : 'T';
  return first ? 'C' : 'G';
}

HaplotypeTable ReadHaplotypeFile(const std::filesystem::path& path, int snpCount) {
  FileReader reader;
  return DecodeHaplotypeFile(path, reader.Read(path), snpCount);
}

std::vector<MapRecord> ReadMapRecords(const std::filesystem::path& path, int snpCount) {
  FileReader reader;
  return DecodeMap(path, reader.Read(path), snpCount);
}

ReferenceData ReferenceData::Load(const std::filesystem::path& dataDir) {
  WorkTeam alone(1);
  return Load(dataDir, alone);
}

ReferenceData ReferenceData::Load(const std::filesystem::path& dataDir, WorkTeam& team) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dataDir, ec)) {
    throw DataError(fmt::format("{}: reference data folder not found", dataDir.string()));
  }
  // The files in the order of reading: of every region the second
  // population's file, then YRI's, then the map.
  struct File {
    int region;
    PanelFileKind kind;
    std::filesystem::path path;
    HaplotypeTable table;
    std::vector<MapRecord> map;
    std::exception_ptr error;
  };
  std::vector<File> files;
  for (int r = 0; r < RegionCatalogue::Count(); ++r) {
    for (PanelFileKind kind : {HaplotypeFileKind(SourcePopulation::kSecond), HaplotypeFileKind(SourcePopulation::kYri),
                               PanelFileKind::kTheta}) {
      files.push_back({r, kind, PanelPath(dataDir, r, kind), {}, {}, {}});
    }
  }

  // Each thread takes the next unread file, the longest first so that the
  // threads finish together (a haplotype file holds about 200 letters per
  // SNP, a map about 30 characters that take longer to read); a file's
  // problem is kept with it and reported below in the order of reading, so
  // the message is the one a single reader would give.
  std::vector<std::size_t> longestFirst(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) longestFirst[i] = i;
  auto work = [&](std::size_t i) {
    return RegionCatalogue::SnpCount(files[i].region) * (files[i].kind == PanelFileKind::kTheta ? 90 : 200);
  };
  std::stable_sort(longestFirst.begin(), longestFirst.end(),
                   [&](std::size_t a, std::size_t b) { return work(a) > work(b); });
  std::atomic<std::size_t> next = 0;
  auto read = [&](int) {
    FileReader reader;
    for (std::size_t k = next++; k < files.size(); k = next++) {
      File& file = files[longestFirst[k]];
      const int snps = RegionCatalogue::SnpCount(file.region);
      try {
        const std::string_view text = reader.Read(file.path);
        if (file.kind == PanelFileKind::kTheta) {
          file.map = DecodeMap(file.path, text, snps);
        } else {
          file.table = DecodeHaplotypeFile(file.path, text, snps);
        }
      } catch (...) {
        file.error = std::current_exception();
      }
    }
  };
  team.Run(team.Size(), read);

  ReferenceData data;
  data.dir_ = dataDir;
  data.regions_.resize(RegionCatalogue::Count());
  const std::filesystem::path* firstPath = nullptr;
  for (File& file : files) {
    if (file.error) std::rethrow_exception(file.error);
    RegionData& region = data.regions_[file.region];
    if (file.kind == PanelFileKind::kTheta) {
      region.map = std::move(file.map);
      continue;
    }
    if (!firstPath) {
      firstPath = &file.path;
    } else if (file.table.individualCount != data.panelSize_) {
      throw DataError(
          fmt::format("{}: {} reference individuals, but {} holds {}; every haplotype file must "
                      "hold the same number",
                      file.path.string(), file.table.individualCount, firstPath->string(), data.panelSize_));
    }
    data.panelSize_ = file.table.individualCount;
    (file.kind == HaplotypeFileKind(SourcePopulation::kYri) ? region.yri : region.second) = std::move(file.table);
  }
  return data;
}

}  // namespace korvane
