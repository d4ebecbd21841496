#include <fmt/format.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string_view>

#include "core_version.h"
#include "refdata/reference_data.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path dataDir = fs::is_directory("data") ? fs::path("data") : fs::path(KORVANE_SHIPPED_DATA_DIR);
  if (argc < 2 || std::string_view(argv[1]) != "info") {
    fmt::print(stderr, "usage: korvane info\n");
    return 2;
  }
  try {
    const auto data = korvane::ReferenceData::Load(dataDir);
    fmt::print("korvane {}: reference data {}\n", korvane::Version(), dataDir.string());
    for (int r = 0; r < korvane::RegionCatalogue::Count(); ++r) {
      fmt::print("  region {:2} {:<15} {:5} SNPs, {} + {} reference individuals\n", r + 1,
                 korvane::RegionCatalogue::Name(r), korvane::RegionCatalogue::SnpCount(r),
                 data.Region(r).yri.individualCount, data.Region(r).second.individualCount);
    }
  } catch (const std::exception& e) {
    fmt::print(stderr, "korvane: {}\n", e.what());
    return 1;
  }
  return 0;
}
