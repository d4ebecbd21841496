#pragma once

// A complete, valid reference data folder of random panels for tests: every
// region of the catalogue with `individuals` reference individuals per
// population, independent allele frequencies per population and small
// positive map distances.

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "refdata/region_catalogue.h"
#include "test_files.h"

namespace korvane::testing {

inline void WriteSyntheticData(const std::filesystem::path& dir, int individuals, unsigned seed = 1) {
  std::filesystem::create_directories(dir);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int r = 0; r < RegionCatalogue::Count(); ++r) {
    const int snps = RegionCatalogue::SnpCount(r);
    std::vector<char> classOne(snps), classTwo(snps);
    std::vector<double> freqYri(snps), freqSecond(snps);
    for (int i = 0; i < snps; ++i) {
      classOne[i] = unit(rng) < 0.5 ? 'A' : 'T';
      classTwo[i] = unit(rng) < 0.5 ? 'C' : 'G';
      freqYri[i] = 0.02 + 0.96 * unit(rng);
      freqSecond[i] = 0.02 + 0.96 * unit(rng);
    }
    for (PanelFileKind kind : {PanelFileKind::kHaploWhite, PanelFileKind::kHaploBlack}) {
      const auto& freq = kind == PanelFileKind::kHaploBlack ? freqYri : freqSecond;
      std::string text;
      for (int line = 0; line < 2 * individuals; ++line) {
        for (int i = 0; i < snps; ++i) text += unit(rng) < freq[i] ? classOne[i] : classTwo[i];
        text += '\n';
      }
      WriteFile(PanelPath(dir, r, kind), text);
    }
    std::string map;
    double cumulative = 0;
    for (int i = 0; i < snps; ++i) {
      const double distance = i == 0 ? 0.0 : 0.002 * unit(rng);
      cumulative += distance;
      map += std::to_string(1000 + 250 * i) + " " + std::to_string(distance) + " " + std::to_string(cumulative) + "\n";
    }
    WriteFile(PanelPath(dir, r, PanelFileKind::kTheta), map);
  }
}

}  // namespace korvane::testing
