#pragma once

// Checks a replicate folder's PLINK binary files against its Plink.ped and
// Plink.map: the same individuals with the same first six columns, the same
// loci, and at every locus of every individual the genotype of the pedigree
// line, decoded from Plink.bed with the alleles of Plink.bim.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "each_simulation.h"
#include "run/study_run.h"
#include "test_files.h"

namespace korvane::testing {

inline std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

inline void ExpectBinaryFilesMatchThePedigree(const std::filesystem::path& folder) {
  const std::vector<std::string> ped = SplitLines(ReadFile(folder / "Plink.ped"));
  const std::vector<std::string> map = SplitLines(ReadFile(folder / "Plink.map"));
  const std::vector<std::string> fam = SplitLines(ReadFile(folder / "Plink.fam"));
  const std::vector<std::string> bim = SplitLines(ReadFile(folder / "Plink.bim"));
  const std::string bed = ReadFile(folder / "Plink.bed");
  ASSERT_EQ(fam.size(), ped.size());
  ASSERT_EQ(bim.size(), map.size());
  ASSERT_GE(bed.size(), 3u);
  EXPECT_EQ(bed.substr(0, 3), std::string("\x6c\x1b\x01"));
  const std::size_t n = ped.size();
  const std::size_t bytes = (n + 3) / 4;
  ASSERT_EQ(bed.size(), 3 + bytes * map.size());
  std::vector<std::vector<std::string>> pedWords;
  for (std::size_t i = 0; i < n; ++i) {
    pedWords.push_back(Words(ped[i]));
    ASSERT_EQ(pedWords[i].size(), 6 + 2 * map.size()) << "individual " << i;
    EXPECT_EQ(Words(fam[i]), std::vector<std::string>(pedWords[i].begin(), pedWords[i].begin() + 6));
  }
  for (std::size_t j = 0; j < map.size(); ++j) {
    const std::vector<std::string> locus = Words(bim[j]);
    const std::vector<std::string> listed = Words(map[j]);
    ASSERT_EQ(locus.size(), 6u) << bim[j];
    EXPECT_EQ(locus[0], listed[0]);
    EXPECT_EQ(locus[1], listed[1]);
    EXPECT_EQ(locus[3], listed[3]);
    const std::string& a1 = locus[4];
    const std::string& a2 = locus[5];
    for (std::size_t i = 0; i < n; ++i) {
      const int code = (static_cast<unsigned char>(bed[3 + j * bytes + i / 4]) >> (2 * (i % 4))) & 3;
      std::string first = pedWords[i][6 + 2 * j];
      std::string second = pedWords[i][7 + 2 * j];
      if (second < first) std::swap(first, second);
      const std::string expected = first + second;
      const std::string decoded[4] = {a1 + a1, "00", std::min(a1, a2) + std::max(a1, a2), a2 + a2};
      ASSERT_EQ(decoded[code], expected) << bim[j] << ", individual " << i + 1;
    }
  }
}

// --formats bed beside the form's formats, in every simulation of a study:
// the binary files hold every genotype of Plink.ped; and only=bed writes
// them, the same bytes, without the form's formats. `run()` runs the study
// whose record is `parameters` with `options`, into folders under `tmp`.
template <class Parameters, class Run>
void ExpectBinaryFilesOfEverySimulation(Parameters& parameters, RunOptions& options, const std::filesystem::path& tmp,
                                        Run run) {
  parameters.replicateCount = 1;
  ForEachSimulation(parameters, options, [&](const std::string& name) {
    parameters.outputDirectory = (tmp / name).string();
    options.formats = {{"bed"}, false};
    RunOutcome outcome = run();
    ASSERT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
    const std::filesystem::path folder = tmp / name / "1";
    ExpectBinaryFilesMatchThePedigree(folder);
    EXPECT_TRUE(std::filesystem::exists(folder / "Eigensoft_Pca.geno"));

    parameters.outputDirectory = (tmp / (name + "-only")).string();
    options.formats = {{"bed"}, true};
    outcome = run();
    ASSERT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
    const std::filesystem::path only = tmp / (name + "-only") / "1";
    for (const char* file : {"Plink.bed", "Plink.bim", "Plink.fam", "Origin.txt"}) {
      EXPECT_EQ(ReadFile(only / file), ReadFile(folder / file)) << file;
    }
    EXPECT_FALSE(std::filesystem::exists(only / "Plink.ped"));
    EXPECT_FALSE(std::filesystem::exists(only / "Eigensoft_Pca.geno"));
    EXPECT_FALSE(std::filesystem::exists(only / "GC.txt"));
  });
}

}  // namespace korvane::testing
