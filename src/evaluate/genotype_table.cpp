#include "evaluate/genotype_table.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
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

// The first four fields of a map or .bim line: chromosome, SNP, cM, bp.
struct LocusFields {
  std::string_view chromosome, id, morgans, position;
};

// Adds a locus of line `number` of the file `name` to the table; a
// chromosome or position that is not a number is an error naming them.
void AddLocus(GenotypeTable& table, const LocusFields& fields, const std::string& name, std::size_t number) {
  int chr = 0;
  double bp = 0;
  double cm = 0;
  if (!ParseNumber(fields.chromosome, chr)) {
    throw std::runtime_error(
        fmt::format("{} line {}: chromosome '{}' is not a number", name, number, fields.chromosome));
  }
  if (!ParseNumber(fields.morgans, cm) || !ParseNumber(fields.position, bp)) {
    throw std::runtime_error(fmt::format("{} line {}: a position that is not a number", name, number));
  }
  table.chromosome.push_back(chr);
  table.locusIds.emplace_back(fields.id);
  table.positionBp.push_back(static_cast<std::int64_t>(std::llround(bp)));
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
    AddLocus(table, {chromosome, id, morgans, position}, mapName, number);
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

GenotypeTable ReadPlinkBinary(const std::filesystem::path& bed, const std::filesystem::path& bim,
                              const std::filesystem::path& fam) {
  GenotypeTable table;
  const std::string bimName = bim.filename().string();
  const std::string famName = fam.filename().string();
  const std::string bedName = bed.filename().string();

  // Per locus, the dosage of allele code 1 that each 2-bit code stands for:
  // 00 two copies of the .bim's first allele, 10 one of each, 11 two of the
  // second, 01 missing.
  std::vector<std::array<std::int8_t, 4>> dosageOfCode;
  const std::string bimText = ReadWhole(bim);
  ForEachLine(bimText, [&](std::size_t number, const char* begin, const char* end) {
    Fields fields{begin, end};
    const std::string_view chromosome = fields.Next();
    const std::string_view id = fields.Next();
    const std::string_view morgans = fields.Next();
    const std::string_view position = fields.Next();
    const std::string_view first = fields.Next();
    const std::string_view second = fields.Next();
    if (second.empty() || !fields.Next().empty()) {
      throw std::runtime_error(
          fmt::format("{} line {}: expected 6 fields (chromosome, SNP, cM, bp, allele 1, allele 2)", bimName, number));
    }
    const auto isCode = [](std::string_view a) { return a == "0" || a == "1" || a == "2"; };
    if (!isCode(first) || !isCode(second) || (first == second && first != "0")) {
      throw std::runtime_error(fmt::format("{} line {}: alleles '{}' and '{}' (expected the codes 1 and 2, 0 for none)",
                                           bimName, number, first, second));
    }
    const auto ones = [](std::string_view a) { return static_cast<std::int8_t>(a == "1" ? 1 : 0); };
    dosageOfCode.push_back({static_cast<std::int8_t>(2 * ones(first)), std::int8_t{-1},
                            static_cast<std::int8_t>(ones(first) + ones(second)),
                            static_cast<std::int8_t>(2 * ones(second))});
    AddLocus(table, {chromosome, id, morgans, position}, bimName, number);
  });
  const std::size_t loci = table.locusIds.size();
  table.loci = static_cast<int>(loci);

  const std::string famText = ReadWhole(fam);
  ForEachLine(famText, [&](std::size_t number, const char* begin, const char* end) {
    Fields fields{begin, end};
    fields.Next();  // FID
    const std::string_view iid = fields.Next();
    for (int column = 3; column <= 6; ++column) {
      if (fields.Next().empty()) {
        throw std::runtime_error(fmt::format("{} line {}: fewer than 6 columns", famName, number));
      }
    }
    table.individualIds.emplace_back(iid);
  });
  const std::size_t individuals = table.individualIds.size();
  table.individuals = static_cast<int>(individuals);

  const std::string bedBytes = ReadWhole(bed);
  const std::size_t bytesPerLocus = (individuals + 3) / 4;
  const std::size_t expected = 3 + loci * bytesPerLocus;
  if (bedBytes.size() < 3 || static_cast<unsigned char>(bedBytes[0]) != 0x6c ||
      static_cast<unsigned char>(bedBytes[1]) != 0x1b || bedBytes[2] != 0x01) {
    throw std::runtime_error(
        fmt::format("{}: not a SNP-major PLINK 1 binary file (its first bytes are not 6c 1b 01)", bedName));
  }
  if (bedBytes.size() != expected) {
    throw std::runtime_error(fmt::format("{}: {} bytes, expected {} for {} loci of {} individuals", bedName,
                                         bedBytes.size(), expected, loci, individuals));
  }
  table.dosage.resize(individuals * loci);
  const auto* codes = reinterpret_cast<const unsigned char*>(bedBytes.data()) + 3;
  for (std::size_t l = 0; l < loci; ++l) {
    const std::array<std::int8_t, 4>& of = dosageOfCode[l];
    const unsigned char* locus = codes + l * bytesPerLocus;
    std::int8_t* column = table.dosage.data() + l * individuals;
    for (std::size_t i = 0; i < individuals; ++i) {
      column[i] = of[(locus[i / 4] >> (2 * (i % 4))) & 3u];
    }
  }
  return table;
}

}  // namespace korvane
