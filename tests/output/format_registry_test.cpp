#include "output/format_registry.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace korvane {
namespace {

std::vector<std::string> NamesOf(const std::vector<const FormatRow*>& rows) {
  std::vector<std::string> names;
  for (const FormatRow* row : rows) names.emplace_back(row->name);
  return names;
}

std::vector<const FormatRow*> AllRows() {
  std::vector<const FormatRow*> rows;
  for (const FormatRow& row : FormatRegistry()) rows.push_back(&row);
  return rows;
}

// Every name the registry has, chosen.
FormatSelection EveryFormat() {
  FormatSelection all;
  for (const FormatRow& row : FormatRegistry()) all.Choose(row.name);
  return all;
}

TEST(FormatRegistryTest, EveryFormatHasOneRowAndAFactory) {
  EXPECT_EQ(NamesOf(AllRows()), (std::vector<std::string>{"origin", "eigensoft", "admixmap", "plink", "bed", "vcf.gz",
                                                          "bcf", "structure-strat", "gc", "truth", "local-ancestry"}));
  std::set<std::string_view> switches;
  for (const FormatRow& row : FormatRegistry()) {
    SCOPED_TRACE(std::string(row.name));
    EXPECT_NE(row.create, nullptr);
    EXPECT_NE(row.estimate, nullptr);  // a run adds up the bytes of every format it writes
    // Only the files the run chooses by options of their own are marked so.
    EXPECT_EQ(row.byRunOption, row.name == "truth" || row.name == "local-ancestry");
    // A format written always has no switch, nor do the files the run
    // chooses (the truth files and the local-ancestry tracts) or the PLINK
    // binary files and VCF, chosen by name; the others of this program are ticked on
    // the study forms, each by a switch of its own.
    if (row.always || row.byRunOption || row.name == "bed" || row.name == "vcf.gz" || row.name == "bcf") {
      EXPECT_EQ(row.formSwitch, "");
    } else {
      EXPECT_TRUE(row.formSwitch.starts_with("write-"));
      EXPECT_TRUE(switches.insert(row.formSwitch).second);
    }
  }
}

// Each order is strict (no two rows share a position, so that it does not
// depend on the table's order) and is the historical one.
TEST(FormatRegistryTest, TheThreeOrdersAreStrictAndHistorical) {
  const std::vector<const FormatRow*> rows = AllRows();
  for (int FormatRow::*position : {&FormatRow::opening, &FormatRow::closing, &FormatRow::sharing}) {
    std::set<int> positions;
    for (const FormatRow* row : rows) positions.insert(row->*position);
    EXPECT_EQ(positions.size(), rows.size());
  }
  // The truth files and then the local-ancestry tracts come last in opening
  // and closing, so that the specified files keep their orders.
  EXPECT_EQ(NamesOf(OrderedBy(rows, &FormatRow::opening)),
            (std::vector<std::string>{"origin", "eigensoft", "admixmap", "plink", "bed", "vcf.gz", "bcf",
                                      "structure-strat", "gc", "truth", "local-ancestry"}));
  EXPECT_EQ(NamesOf(OrderedBy(rows, &FormatRow::closing)),
            (std::vector<std::string>{"origin", "structure-strat", "eigensoft", "admixmap", "plink", "bed", "vcf.gz",
                                      "bcf", "gc", "truth", "local-ancestry"}));
  // The PLINK binary files come after EIGENSOFT: they read the same store.
  // VCF, the slowest to write (compressed text), is handed out first.
  EXPECT_EQ(NamesOf(OrderedBy(rows, &FormatRow::sharing)),
            (std::vector<std::string>{"vcf.gz", "bcf", "admixmap", "plink", "gc", "structure-strat", "eigensoft", "bed",
                                      "local-ancestry", "origin", "truth"}));
}

TEST(FormatRegistryTest, TheFormatsOfEachStudy) {
  const FormatSelection all = EveryFormat();
  EXPECT_EQ(NamesOf(RowsWritten(FormatRegistry(), all, StudyKind::kQualitative)),
            (std::vector<std::string>{"origin", "eigensoft", "admixmap", "plink", "bed", "vcf.gz", "bcf",
                                      "structure-strat", "gc", "truth", "local-ancestry"}));
  // A quantitative study has no case-control formats, even when chosen.
  EXPECT_EQ(NamesOf(RowsWritten(FormatRegistry(), all, StudyKind::kQuantitative)),
            (std::vector<std::string>{"origin", "eigensoft", "plink", "bed", "vcf.gz", "bcf", "gc", "truth",
                                      "local-ancestry"}));
  // The tracts only when chosen, in either study.
  for (StudyKind study : {StudyKind::kQualitative, StudyKind::kQuantitative}) {
    EXPECT_EQ(NamesOf(RowsWritten(FormatRegistry(), FormatSelection{"local-ancestry"}, study)),
              (std::vector<std::string>{"origin", "local-ancestry"}));
  }
  // The ancestry file is written whatever is chosen.
  for (StudyKind study : {StudyKind::kQualitative, StudyKind::kQuantitative}) {
    EXPECT_EQ(NamesOf(RowsWritten(FormatRegistry(), FormatSelection{}, study)), std::vector<std::string>{"origin"});
  }
  EXPECT_EQ(NamesOf(RowsWritten(FormatRegistry(), FormatSelection{"gc", "admixmap"}, StudyKind::kQualitative)),
            (std::vector<std::string>{"origin", "admixmap", "gc"}));
}

// The names --formats accepts: the genotype formats, neither the file
// written always nor those chosen by run options of their own; and the two
// that read the shared genotype store.
TEST(FormatRegistryTest, TheChoosableNamesAndTheLocusMajorFormats) {
  const std::vector<std::string_view> choosable = ChoosableFormatNames();
  EXPECT_EQ(
      std::vector<std::string>(choosable.begin(), choosable.end()),
      (std::vector<std::string>{"eigensoft", "admixmap", "plink", "bed", "vcf.gz", "bcf", "structure-strat", "gc"}));
  std::vector<std::string> locusMajor;
  std::vector<std::string> phased;
  for (const FormatRow& row : FormatRegistry()) {
    if (row.locusMajor) locusMajor.emplace_back(row.name);
    if (row.phased) phased.emplace_back(row.name);
  }
  EXPECT_EQ(locusMajor, (std::vector<std::string>{"eigensoft", "bed", "vcf.gz", "bcf"}));
  // A phased format reads the shared store, which then keeps the phase.
  EXPECT_EQ(phased, (std::vector<std::string>{"vcf.gz", "bcf"}));
}

TEST(FormatRegistryTest, ASelectionHoldsEachNameOnceAndOnlyRegisteredNamesAreWritten) {
  FormatSelection formats;
  formats.Choose("plink").Choose("gc", false).Choose("vcf").Choose("plink");
  EXPECT_EQ(formats.Names(), (std::vector<std::string>{"plink", "vcf"}));
  EXPECT_TRUE(formats.Has("vcf"));
  EXPECT_FALSE(formats.Has("gc"));

  // "vcf" is no format of this program's registry: refused, by name.
  try {
    RowsWritten(FormatRegistry(), formats, StudyKind::kQualitative);
    FAIL() << "no std::invalid_argument";
  } catch (const std::invalid_argument& error) {
    EXPECT_EQ(std::string(error.what()), "no output format is named \"vcf\"");
  }
  // A registry with a row of that name, chosen by name alone, writes it.
  const FormatRow rows[] = {{.name = "origin",
                             .studies = kEveryStudy,
                             .always = true,
                             .formSwitch = "",
                             .create = nullptr,
                             .opening = 0,
                             .closing = 0,
                             .sharing = 0},
                            {.name = "vcf",
                             .studies = kEveryStudy,
                             .always = false,
                             .formSwitch = "",
                             .create = nullptr,
                             .opening = 1,
                             .closing = 1,
                             .sharing = 1}};
  EXPECT_EQ(NamesOf(RowsWritten(rows, FormatSelection{"vcf"}, StudyKind::kQuantitative)),
            (std::vector<std::string>{"origin", "vcf"}));
}

TEST(FormatRegistryTest, EqualPositionsKeepTheOrderGiven) {
  const FormatRow a{.name = "a",
                    .studies = kEveryStudy,
                    .always = false,
                    .formSwitch = "",
                    .create = nullptr,
                    .opening = 2,
                    .closing = 1,
                    .sharing = 0};
  const FormatRow b{.name = "b",
                    .studies = kEveryStudy,
                    .always = false,
                    .formSwitch = "",
                    .create = nullptr,
                    .opening = 1,
                    .closing = 1,
                    .sharing = 0};
  const FormatRow c{.name = "c",
                    .studies = kEveryStudy,
                    .always = false,
                    .formSwitch = "",
                    .create = nullptr,
                    .opening = 1,
                    .closing = 0,
                    .sharing = 0};
  const std::vector<const FormatRow*> rows = {&a, &b, &c};
  EXPECT_EQ(NamesOf(OrderedBy(rows, &FormatRow::opening)), (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_EQ(NamesOf(OrderedBy(rows, &FormatRow::closing)), (std::vector<std::string>{"c", "a", "b"}));
  EXPECT_EQ(NamesOf(OrderedBy(rows, &FormatRow::sharing)), (std::vector<std::string>{"a", "b", "c"}));
}

}  // namespace
}  // namespace korvane
