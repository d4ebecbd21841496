#include "evaluate/genotype_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <stdexcept>

namespace korvane {
namespace {

class GenotypeTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("korvane_genotype_table_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return dir_ / name;
  }
  std::filesystem::path dir_;
};

// As output/plink_writer.cpp writes them: a space after each allele code.
constexpr const char* kMap = "1 snp1  0.000000 1000\n1 snp2  0.010000 2000\n2 snp3  0.000000 500\n";
constexpr const char* kPed =
    "1 1 0 0 1 2 1 1 1 2 2 2 \n"
    "2 2 0 0 2 1 2 1 0 0 1 1 \n"
    "3 3 0 0 1 1 2 2 2 2 1 2 \n";

TEST_F(GenotypeTableTest, ReadsKorvanesPlinkText) {
  std::vector<double> phenotype;
  const GenotypeTable table = ReadPlinkText(Write("Plink.ped", kPed), Write("Plink.map", kMap), &phenotype);
  EXPECT_EQ(table.individuals, 3);
  EXPECT_EQ(table.loci, 3);
  EXPECT_THAT(table.individualIds, ::testing::ElementsAre("1", "2", "3"));
  EXPECT_THAT(table.locusIds, ::testing::ElementsAre("snp1", "snp2", "snp3"));
  EXPECT_THAT(table.chromosome, ::testing::ElementsAre(1, 1, 2));
  EXPECT_THAT(table.positionBp, ::testing::ElementsAre(1000, 2000, 500));
  EXPECT_THAT(phenotype, ::testing::ElementsAre(2, 1, 1));
  EXPECT_THAT(table.Locus(0), ::testing::ElementsAre(2, 1, 0));
  EXPECT_THAT(table.Locus(1), ::testing::ElementsAre(1, -1, 0));
  EXPECT_THAT(table.Locus(2), ::testing::ElementsAre(0, 2, 1));
  EXPECT_EQ(table.At(2, 1), 2);
}

TEST_F(GenotypeTableTest, QuantitativePhenotypesTabsAndCrlf) {
  std::vector<double> phenotype;
  const GenotypeTable table =
      ReadPlinkText(Write("Plink.ped", "7\t7\t0\t0\t1\t-0.25\t1\t2\r\n\r\n8 8 0 0 2 NA 2 2\r\n"),
                    Write("Plink.map", "3 snp9 0 42\r\n"), &phenotype);
  EXPECT_EQ(table.individuals, 2);
  EXPECT_THAT(table.Locus(0), ::testing::ElementsAre(1, 0));
  ASSERT_EQ(phenotype.size(), 2U);
  EXPECT_EQ(phenotype[0], -0.25);
  EXPECT_TRUE(std::isnan(phenotype[1]));
}

void ExpectError(const std::function<void()>& read, const std::string& message) {
  try {
    read();
    ADD_FAILURE() << "no error, expected " << message;
  } catch (const std::runtime_error& error) {
    EXPECT_THAT(error.what(), ::testing::HasSubstr(message));
  }
}

TEST_F(GenotypeTableTest, BadFilesNameTheLine) {
  const auto map = Write("Plink.map", kMap);
  ExpectError([&] { ReadPlinkText(Write("Plink.ped", "1 1 0 0 1 2 1 1 1 2 2 2\n2 2 0 0 1 2 1 1 1 2 2\n"), map); },
              "Plink.ped line 2: 5 allele codes, expected 6");
  ExpectError([&] { ReadPlinkText(Write("Plink.ped", "1 1 0 0 1 2 1 1 1 2 2 2 1 1\n"), map); },
              "Plink.ped line 1: 8 allele codes, expected 6");
  ExpectError([&] { ReadPlinkText(Write("Plink.ped", "1 1 0 0 1 2 1 1 A 2 2 2\n"), map); },
              "Plink.ped line 1: allele code 'A'");
  ExpectError([&] { ReadPlinkText(Write("Plink.ped", "1 1 0 0 1 2 1 1 1 2 2 22\n"), map); },
              "Plink.ped line 1: allele code '22'");
  ExpectError([&] { ReadPlinkText(Write("Plink.ped", "1 1 0\n"), map); }, "Plink.ped line 1: fewer than 6");
  ExpectError([&] { ReadPlinkText(Write("Plink.ped", kPed), Write("Bad.map", "1 snp1 0 1\n1 snp2 0\n")); },
              "Bad.map line 2: expected 4 fields");
  ExpectError([&] { ReadPlinkText(Write("Plink.ped", kPed), Write("Bad2.map", "X snp1 0 1\n")); },
              "Bad2.map line 1: chromosome 'X'");
  ExpectError([&] { ReadPlinkText(dir_ / "absent.ped", map); }, "absent.ped: cannot be opened");
}

}  // namespace
}  // namespace korvane
