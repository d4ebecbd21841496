// The vector and table paths of the genotype text against a letter-by-letter
// reference, at sizes on both sides of the eight-genotype groups and from
// unaligned starts.

#include "output/genotype_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvane {
namespace {

using output_detail::TextIndex;

// Allele classes as the formats read them: 0 first = missing; 1 = code 1;
// anything else = code 2 (also unusual values, which must not break the tables).
constexpr std::uint8_t kUnusualClasses[] = {0, 3, 200, 255};

std::vector<Genotype> RandomGenotypes(std::size_t count, unsigned seed, unsigned missingPercent) {
  std::vector<Genotype> genotypes(count);
  unsigned state = seed;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  for (Genotype& g : genotypes) {
    const unsigned draw = next();
    if (draw % 100 < missingPercent) {
      g = Genotype{0, static_cast<std::uint8_t>(draw % 3 == 0 ? 1 + draw / 100 % 2 : 0)};
      continue;
    }
    // Now and then an unusual class: 3, 200 or 255, and 0 for the second allele.
    auto allele = [](unsigned bits, unsigned firstUnusual) -> std::uint8_t {
      if (bits % 50 == 0) return kUnusualClasses[firstUnusual + bits / 50 % (4 - firstUnusual)];
      return static_cast<std::uint8_t>(1 + bits % 2);
    };
    g = Genotype{allele(next(), 1), allele(next(), 0)};
  }
  return genotypes;
}

char Code(std::uint8_t alleleClass) { return alleleClass == 1 ? '1' : '2'; }

std::string Reference(const std::vector<Genotype>& genotypes, std::size_t from, const std::string& before,
                      const std::string& between, const std::string& after, const std::string& missing) {
  std::string text;
  for (std::size_t j = from; j < genotypes.size(); ++j) {
    const Genotype& g = genotypes[j];
    text += before;
    text += g.Missing() ? missing : std::string(1, Code(g.first));
    text += between;
    text += g.Missing() ? missing : std::string(1, Code(g.second));
    text += after;
  }
  return text;
}

struct Kernel {
  const char* name;
  char* (*put)(char*, std::span<const Genotype>);
  std::size_t (*room)(std::size_t);
  std::string before, between, after, missing;
};

const Kernel kKernels[] = {
    {"spaced", output_detail::PutSpacedCodes, output_detail::SpacedCodesRoom, " ", " ", "", "0"},
    {"minus nine", output_detail::PutSpacedCodesOrMinusNine, output_detail::SpacedCodesOrMinusNineRoom, " ", " ", "",
     "-9"},
    {"quoted", output_detail::PutQuotedPairs, output_detail::QuotedPairsRoom, " \"", ",", "\" ", "0"},
};

TEST(GenotypeTextTest, KernelsMatchTheReferenceAndStayInTheirRoom) {
  std::vector<std::size_t> sizes;
  for (std::size_t n = 0; n <= 40; ++n) sizes.push_back(n);
  for (std::size_t n : {63, 64, 65, 127, 128, 129, 1000, 12867}) sizes.push_back(n);
  unsigned seed = 1;
  for (const Kernel& kernel : kKernels) {
    for (std::size_t size : sizes) {
      for (unsigned missingPercent : {0u, 5u, 50u, 100u}) {
        for (std::size_t from : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
          const std::vector<Genotype> genotypes = RandomGenotypes(size + from, ++seed, missingPercent);
          const std::string expected =
              Reference(genotypes, from, kernel.before, kernel.between, kernel.after, kernel.missing);
          const std::size_t room = kernel.room(size);
          // Guard bytes after the room must come through untouched.
          std::string buffer(room + 32, '#');
          char* end = kernel.put(buffer.data(), std::span<const Genotype>(genotypes).subspan(from));
          ASSERT_EQ(std::string(buffer.data(), end), expected)
              << kernel.name << ", " << size << " genotypes, " << missingPercent << "% missing, from " << from;
          ASSERT_EQ(buffer.substr(room), std::string(32, '#')) << kernel.name << ", " << size << " genotypes";
        }
      }
    }
  }
}

TEST(GenotypeTextTest, TextIndexNamesTheFiveTexts) {
  EXPECT_EQ(TextIndex({0, 0}), 0u);
  EXPECT_EQ(TextIndex({0, 1}), 0u);
  EXPECT_EQ(TextIndex({1, 1}), 1u);
  EXPECT_EQ(TextIndex({1, 2}), 2u);
  EXPECT_EQ(TextIndex({1, 0}), 2u);
  EXPECT_EQ(TextIndex({2, 1}), 3u);
  EXPECT_EQ(TextIndex({255, 1}), 3u);
  EXPECT_EQ(TextIndex({2, 2}), 4u);
  EXPECT_EQ(TextIndex({3, 200}), 4u);
}

TEST(GenotypeTextTest, SplitWritesCandidatesThenNullLociInLocusOrder) {
  for (std::size_t size : {0, 1, 9, 17, 64, 100, 130, 300}) {
    const std::vector<Genotype> genotypes = RandomGenotypes(size, static_cast<unsigned>(size) + 7, 10);
    for (unsigned pattern = 0; pattern < 6; ++pattern) {
      std::vector<std::uint8_t> isNull(size, 0);
      for (std::size_t j = 0; j < size; ++j) {
        // None, all, the first, the last, every third, and a run in the middle.
        const bool null = pattern == 1 || (pattern == 2 && j == 0) || (pattern == 3 && j + 1 == size) ||
                          (pattern == 4 && j % 3 == 0) || (pattern == 5 && j > size / 3 && j < size / 2 + 9);
        isNull[j] = null ? (j % 2 == 0 ? 1 : 7) : 0;
      }
      std::vector<std::uint32_t> nulls = {99};  // replaced, not added to
      output_detail::CollectNullLoci(isNull, nulls);
      std::vector<std::uint32_t> expectedNulls;
      std::string candidates;
      std::string held;
      for (std::size_t j = 0; j < size; ++j) {
        const std::vector<Genotype> one = {genotypes[j]};
        const std::string text = Reference(one, 0, " ", " ", "", "0");
        if (isNull[j] != 0) {
          expectedNulls.push_back(static_cast<std::uint32_t>(j));
          held += text;
        } else {
          candidates += text;
        }
      }
      ASSERT_EQ(nulls, expectedNulls) << size << " loci, pattern " << pattern;
      std::string buffer(4 * size + 8, '#');
      char* end = output_detail::PutSplit(buffer.data(), genotypes, nulls, output_detail::PutSpacedCodes);
      end = output_detail::PutNullLoci(end, genotypes, nulls, output_detail::PutSpacedCodes);
      EXPECT_EQ(std::string(buffer.data(), end), candidates + held) << size << " loci, pattern " << pattern;
    }
  }
}

}  // namespace
}  // namespace korvane
