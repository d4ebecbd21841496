#include "evaluate/genotype_table.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace korvane {

namespace {

// The whole file as one string.
std::string ReadWhole(const std::filesystem::path& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) throw std::runtime_error(fmt::format("{}: cannot be opened", path.string()));
  std::string text;
  char buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
  if (std::ferror(file.get())) throw std::runtime_error(fmt::format("{}: cannot be read", path.string()));
  return text;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// A cursor over one line's fields.
struct Fields {
  const char* p;
  const char* end;

  // The next field, or an empty view at the end of the line.
  std::string_view Next() {
    while (p < end && IsSpace(*p)) ++p;
    const char* start = p;
    while (p < end && !IsSpace(*p)) ++p;
    return {start, static_cast<std::size_t>(p - start)};
  }
  std::size_t CountRest() {
    std::size_t count = 0;
    while (!Next().empty()) ++count;
    return count;
  }
};

// The lines of a text: calls visit(number, begin, end) for each line that is
// not blank, number counted from 1 over all lines.
template <typename Visit>
void ForEachLine(const std::string& text, Visit visit) {
  const char* p = text.data();
  const char* const end = p + text.size();
  std::size_t number = 0;
  while (p < end) {
    const char* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* lineEnd = newline ? newline : end;
    ++number;
    const char* q = p;
    while (q < lineEnd && IsSpace(*q)) ++q;
    if (q < lineEnd) visit(number, p, lineEnd);
    p = newline ? newline + 1 : end;
  }
}

template <typename T>
bool ParseNumber(std::string_view field, T& value) {
  const auto [ptr, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
  return ec == std::errc() && ptr == field.data() + field.size();
}

double ParseDoubleOrNaN(std::string_view field) {
  double value = 0;
  if (ParseNumber(field, value)) return value;
  return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

GenotypeTable ReadPlinkText(const std::filesystem::path& ped, const std::filesystem::path& map,
                            std::vector<double>* phenotypeColumn) {
  GenotypeTable table;
  const std::string mapName = map.filename().string();
  const std::string pedName = ped.filename().string();

  const std::string mapText = ReadWhole(map);
  ForEachLine(mapText, [&](std::size_t number, const char* begin, const char* end) {
    Fields fields{begin, end};
    const std::string_view chromosome = fields.Next();
    const std::string_view id = fields.Next();
    const std::string_view morgans = fields.Next();
    const std::string_view position = fields.Next();
    if (position.empty() || !fields.Next().empty()) {
      throw std::runtime_error(fmt::format("{} line {}: expected 4 fields (chromosome, SNP, cM, bp)", mapName, number));
    }
    int chr = 0;
    double bp = 0;
    double cm = 0;
    if (!ParseNumber(chromosome, chr)) {
      throw std::runtime_error(fmt::format("{} line {}: chromosome '{}' is not a number", mapName, number, chromosome));
    }
    if (!ParseNumber(morgans, cm) || !ParseNumber(position, bp)) {
      throw std::runtime_error(fmt::format("{} line {}: a position that is not a number", mapName, number));
    }
    table.chromosome.push_back(chr);
    table.locusIds.emplace_back(id);
    table.positionBp.push_back(static_cast<std::int64_t>(std::llround(bp)));
  });
  const std::size_t loci = table.locusIds.size();
  table.loci = static_cast<int>(loci);

  const std::string pedText = ReadWhole(ped);
  // Individual-major first (the order of the file), then transposed.
  const std::size_t lineCount = static_cast<std::size_t>(std::count(pedText.begin(), pedText.end(), '\n')) + 1;
  std::vector<std::int8_t> rows;
  rows.reserve(lineCount * loci);
  table.individualIds.reserve(lineCount);
  if (phenotypeColumn) phenotypeColumn->clear();
  ForEachLine(pedText, [&](std::size_t number, const char* begin, const char* end) {
    Fields fields{begin, end};
    fields.Next();  // FID
    const std::string_view iid = fields.Next();
    fields.Next();  // PAT
    fields.Next();  // MAT
    fields.Next();  // SEX
    const std::string_view phenotype = fields.Next();
    if (phenotype.empty()) {
      throw std::runtime_error(fmt::format("{} line {}: fewer than 6 leading columns", pedName, number));
    }
    table.individualIds.emplace_back(iid);
    if (phenotypeColumn) phenotypeColumn->push_back(ParseDoubleOrNaN(phenotype));
    const std::size_t first = rows.size();
    rows.resize(first + loci);
    std::int8_t* out = rows.data() + first;
    const char* p = fields.p;
    std::size_t codes = 0;
    // Allele codes are single characters: the common case by pointer.
    for (std::size_t l = 0; l < loci; ++l) {
      int value[2] = {0, 0};
      for (int& v : value) {
        while (p < end && IsSpace(*p)) ++p;
        if (p == end) break;
        const char c = *p;
        if ((c != '0' && c != '1' && c != '2') || (p + 1 < end && !IsSpace(p[1]))) {
          const char* start = p;
          while (p < end && !IsSpace(*p)) ++p;
          throw std::runtime_error(fmt::format("{} line {}: allele code '{}' (expected 1, 2 or 0 for missing)", pedName,
                                               number, std::string_view(start, static_cast<std::size_t>(p - start))));
        }
        v = c - '0';
        ++p;
        ++codes;
      }
      if (p == end && codes < 2 * (l + 1)) break;
      out[l] = (value[0] == 0 || value[1] == 0) ? std::int8_t{-1}
                                                : static_cast<std::int8_t>((value[0] == 1) + (value[1] == 1));
    }
    Fields rest{p, end};
    codes += rest.CountRest();
    if (codes != 2 * loci) {
      throw std::runtime_error(
          fmt::format("{} line {}: {} allele codes, expected {}", pedName, number, codes, 2 * loci));
    }
  });
  const std::size_t individuals = table.individualIds.size();
  table.individuals = static_cast<int>(individuals);

  // Blocked transpose to locus-major.
  table.dosage.resize(individuals * loci);
  constexpr std::size_t kBlock = 64;
  for (std::size_t i0 = 0; i0 < individuals; i0 += kBlock) {
    const std::size_t i1 = std::min(individuals, i0 + kBlock);
    for (std::size_t l0 = 0; l0 < loci; l0 += kBlock) {
      const std::size_t l1 = std::min(loci, l0 + kBlock);
      for (std::size_t l = l0; l < l1; ++l) {
        std::int8_t* column = table.dosage.data() + l * individuals;
        for (std::size_t i = i0; i < i1; ++i) column[i] = rows[i * loci + l];
      }
    }
  }
  return table;
}

}  // namespace korvane
