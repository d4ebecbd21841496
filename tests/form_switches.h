#pragma once

// The study forms' format switches run end to end: each switch of a form is
// the form switch of a registered format, and ticked alone it writes that
// format's files beside Origin.txt.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <variant>

#include "output/format_registry.h"
#include "run/exchange.h"

namespace korvane::testing {

// The files each format with a form switch writes in a replicate folder.
inline std::set<std::string> FilesOfFormat(std::string_view name) {
  static const std::map<std::string, std::set<std::string>, std::less<>> files = {
      {"eigensoft",
       {"Eigensoft_Pca.snp", "Eigensoft.phen", "Eigensoft_Pca.geno", "Eigensoft_Strat.geno", "Eigensoft_Pca.ind"}},
      {"admixmap", {"Admixmap_loci.txt", "Admixmap_geno.txt", "Admixmap_phen.txt"}},
      {"plink", {"Plink.map", "Plink.ped"}},
      {"structure-strat", {"Structure.txt", "Strat.txt"}},
      {"gc", {"GC.txt"}},
  };
  const auto found = files.find(name);
  return found != files.end() ? found->second : std::set<std::string>{};
}

inline std::set<std::string> FilesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// For every format of `study` with a form switch: ticks its switch alone in
// `record` (through the study's field table), runs one replicate into a
// folder of its own under `root` with `run(outputDirectory)`, and checks the
// files of replicate 1. Then checks that the form has no other format switch.
template <class Record, class Run>
void CheckEachFormSwitch(StudyKind study, Record& record, FieldTable<Record> fields, const std::filesystem::path& root,
                         Run run) {
  std::set<std::string> registered;
  for (const FormatRow& row : FormatRegistry()) {
    if (row.formSwitch.empty() || !row.studies.Has(study)) continue;
    SCOPED_TRACE(std::string(row.formSwitch));
    registered.emplace(row.formSwitch);
    bool found = false;
    for (const auto& field : fields) {
      if (!field.info.key.starts_with("write-")) continue;
      const bool on = field.info.key == row.formSwitch;
      found = found || on;
      *std::get<int*>(field.access(record)) = on ? 1 : 0;
    }
    ASSERT_TRUE(found) << "no field of the form";
    const std::filesystem::path out = root / row.name;
    run(out.string());
    std::set<std::string> expected = FilesOfFormat(row.name);
    EXPECT_FALSE(expected.empty()) << "no files listed for " << row.name;
    expected.insert("Origin.txt");
    EXPECT_EQ(FilesIn(out / "1"), expected);
  }
  std::set<std::string> switches;
  for (const auto& field : fields) {
    if (field.info.key.starts_with("write-")) switches.insert(field.info.key);
  }
  EXPECT_EQ(switches, registered);
}

}  // namespace korvane::testing
