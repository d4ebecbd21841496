#pragma once

// Reading the truth files and the specified files they join with, for the
// end-to-end tests of both studies.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_files.h"

namespace korvane::testing {

// A tab-separated file with a header line: one map per row, by column.
using TsvRow = std::map<std::string, std::string>;

inline std::vector<TsvRow> ReadTsv(const std::filesystem::path& path) {
  const std::vector<std::string> lines = SplitLines(ReadFile(path));
  std::vector<TsvRow> rows;
  if (lines.empty()) return rows;
  const auto split = [](const std::string& line) {
    std::vector<std::string> cells;
    std::size_t at = 0;
    for (std::size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1) {
      cells.push_back(line.substr(at, tab - at));
    }
    cells.push_back(line.substr(at));
    return cells;
  };
  const std::vector<std::string> header = split(lines[0]);
  for (std::size_t l = 1; l < lines.size(); ++l) {
    const std::vector<std::string> cells = split(lines[l]);
    EXPECT_EQ(cells.size(), header.size()) << path << " line " << l + 1;
    TsvRow row;
    for (std::size_t c = 0; c < header.size() && c < cells.size(); ++c) row[header[c]] = cells[c];
    rows.push_back(row);
  }
  return rows;
}

// The allele codes of each individual of a pedigree file, two per locus
// (0 0 when missing), after its six leading columns.
inline std::vector<std::vector<std::string>> PedigreeAlleles(const std::filesystem::path& ped) {
  std::vector<std::vector<std::string>> people;
  for (const std::string& line : SplitLines(ReadFile(ped))) {
    const std::vector<std::string> fields = Fields(line);
    people.emplace_back(fields.begin() + 6, fields.end());
  }
  return people;
}

// The class-1 share of the written alleles of locus j (0-based), from the
// pedigree's codes; -1 when every genotype is missing.
inline double SampleClassOneFrequency(const std::vector<std::vector<std::string>>& people, std::size_t j) {
  int alleles = 0, classOne = 0;
  for (const auto& alleleCodes : people) {
    for (std::size_t a = 2 * j; a < 2 * j + 2; ++a) {
      if (alleleCodes[a] == "0") continue;
      ++alleles;
      classOne += alleleCodes[a] == "1";
    }
  }
  return alleles == 0 ? -1.0 : static_cast<double>(classOne) / alleles;
}

}  // namespace korvane::testing
