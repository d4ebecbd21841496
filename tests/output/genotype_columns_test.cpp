#include "output/genotype_columns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvane {
namespace {

// The columns as plain strings, one character appended per individual.
struct NaiveColumns {
  std::vector<std::string> columns;
  void Append(const std::vector<Genotype>& row) {
    columns.resize(row.size());
    for (std::size_t j = 0; j < row.size(); ++j) {
      columns[j] += row[j].Missing() ? '9' : static_cast<char>('0' + row[j].ClassOneCount());
    }
  }
};

TEST(GenotypeColumnsTest, MatchesPlainStringsAtAwkwardSizes) {
  unsigned state = 7;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 16;
  };
  // Sizes on both sides of the eight individuals of a word, of the eight
  // loci of a vector step and of the 512 individuals of a storage chunk.
  struct Size {
    std::size_t loci;
    std::vector<int> individuals;
  };
  const std::vector<int> small = {0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100};
  const std::vector<Size> sizes = {{0, small}, {1, small},  {7, small},  {8, small},
                                   {9, small}, {17, small}, {70, small}, {3, {511, 512, 513, 1100}}};
  for (const auto& [loci, counts] : sizes) {
    for (int individuals : counts) {
      GenotypeColumns packed;
      packed.SetLocusCount(loci);
      NaiveColumns naive;
      naive.columns.resize(loci);
      for (int t = 0; t < individuals; ++t) {
        std::vector<Genotype> row(loci);
        for (Genotype& g : row) {
          // Mostly the usual classes; now and then a missing genotype with a
          // second class set, or classes other than 1 and 2 (counted as not class 1).
          const unsigned pick = next() % 8;
          g = pick == 4   ? Genotype{0, 0}
              : pick == 5 ? Genotype{0, 1}
              : pick == 6 ? Genotype{static_cast<std::uint8_t>(1 + next() % 3), 0}
              : pick == 7 ? Genotype{255, 1}
                          : Genotype{static_cast<std::uint8_t>(1 + pick / 2), static_cast<std::uint8_t>(1 + pick % 2)};
        }
        packed.Append(row);
        naive.Append(row);
      }
      EXPECT_EQ(packed.IndividualCount(), static_cast<std::size_t>(individuals));
      for (std::size_t j = 0; j < loci; ++j) {
        output_detail::TextBuffer text;
        packed.AppendColumn(j, text);
        EXPECT_EQ(fmt::to_string(text), naive.columns[j]) << loci << " loci, " << individuals << " individuals";
      }
    }
  }
}

TEST(GenotypeColumnsTest, RowsMustHaveTheLocusCount) {
  GenotypeColumns columns;
  columns.SetLocusCount(3);
  const std::vector<Genotype> row(2);
  EXPECT_THROW(columns.Append(row), std::invalid_argument);
  columns.Append(std::vector<Genotype>(3, Genotype{1, 1}));
  EXPECT_THROW(columns.SetLocusCount(4), std::logic_error);
  output_detail::TextBuffer text;
  EXPECT_THROW(columns.AppendColumn(3, text), std::out_of_range);
}

TEST(GenotypeColumnsTest, AClearedStoreTakesNewRowsOfAnyLocusCount) {
  // The chunks kept for reuse hold no codes of the rows before, and are cut
  // again for another locus count.
  GenotypeColumns columns;
  columns.SetLocusCount(3);
  for (int i = 0; i < 600; ++i) columns.Append(std::vector<Genotype>(3, Genotype{1, 1}));
  columns.Clear();
  columns.Append(std::vector<Genotype>(3, Genotype{2, 2}));
  output_detail::TextBuffer text;
  columns.AppendColumn(2, text);
  EXPECT_EQ(fmt::to_string(text), "0");
  columns.Clear();
  columns.SetLocusCount(40);
  for (int i = 0; i < 600; ++i) columns.Append(std::vector<Genotype>(40, Genotype{1, 2}));
  text.clear();
  columns.AppendColumn(39, text);
  EXPECT_EQ(fmt::to_string(text), std::string(600, '1'));
}

}  // namespace
}  // namespace korvane
