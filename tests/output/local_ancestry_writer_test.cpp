// LocalAncestry.bp: the tracts of a hand-made replicate byte by byte, and
// random ancestry rows at sizes around the words read back through the
// breakpoint reader, locus by locus.

#include "output/local_ancestry_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "breakpoint_file.h"
#include "refdata/packed_row.h"
#include "test_files.h"
#include "tiny_replicate.h"

namespace korvane {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::TinyReplicate;

// Packs ancestry given as a string of 'Y' (YRI) and 'S' (second population),
// other characters (region marks) left out.
std::vector<std::uint64_t> AncestryRow(const std::string& text) {
  std::string populations;
  for (const char c : text) {
    if (c == 'Y' || c == 'S') populations += c;
  }
  std::vector<std::uint64_t> row(WordsForLoci(static_cast<int>(populations.size())), 0);
  for (std::size_t g = 0; g < populations.size(); ++g) {
    if (populations[g] == 'Y') row[g / 64] |= std::uint64_t{1} << (g % 64);
  }
  return row;
}

// The tiny replicate's seven loci in three regions: tracts end at a change
// of population and at every region's last locus, genetic positions add up
// the map distances within a region, and a position halfway between two
// whole base pairs prints as "%.0f" does.
TEST(LocalAncestryWriterTest, TinyReplicateTractsByteByByte) {
  TempDir dir;
  const TinyReplicate replicate = TinyReplicate::Qualitative();
  // Per individual, its two haplotypes, the regions parted by '|'.
  const std::vector<std::string> ancestry = {
      "YYS|SY|YY", "SSS|SS|SS",  // individual 1
      "YYY|YY|YY", "SYS|YS|SY",  // individual 2
      "SSY|YY|SS", "YSY|SY|YS",  // individual 3
  };
  LocalAncestryWriter writer(dir.path(), LineEnds::kLf);
  replicate.FeedLoci(writer);
  for (std::size_t i = 0; i < replicate.individuals.size(); ++i) {
    const std::vector<std::uint64_t> first = AncestryRow(ancestry[2 * i]), second = AncestryRow(ancestry[2 * i + 1]);
    GenotypeRow row = replicate.Row(i);
    row.ancestry = {first.data(), second.data()};
    writer.Individual(replicate.individuals[i], row);
  }
  writer.Finish(replicate.truth);
  writer.Close();
  EXPECT_EQ(ReadFile(dir / "LocalAncestry.bp"),
            "1_1\n"
            "YRI\t1\t2000\t0.000000\n"
            "SECOND\t1\t3000\t0.001000\n"
            "SECOND\t2\t500\t0.000000\n"
            "YRI\t2\t12345678\t1.250000\n"
            "YRI\t3\t43\t0.000000\n"
            "1_2\n"
            "SECOND\t1\t3000\t0.001000\n"
            "SECOND\t2\t12345678\t1.250000\n"
            "SECOND\t3\t43\t0.000000\n"
            "2_1\n"
            "YRI\t1\t3000\t0.001000\n"
            "YRI\t2\t12345678\t1.250000\n"
            "YRI\t3\t43\t0.000000\n"
            "2_2\n"
            "SECOND\t1\t1000\t0.000000\n"
            "YRI\t1\t2000\t0.000000\n"
            "SECOND\t1\t3000\t0.001000\n"
            "YRI\t2\t500\t0.000000\n"
            "SECOND\t2\t12345678\t1.250000\n"
            "SECOND\t3\t42\t0.000000\n"
            "YRI\t3\t43\t0.000000\n"
            "3_1\n"
            "SECOND\t1\t2000\t0.000000\n"
            "YRI\t1\t3000\t0.001000\n"
            "YRI\t2\t12345678\t1.250000\n"
            "SECOND\t3\t43\t0.000000\n"
            "3_2\n"
            "YRI\t1\t1000\t0.000000\n"
            "SECOND\t1\t2000\t0.000000\n"
            "YRI\t1\t3000\t0.001000\n"
            "SECOND\t2\t500\t0.000000\n"
            "YRI\t2\t12345678\t1.250000\n"
            "YRI\t3\t42\t0.000000\n"
            "SECOND\t3\t43\t0.000000\n");
}

TEST(LocalAncestryWriterTest, CrlfModeAndAnEmptySample) {
  TempDir dir;
  const TinyReplicate replicate = TinyReplicate::Qualitative();
  {
    LocalAncestryWriter writer(dir.path(), LineEnds::kCrlf);
    replicate.FeedLoci(writer);
    const std::vector<std::uint64_t> yri = AncestryRow("YYYYYYY");
    GenotypeRow row = replicate.Row(0);
    row.ancestry = {yri.data(), yri.data()};
    writer.Individual(replicate.individuals[0], row);
    writer.Close();
  }
  const std::string start = "1_1\r\nYRI\t1\t3000\t0.001000\r\nYRI\t2\t12345678\t1.2";
  EXPECT_EQ(ReadFile(dir / "LocalAncestry.bp").substr(0, start.size()), start);
  LocalAncestryWriter empty(dir.path(), LineEnds::kLf);
  replicate.FeedLoci(empty);
  empty.Close();
  EXPECT_EQ(ReadFile(dir / "LocalAncestry.bp"), "");
}

// The file holds nothing made up: an individual without ancestry rows, or
// with a row of other loci than the listing's, is refused.
TEST(LocalAncestryWriterTest, RejectsRowsItCannotWriteTruly) {
  TempDir dir;
  const TinyReplicate replicate = TinyReplicate::Qualitative();
  LocalAncestryWriter writer(dir.path(), LineEnds::kLf);
  replicate.FeedLoci(writer);
  EXPECT_THROW(writer.Individual(replicate.individuals[0], replicate.Row(0)), std::invalid_argument);
  const std::vector<std::uint64_t> yri = AncestryRow("YYYYYYY");
  GenotypeRow halfTracked = replicate.Row(0);
  halfTracked.ancestry = {yri.data(), nullptr};
  EXPECT_THROW(writer.Individual(replicate.individuals[0], halfTracked), std::invalid_argument);
  const std::vector<Genotype> shortRow(6, Genotype{1, 1});
  GenotypeRow wrongLoci{shortRow, {}};
  wrongLoci.ancestry = {yri.data(), yri.data()};
  EXPECT_THROW(writer.Individual(replicate.individuals[0], wrongLoci), std::invalid_argument);
  writer.Close();
}

// Random ancestry rows with long and short runs, regions starting and ending
// inside words and on their boundaries: the file read back gives every
// locus's population, each haplotype under its own header.
TEST(LocalAncestryWriterTest, TractsReadBackGiveEveryLocusPopulation) {
  std::mt19937 random(17);
  const std::vector<std::vector<int>> layouts = {
      {1}, {64}, {63, 1, 64, 65}, {130, 2, 1, 127}, {1840, 0, 1, 65, 1803}, {5, 0, 0, 0, 0, 0, 0, 0, 0, 7}};
  for (const auto& counts : layouts) {
    SCOPED_TRACE(counts.size());
    TempDir dir;
    std::vector<MapEntry> entries;
    std::vector<testing::MapLocus> loci;
    for (std::size_t r = 0; r < counts.size(); ++r) {
      double cm = 0;
      for (int k = 0; k < counts[r]; ++k) {
        const double distance = static_cast<double>(random() % 1000) / 4096.0;  // exact in binary
        MapEntry entry{static_cast<int>(r) + 1, static_cast<int>(entries.size()) + 1, std::nullopt, 1000.0 + 37.0 * k};
        if (k > 0) {
          entry.distance = distance;
          cm += distance;
        }
        entries.push_back(entry);
        loci.push_back({entry.regionNumber, static_cast<long long>(entry.position), cm});
      }
    }
    const int n = static_cast<int>(entries.size());
    const std::vector<Genotype> genotypes(entries.size(), Genotype{1, 2});
    const std::vector<std::uint8_t> isNull(entries.size(), 0);
    std::vector<std::vector<std::uint64_t>> rows;
    LocalAncestryWriter writer(dir.path(), LineEnds::kLf);
    writer.BeginLoci();
    for (const MapEntry& entry : entries) writer.Locus(entry);
    writer.EndLoci();
    for (int i = 0; i < 4; ++i) {
      IndividualRecord record;
      record.id = i + 1;
      for (int h = 0; h < 2; ++h) {
        // Runs whose lengths are mostly short, sometimes a word or more.
        std::string populations;
        char current = random() % 2 ? 'Y' : 'S';
        while (static_cast<int>(populations.size()) < n) {
          const int run = random() % 4 == 0 ? static_cast<int>(random() % 150) + 1 : static_cast<int>(random() % 5) + 1;
          populations.append(static_cast<std::size_t>(run), current);
          current = current == 'Y' ? 'S' : 'Y';
        }
        populations.resize(static_cast<std::size_t>(n));
        if (i == 3) populations.assign(static_cast<std::size_t>(n), h == 0 ? 'Y' : 'S');
        rows.push_back(AncestryRow(populations));
      }
      GenotypeRow row{genotypes, isNull};
      row.ancestry = {rows[2 * static_cast<std::size_t>(i)].data(), rows[2 * static_cast<std::size_t>(i) + 1].data()};
      writer.Individual(record, row);
    }
    writer.Close();

    const auto haplotypes = testing::ReadBreakpoints(ReadFile(dir / "LocalAncestry.bp"));
    ASSERT_EQ(haplotypes.size(), rows.size());
    for (std::size_t k = 0; k < haplotypes.size(); ++k) {
      EXPECT_EQ(haplotypes[k].header, std::to_string(k / 2 + 1) + "_" + std::to_string(k % 2 + 1));
      const auto populations = testing::ExpandTracts(haplotypes[k], loci);
      ASSERT_TRUE(populations.has_value());
      for (int g = 0; g < n; ++g) ASSERT_EQ((*populations)[g], testing::LabelAt(rows[k].data(), g)) << "locus " << g;
      // No two neighbouring tracts of a region hold the same population.
      for (std::size_t t = 1; t < haplotypes[k].tracts.size(); ++t) {
        const auto& before = haplotypes[k].tracts[t - 1];
        const auto& tract = haplotypes[k].tracts[t];
        EXPECT_FALSE(before.chromosome == tract.chromosome && before.population == tract.population);
      }
    }
    // A wholly YRI and a wholly second-population haplotype: one tract per
    // region with loci.
    int regionsWithLoci = 0;
    for (const int count : counts) regionsWithLoci += count > 0;
    EXPECT_EQ(static_cast<int>(haplotypes[6].tracts.size()), regionsWithLoci);
    EXPECT_EQ(static_cast<int>(haplotypes[7].tracts.size()), regionsWithLoci);
  }
}

}  // namespace
}  // namespace korvane
