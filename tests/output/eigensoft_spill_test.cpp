// The EIGENSOFT writer with a memory bound small enough that the genotype
// columns go through the scratch file: the files must be those of the
// writer that keeps everything in memory, and nothing may be left beside them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <map>
#include <string>
#include <vector>

#include "output/eigensoft_writer.h"
#include "test_files.h"

namespace korvane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ReadTree;
using testing::TempDir;

struct Replicate {
  std::vector<MapEntry> entries;
  std::vector<IndividualRecord> individuals;
  std::vector<std::vector<Genotype>> rows;
  ReplicateTruth truth;
};

// About 7 % of the genotypes missing; a quantitative replicate has QTLs at
// both ends, in the middle (twice) and an unused slot.
Replicate MakeReplicate(std::size_t individualCount, int loci, bool quantitative = false) {
  Replicate r;
  unsigned state = 99u + static_cast<unsigned>(individualCount);
  auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
  for (int j = 0; j < loci; ++j) r.entries.push_back({1 + j / 20, j + 1, std::nullopt, 1000.0 + j});
  r.truth.causalPositionsAll = quantitative ? std::vector<int>{1, loci / 2, 0, loci / 2, loci} : std::vector<int>{7};
  for (std::size_t i = 0; i < individualCount; ++i) {
    r.individuals.push_back({static_cast<int>(i) + 1, next() % 2 ? Sex::kMale : Sex::kFemale,
                             next() % 2 != 0 ? Affection::kAffected : Affection::kUnaffected, std::nullopt, 0.0});
    if (quantitative) {
      r.individuals.back().affection = std::nullopt;
      r.individuals.back().phenotype = static_cast<double>(next() % 2001) / 100.0 - 10.0;
    }
    std::vector<Genotype> row(static_cast<std::size_t>(loci));
    for (Genotype& g : row) {
      const unsigned draw = next();
      if (draw % 100 >= 7)
        g = {static_cast<std::uint8_t>(1 + draw / 100 % 2), static_cast<std::uint8_t>(1 + draw / 200 % 2)};
    }
    r.rows.push_back(row);
  }
  return r;
}

void Feed(EigensoftWriter& writer, const Replicate& r, bool finish, std::size_t from = 0) {
  const std::vector<std::uint8_t> isNull(r.entries.size(), 0);
  if (from == 0) {
    for (const MapEntry& entry : r.entries) writer.Locus(entry);
  }
  for (std::size_t i = from; i < r.rows.size(); ++i) writer.Individual(r.individuals[i], {r.rows[i], isNull});
  if (finish) writer.Finish(r.truth);
}

std::map<std::string, std::string> Files(const Replicate& r, LineEnds ends, std::size_t memoryBound) {
  TempDir dir;
  EigensoftWriter writer(dir.path(), ends, memoryBound);
  Feed(writer, r, true);
  writer.Close();
  return ReadTree(dir.path());
}

// The bytes of `count` blocks of 8 individuals at `loci` loci.
std::size_t Blocks(std::size_t count, int loci) { return count * 2 * static_cast<std::size_t>(loci); }

TEST(EigensoftSpillTest, FilesMatchTheInMemoryWriterForAnyBound) {
  // Bounds of one block (and a locus per band), three blocks, and more than
  // a storage chunk; samples empty, within a block, on and off the blocks of
  // 8, and of many runs.
  const std::vector<std::size_t> bounds = {1, Blocks(3, 70), Blocks(3, 70) + 5, Blocks(70, 70)};
  for (bool quantitative : {false, true}) {
    for (std::size_t individuals : {0, 1, 7, 8, 9, 24, 25, 100, 1037}) {
      const Replicate r = MakeReplicate(individuals, 70, quantitative);
      for (LineEnds ends : {LineEnds::kLf, LineEnds::kCrlf}) {
        const auto expected = Files(r, ends, EigensoftWriter::kDefaultMemoryBound);
        for (std::size_t bound : bounds) {
          EXPECT_TRUE(Files(r, ends, bound) == expected) << individuals << " individuals, bound " << bound;
        }
      }
    }
  }
}

TEST(EigensoftSpillTest, SpillsWhenANewBlockWouldPassTheBound) {
  // A folder in the scratch file's place makes a spill fail at once.
  const Replicate r = MakeReplicate(25, 30);
  TempDir dir;
  const std::filesystem::path blocked = dir / EigensoftWriter::kSpillName;
  std::filesystem::create_directory(blocked);
  EigensoftWriter writer(dir.path(), LineEnds::kLf, Blocks(3, 30));
  Feed(writer, MakeReplicate(24, 30), false);  // three blocks fit
  try {
    Feed(writer, r, false, 24);
    ADD_FAILURE() << "the 25th individual did not spill";
  } catch (const OutputError& error) {
    EXPECT_THAT(error.what(), HasSubstr(blocked.string() + ": cannot create: "));
  }
}

TEST(EigensoftSpillTest, NothingIsLeftBesideTheFiles) {
  // After a finished replicate the files are compared above; here an
  // attempt that never finishes, left to the destructor as when it throws.
  auto names = [](const TempDir& dir) {
    std::vector<std::string> found;
    for (const auto& [name, text] : ReadTree(dir.path())) found.push_back(name);
    return found;
  };
  const auto files = ElementsAre("Eigensoft.phen", "Eigensoft_Pca.geno", "Eigensoft_Pca.ind", "Eigensoft_Pca.snp",
                                 "Eigensoft_Strat.geno");
  TempDir dir;
  {
    EigensoftWriter writer(dir.path(), LineEnds::kLf, 1);
    Feed(writer, MakeReplicate(100, 30), false);
    EXPECT_THAT(names(dir), files);  // while the scratch file is in use, too
  }
  EXPECT_THAT(names(dir), files);
}

TEST(EigensoftSpillTest, AFailedSpillNamesTheFileAndTheReason) {
  // A file size limit that the scratch file passes and the output files do
  // not: the system refuses the write instead of signalling the process.
  const Replicate r = MakeReplicate(200, 2000);
  TempDir dir;
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 1 << 16;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  std::string message = "(no OutputError)";
  try {
    EigensoftWriter writer(dir.path(), LineEnds::kLf, 1);
    Feed(writer, r, true);
  } catch (const OutputError& error) {
    message = error.what();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedHandler);
  EXPECT_EQ(message, (dir / EigensoftWriter::kSpillName).string() + ": write error: File too large");
}

// A run asked to stop ends the writing of a large replicate's .geno files
// between two of their lines, without a trace in the folder once closed.
TEST(EigensoftSpillTest, ACheckpointCanEndTheGenoFilesBetweenLines) {
  struct Stop {};
  const Replicate r = MakeReplicate(25, 70);
  for (const std::size_t bound : {std::size_t{1}, Blocks(70, 70)}) {  // spilled, and in memory
    TempDir dir;
    int calls = 0;
    {
      EigensoftWriter writer(dir.path(), LineEnds::kLf, bound);
      writer.SetCheckpoint(
          [&calls] {
            if (++calls == 3) throw Stop{};
          },
          1);  // before every line
      Feed(writer, r, false);
      EXPECT_THROW(writer.Finish(r.truth), Stop);
    }
    EXPECT_EQ(calls, 3);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      EXPECT_THAT(entry.path().filename().string(), ::testing::StartsWith("Eigensoft"));
    }
  }
}

}  // namespace
}  // namespace korvane
