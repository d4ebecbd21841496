#pragma once

// A reader of the local-ancestry tracts (LocalAncestry.bp, the breakpoint
// format: a header line "<sample>_<1 or 2>" per haplotype, then one line
// "<population>\t<chromosome>\t<end bp>\t<end cM>" per tract) for tests that
// hold the file to the ancestry it was written from: the tracts are
// expanded back onto the chosen loci of the map, a locus at a time.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"

namespace korvane::testing {

struct Tract {
  std::string population;
  int chromosome = 0;
  long long endBp = 0;
  double endCm = 0;
};

struct BreakpointHaplotype {
  std::string header;  // "<sample>_1" or "<sample>_2"
  std::vector<Tract> tracts;
};

// The haplotypes of a breakpoint file in file order. A line that is neither a
// header nor a tract of four tab-separated fields is a test failure.
inline std::vector<BreakpointHaplotype> ReadBreakpoints(const std::string& text) {
  std::vector<BreakpointHaplotype> haplotypes;
  for (const std::string& line : SplitLines(text)) {
    if (line.find('\t') == std::string::npos) {
      haplotypes.push_back({line, {}});
      continue;
    }
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    if (fields.size() != 4 || haplotypes.empty()) {
      ADD_FAILURE() << "not a tract line: \"" << line << "\"";
      continue;
    }
    std::size_t used = 0;
    Tract tract;
    tract.population = fields[0];
    tract.chromosome = std::stoi(fields[1]);
    tract.endBp = std::stoll(fields[2], &used);
    EXPECT_EQ(used, fields[2].size()) << "an end position in whole base pairs: " << line;
    tract.endCm = std::stod(fields[3]);
    haplotypes.back().tracts.push_back(tract);
  }
  return haplotypes;
}

// A chosen locus as the map gives it: its chromosome (region number), its
// base-pair position and its genetic position within the region.
struct MapLocus {
  int chromosome = 0;
  long long bp = 0;
  double cm = 0;
  // How far `cm` may be from the exact sum: the rounding of the printed
  // distances it adds up.
  double cmError = 0;
};

// The loci of a Plink.map ("<region> snp<n>  <cM from the previous locus of
// the region> <bp>"), their genetic positions added up within each region
// from the distances as printed, each within half a millionth.
inline std::vector<MapLocus> LociOfPlinkMap(const std::string& text) {
  std::vector<MapLocus> loci;
  for (const std::string& line : SplitLines(text)) {
    const std::vector<std::string> f = Fields(line);
    MapLocus locus;
    locus.chromosome = std::stoi(f.at(0));
    locus.bp = std::stoll(f.at(3));
    const bool sameRegion = !loci.empty() && loci.back().chromosome == locus.chromosome;
    locus.cm = sameRegion ? loci.back().cm + std::stod(f.at(2)) : 0.0;
    locus.cmError = sameRegion ? loci.back().cmError + 5e-7 : 0.0;
    loci.push_back(locus);
  }
  return loci;
}

// The population of every locus of one haplotype, from its tracts: tract
// after tract covers the loci of its chromosome up to the one at its end,
// which must be a chosen locus with the tract's genetic position; nothing
// when the tracts do not cover the loci exactly (a test failure says why).
inline std::optional<std::vector<std::string>> ExpandTracts(const BreakpointHaplotype& haplotype,
                                                            const std::vector<MapLocus>& loci) {
  std::vector<std::string> populations;
  std::size_t k = 0;
  for (std::size_t g = 0; g < loci.size(); ++g) {
    if (k == haplotype.tracts.size() || haplotype.tracts[k].chromosome != loci[g].chromosome) {
      ADD_FAILURE() << haplotype.header << ": no tract covers locus " << g + 1;
      return std::nullopt;
    }
    const Tract& tract = haplotype.tracts[k];
    populations.push_back(tract.population);
    const bool lastOfRegion = g + 1 == loci.size() || loci[g + 1].chromosome != loci[g].chromosome;
    if (tract.endBp == loci[g].bp) {  // positions within a region are distinct
      // Printed with six decimals: within half of the last one, and the
      // sum's own rounding (a little more for the double sums).
      EXPECT_NEAR(tract.endCm, loci[g].cm, 5e-7 + loci[g].cmError + 1e-9) << haplotype.header << ": tract " << k + 1;
      ++k;
    } else if (lastOfRegion) {
      ADD_FAILURE() << haplotype.header << ": tract " << k + 1 << " runs past its chromosome's last locus";
      return std::nullopt;
    }
  }
  if (k != haplotype.tracts.size()) {
    ADD_FAILURE() << haplotype.header << ": " << haplotype.tracts.size() - k << " tracts after the last locus";
    return std::nullopt;
  }
  return populations;
}

// The population label of bit g of a packed ancestry row.
inline std::string LabelAt(const std::uint64_t* ancestry, int g) {
  return (ancestry[g / 64] >> (g % 64)) & 1u ? "YRI" : "SECOND";
}

}  // namespace korvane::testing
