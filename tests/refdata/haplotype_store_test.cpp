// The packed haplotype rows against plain per-locus arrays: single alleles,
// counts per locus and unpacked genotype pairs, at sizes around the words.

#include "refdata/haplotype_store.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "haplotype_rows.h"

namespace korvane {
namespace {

using testing::HaplotypeOf;

const int kAwkwardSizes[] = {0, 1, 2, 3, 4, 5, 63, 64, 65, 127, 129, 1840, 1841};

TEST(HaplotypeStoreTest, AllelesAreBitsOfTheirLocusAndPaddingStaysZero) {
  std::mt19937 random(3);
  for (int loci : kAwkwardSizes) {
    HaplotypeStore store(3, loci);
    EXPECT_EQ(store.WordsPerRow(), (loci + 63) / 64);
    std::vector<AlleleClass> expected(6 * static_cast<std::size_t>(loci));
    for (int pass = 0; pass < 2; ++pass) {  // the second pass overwrites set and cleared bits
      for (int row = 0; row < 6; ++row) {
        for (int g = 0; g < loci; ++g) {
          const AlleleClass c = random() % 2 ? 1 : 2;
          expected[static_cast<std::size_t>(row) * loci + g] = c;
          if (g % 2) {
            store.SetAllele(row / 2, row % 2, g, c);
          } else {
            HaplotypeOf(store, row / 2, row % 2)[g] = c;
          }
        }
      }
    }
    for (int row = 0; row < 6; ++row) {
      const HaplotypeStore& view = store;
      for (int g = 0; g < loci; ++g) {
        ASSERT_EQ(view.Allele(row / 2, row % 2, g), expected[static_cast<std::size_t>(row) * loci + g]);
        ASSERT_EQ(HaplotypeOf(view, row / 2, row % 2)[g], expected[static_cast<std::size_t>(row) * loci + g]);
        // Bit g of the row is 1 exactly for class 1.
        ASSERT_EQ((view.Row(row / 2, row % 2)[g / 64] >> (g % 64)) & 1u,
                  expected[static_cast<std::size_t>(row) * loci + g] == 1 ? 1u : 0u);
      }
      if (loci % 64 != 0) {
        EXPECT_EQ(view.Row(row / 2, row % 2)[loci / 64] >> (loci % 64), 0u);
      }
    }
  }
  // One allele assigned from another, as with bytes.
  HaplotypeStore store(1, 2);
  HaplotypeOf(store, 0, 0)[0] = HaplotypeOf(store, 0, 1)[1] = 1;
  EXPECT_EQ(store.Allele(0, 0, 0), 1);
  EXPECT_EQ(store.Allele(0, 1, 1), 1);
  EXPECT_EQ(store.Allele(0, 0, 1), 2);  // a new store holds class 2 everywhere
}

TEST(HaplotypeStoreTest, ClassOneCountsEqualPerLocusCounts) {
  std::mt19937 random(5);
  for (int loci : kAwkwardSizes) {
    for (int individuals : {0, 1, 3, 1000}) {
      if (individuals == 1000 && loci != 65 && loci != 1841) continue;  // counts up to 2000 need 11 planes
      HaplotypeStore store(individuals, loci);
      std::vector<int> expected(loci, 0);
      // Loci 0 and 1 are class 1 in every haplotype: the largest count.
      for (int row = 0; row < 2 * individuals; ++row) {
        for (int g = 0; g < loci; ++g) {
          const bool one = g < 2 || random() % 3 == 0;
          store.SetAllele(row / 2, row % 2, g, one ? 1 : 2);
          expected[g] += one;
        }
      }
      ASSERT_EQ(store.ClassOneCounts(), expected) << loci << " loci, " << individuals << " individuals";
    }
  }
}

// The ancestry rows beside the haplotype rows: none unless asked; when
// asked, one per haplotype of the same layout, independent of the alleles,
// filled per population over the locus bits only, counted and copied.
TEST(HaplotypeStoreTest, AncestryRowsAreKeptOnlyWhenAskedAndFollowTheRowLayout) {
  for (int loci : kAwkwardSizes) {
    SCOPED_TRACE(loci);
    const HaplotypeStore plain(3, loci);
    EXPECT_FALSE(plain.TracksAncestry());
    EXPECT_FALSE(plain.Population().has_value());

    HaplotypeStore store(3, loci, true);
    ASSERT_TRUE(store.TracksAncestry());
    const int words = store.WordsPerRow();
    for (int row = 0; row < 6; ++row) {
      EXPECT_EQ(CountOnes(store.AncestryRow(row / 2, row % 2), words), 0) << "a new row is all second population";
    }
    // Every allele class 1, then the ancestry of two haplotypes set: the
    // allele rows and the other ancestry rows are untouched.
    for (int row = 0; row < 6; ++row) {
      for (int g = 0; g < loci; ++g) store.SetAllele(row / 2, row % 2, g, 1);
    }
    store.SetAncestry(1, 0, SourcePopulation::kYri);
    store.SetAncestry(2, 1, SourcePopulation::kYri);
    for (int row = 0; row < 6; ++row) {
      const bool yri = row == 2 || row == 5;
      const std::uint64_t* ancestry = std::as_const(store).AncestryRow(row / 2, row % 2);
      EXPECT_EQ(CountOnes(ancestry, words), yri ? loci : 0) << "row " << row;
      EXPECT_EQ(CountOnes(store.Row(row / 2, row % 2), words), loci) << "row " << row;
      for (int g = 0; g < loci; ++g) ASSERT_EQ((ancestry[g / 64] >> (g % 64)) & 1u, yri ? 1u : 0u);
      if (loci % 64 != 0) {
        EXPECT_EQ(ancestry[loci / 64] >> (loci % 64), 0u) << "padding stays 0";
      }
    }
    store.SetAncestry(1, 0, SourcePopulation::kSecond);
    EXPECT_EQ(CountOnes(store.AncestryRow(1, 0), words), 0);

    // A copy takes the ancestry rows with the alleles.
    HaplotypeStore copy(3, loci, true);
    copy.CopyFrom(store);
    EXPECT_EQ(CountOnes(copy.AncestryRow(2, 1), words), loci);
    EXPECT_EQ(CountOnes(copy.AncestryRow(1, 0), words), 0);
  }
  // A row filled beyond its loci's words is left alone after them.
  std::uint64_t row[3] = {0, 0, 0x77};
  HaplotypeStore::FillAncestryRow(row, 65, SourcePopulation::kYri);
  EXPECT_EQ(row[0], ~std::uint64_t{0});
  EXPECT_EQ(row[1], 1u);
  EXPECT_EQ(row[2], 0x77u);
  EXPECT_EQ(CountOnes(row, 2), 65);
}

TEST(HaplotypeStoreTest, GenotypePairsUnpackBothRowsAndClearMissingLoci) {
  std::mt19937 random(9);
  for (int loci : kAwkwardSizes) {
    HaplotypeStore store(1, loci);
    std::vector<std::uint64_t> missing(WordsForLoci(loci) + 1, 0);
    for (int g = 0; g < loci; ++g) {
      store.SetAllele(0, 0, g, random() % 2 ? 1 : 2);
      store.SetAllele(0, 1, g, random() % 2 ? 1 : 2);
      if (random() % 4 == 0) SetClassAt(missing.data(), g, 1);
    }
    const std::uint8_t kUntouched = 0xEE;
    const std::uint64_t* noMask = nullptr;
    const std::uint64_t* someMissing = missing.data();
    for (const std::uint64_t* mask : {noMask, someMissing}) {
      std::vector<std::uint8_t> pairs(2 * static_cast<std::size_t>(loci) + 8, kUntouched);
      UnpackGenotypePairs(store.Row(0, 0), store.Row(0, 1), mask, loci, pairs.data());
      for (int g = 0; g < loci; ++g) {
        const bool gone = mask && ClassAt(mask, g) == 1;
        ASSERT_EQ(pairs[2 * g], gone ? 0 : store.Allele(0, 0, g)) << loci << " " << g;
        ASSERT_EQ(pairs[2 * g + 1], gone ? 0 : store.Allele(0, 1, g)) << loci << " " << g;
      }
      for (std::size_t k = 2 * static_cast<std::size_t>(loci); k < pairs.size(); ++k) {
        ASSERT_EQ(pairs[k], kUntouched) << "written past the last pair";
      }
    }
  }
}

}  // namespace
}  // namespace korvane
