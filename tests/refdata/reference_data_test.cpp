#include "refdata/reference_data.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <random>
#include <thread>

#include "haplotype_rows.h"
#include "refdata/haplotype_store.h"
#include "refdata/marker_set.h"
#include "synthetic_data.h"
#include "test_files.h"

namespace korvane {
namespace {

using testing::HaplotypeOf;

using ::testing::HasSubstr;
using testing::TempDir;
using testing::WriteFile;

std::string Lines(int count, const std::string& line) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line + "\n";
  return text;
}

// Expects `call` to throw a DataError whose message contains every fragment.
template <typename Call>
void ExpectDataError(Call call, const std::vector<std::string>& fragments) {
  try {
    call();
    ADD_FAILURE() << "no DataError";
  } catch (const DataError& e) {
    for (const auto& fragment : fragments) EXPECT_THAT(e.what(), HasSubstr(fragment));
  }
}

// The haplotype lines from `first` on, one per line end: every line of 627
// A's but for a C at the SNP of its number, so that no two lines are alike.
std::string Haplotypes(int count, int first = 0, const std::string& lineEnd = "\n") {
  std::string text;
  for (int i = first; i < first + count; ++i) {
    std::string line(627, 'A');
    line[i % 627] = 'C';
    text += line + lineEnd;
  }
  return text;
}

// While it lives, opens and at once closes the writing end of a FIFO whenever
// a reader waits on it, so that a reader that opens the FIFO finds it empty
// instead of waiting forever: a test of a reader that should never open the
// FIFO then fails instead of hanging.
class FifoWriter {
 public:
  explicit FifoWriter(const std::filesystem::path& path)
      : thread_([this, path] {
          while (!stop_) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);  // fails while no reader waits
            if (fd >= 0) ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }) {}
  ~FifoWriter() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

TEST(PanelPathTest, RegionNameIsFollowedDirectlyByTheFileName) {
  EXPECT_EQ(PanelPath("data", 0, PanelFileKind::kHaploBlack).string(), "data/ENm010_7p15.2HaploBlack.txt");
  EXPECT_EQ(PanelPath("/x/d", 9, PanelFileKind::kTheta).string(), "/x/d/ENr321.8q24.11Theta.txt");
  EXPECT_EQ(PanelPath("data", 3, PanelFileKind::kHaploWhite).string(), "data/ENr112.2p16.3HaploWhite.txt");
  int total = 0;
  for (int r = 0; r < RegionCatalogue::Count(); ++r) total += RegionCatalogue::SnpCount(r);
  EXPECT_EQ(total, RegionCatalogue::TotalSnps());
}

TEST(HaplotypeFileTest, PairsLinesIntoIndividualsAndKeepsTheRegionsLetters) {
  TempDir dir;
  // 121 lines: 60 individuals, the unpaired last line is ignored whatever it holds.
  std::string text = Lines(120, std::string(627, 'A') + "GGGGXYZ\r");
  text += "not a haplotype\n";
  WriteFile(dir / "h.txt", text);
  const HaplotypeTable table = ReadHaplotypeFile(dir / "h.txt", 627);
  EXPECT_EQ(table.individualCount, 60);
  ASSERT_EQ(table.words.size(), 120u * WordsForLoci(627));
  EXPECT_EQ(HaplotypeOf(table, 59, 1)[626], 1);

  std::string mixed = std::string("ACGT") + std::string(623, 'T');
  WriteFile(dir / "m.txt", mixed + "\n" + std::string(627, 'G'));  // last line without a line end
  const HaplotypeTable two = ReadHaplotypeFile(dir / "m.txt", 627);
  ASSERT_EQ(two.individualCount, 1);
  EXPECT_EQ(HaplotypeOf(two, 0, 0)[0], 1);
  EXPECT_EQ(HaplotypeOf(two, 0, 0)[1], 2);
  EXPECT_EQ(HaplotypeOf(two, 0, 0)[2], 2);
  EXPECT_EQ(HaplotypeOf(two, 0, 0)[3], 1);
  EXPECT_EQ(HaplotypeOf(two, 0, 1)[626], 2);
}

// The letters each SNP shows, for the files that name alleles by nucleotide:
// a class with one letter names it, a class with both or none names none;
// the ignored unpaired line and blank lines add no letter.
TEST(HaplotypeFileTest, KeepsTheLettersEachSnpShows) {
  TempDir dir;
  // SNP 1: A and C; SNP 2: T and G; SNP 3: A and T (class 1 twice), SNP 4:
  // only G; the rest A and C.
  const std::string rest(623, 'A');
  WriteFile(dir / "h.txt", "ATAG" + rest + "\n" + "CGTG" + std::string(623, 'C') + "\n" + "GGGG" + rest + "\n\n");
  const HaplotypeTable table = ReadHaplotypeFile(dir / "h.txt", 627);
  ASSERT_EQ(table.individualCount, 1);
  ASSERT_EQ(table.letters.size(), 627u);
  EXPECT_EQ(table.letters[0], kLetterA | kLetterC);
  EXPECT_EQ(table.letters[1], kLetterT | kLetterG);
  EXPECT_EQ(table.letters[2], kLetterA | kLetterT);  // the unpaired line's G is not counted
  EXPECT_EQ(table.letters[3], kLetterG);
  EXPECT_EQ(ClassLetter(table.letters[0], 1), 'A');
  EXPECT_EQ(ClassLetter(table.letters[0], 2), 'C');
  EXPECT_EQ(ClassLetter(table.letters[1], 1), 'T');
  EXPECT_EQ(ClassLetter(table.letters[1], 2), 'G');
  EXPECT_EQ(ClassLetter(table.letters[2], 1), 0);
  EXPECT_EQ(ClassLetter(table.letters[2], 2), 0);
  EXPECT_EQ(ClassLetter(table.letters[3], 1), 0);
  EXPECT_EQ(ClassLetter(table.letters[3], 2), 'G');
}

TEST(HaplotypeFileTest, MalformedFilesAreReportedWithFileLineAndProblem) {
  TempDir dir;
  const auto path = dir / "ENm010_7p15.2HaploBlack.txt";
  ExpectDataError([&] { ReadHaplotypeFile(path, 627); }, {path.string(), "not found"});

  WriteFile(path, Lines(3, std::string(627, 'C')) + std::string(626, 'C') + "\n");
  ExpectDataError([&] { ReadHaplotypeFile(path, 627); }, {path.string(), "line 4", "626 letters", "627 SNPs"});

  std::string bad(627, 'A');
  bad[99] = 'N';
  WriteFile(path, Lines(2, std::string(627, 'A')) + bad + "\n" + std::string(627, 'A') + "\n");
  ExpectDataError([&] { ReadHaplotypeFile(path, 627); }, {"line 3, SNP 100", "'N'"});
  bad[99] = 'a';  // lower case is not one of the letters either
  WriteFile(path, bad + "\n" + bad + "\n");
  ExpectDataError([&] { ReadHaplotypeFile(path, 627); }, {"line 1, SNP 100", "'a'"});

  WriteFile(path, Lines(201, std::string(627, 'A')));
  ExpectDataError([&] { ReadHaplotypeFile(path, 627); }, {"more than 200 lines"});
  WriteFile(path, Lines(200, std::string(627, 'A')));
  EXPECT_EQ(ReadHaplotypeFile(path, 627).individualCount, 100);

  WriteFile(path, std::string(627, 'A') + "\n");
  ExpectDataError([&] { ReadHaplotypeFile(path, 627); }, {"no reference individual"});
  WriteFile(path, "");
  ExpectDataError([&] { ReadHaplotypeFile(path, 627); }, {"no reference individual"});
}

// A blank line between haplotype lines would pair the haplotypes that follow
// it wrongly; it is named as such, wherever it stands and whatever follows.
TEST(HaplotypeFileTest, BlankLinesBetweenHaplotypeLinesAreRefused) {
  TempDir dir;
  const auto path = dir / "ENm010_7p15.2HaploWhite.txt";
  const struct {
    std::string text;
    std::string where;
  } cases[] = {
      {Haplotypes(36) + "\n" + Haplotypes(83, 36), "line 37: blank line"},
      {"\n" + Haplotypes(4), "line 1: blank line"},
      {Haplotypes(4) + "\n\n" + Haplotypes(2, 4), "line 5: blank line"},
      {Haplotypes(1) + " \t \n" + Haplotypes(3, 1), "line 2: blank line"},
      {Haplotypes(2, 0, "\r\n") + "\r\n" + Haplotypes(2, 2, "\r\n"), "line 3: blank line"},
      // Not "more than 200 lines": the blank line is the fault.
      {Haplotypes(100) + "\n" + Haplotypes(100, 100), "line 101: blank line"},
      // The blank line is the third of four lines: not an ignored unpaired line.
      {Haplotypes(2) + "\n" + Haplotypes(1, 2), "line 3: blank line"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    WriteFile(path, c.text);
    ExpectDataError([&] { ReadHaplotypeFile(path, 627); }, {path.string(), c.where});
  }
  // A fault on a line before the blank one is reported first.
  WriteFile(path, Haplotypes(2) + std::string(600, 'A') + "\n\n" + Haplotypes(2));
  ExpectDataError([&] { ReadHaplotypeFile(path, 627); }, {"line 3: 600 letters"});
}

// Blank lines after the last haplotype line hold nothing that could be
// misread: they are ignored, and a final unpaired line before them still is.
TEST(HaplotypeFileTest, BlankLinesAtTheEndAreIgnored) {
  TempDir dir;
  const auto path = dir / "h.txt";
  const struct {
    std::string text;
    int individuals;
  } cases[] = {
      {Haplotypes(200) + "\n", 100},
      {Haplotypes(120) + "\n\n\n", 60},
      {Haplotypes(121) + "\n", 60},
      {Haplotypes(6, 0, "\r\n") + "\r\n  \r\n\t", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.size());
    WriteFile(path, c.text);
    const HaplotypeTable table = ReadHaplotypeFile(path, 627);
    ASSERT_EQ(table.individualCount, c.individuals);
    WriteFile(path, Haplotypes(2 * c.individuals));
    EXPECT_EQ(table.words, ReadHaplotypeFile(path, 627).words) << c.individuals;
  }
}

// Every letter lands in its bit, whatever the SNP count's remainder in 16- and
// 64-letter blocks, with CRLF or LF line ends and letters beyond the count;
// and a wrong byte anywhere among the first SNP-count letters is named.
TEST(HaplotypeFileTest, PacksEveryLetterAndNamesAWrongOneAtAnyPosition) {
  TempDir dir;
  const auto path = dir / "h.txt";
  std::mt19937 random(7);
  for (const int snps : {1, 15, 16, 17, 63, 64, 65, 127, 130, 627}) {
    std::vector<std::string> lines(6);
    for (auto& line : lines) {
      for (int i = 0; i < snps + static_cast<int>(random() % 3); ++i) line += "ACGT"[random() % 4];
    }
    const auto join = [&](const std::vector<std::string>& parts) {
      std::string text;
      for (const auto& part : parts) text += part + (snps % 2 ? "\r\n" : "\n");
      return text;
    };
    WriteFile(path, join(lines));
    const HaplotypeTable table = ReadHaplotypeFile(path, snps);
    ASSERT_EQ(table.individualCount, 3);
    for (int l = 0; l < 6; ++l) {
      for (int i = 0; i < snps; ++i) {
        const char c = lines[l][i];
        ASSERT_EQ(HaplotypeOf(table, l / 2, l % 2)[i], c == 'A' || c == 'T' ? 1 : 2) << snps << " " << l << " " << i;
      }
    }
    for (const char wrong : {'N', '\0', '\n', 'a'}) {
      const int line = static_cast<int>(random() % 6);
      const int at = static_cast<int>(random() % snps);
      std::vector<std::string> broken = lines;
      broken[line][at] = wrong;
      WriteFile(path, join(broken));
      // A line end as the first letter leaves an empty line before the rest.
      const std::string where = wrong != '\n' ? fmt::format("line {}, SNP {}:", line + 1, at + 1)
                                : at == 0     ? fmt::format("line {}: blank line", line + 1)
                                              : fmt::format("line {}: {} letters", line + 1, at);
      ExpectDataError([&] { ReadHaplotypeFile(path, snps); }, {where});
    }
  }
}

TEST(MapFileTest, ReadsThreeNumbersPerSnpWhateverTheLines) {
  TempDir dir;
  WriteFile(dir / "t.txt", "100 0 0\n250\t0.5 0.5 300\r\n1.5e-1 9\n\n \t\n");
  const auto records = ReadMapRecords(dir / "t.txt", 3);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].position, 250);
  EXPECT_EQ(records[1].distanceFromPrevious, 0.5);
  EXPECT_EQ(records[2].position, 300);
  EXPECT_EQ(records[2].distanceFromPrevious, 0.15);
  EXPECT_EQ(records[2].third, 9);
}

// Every token reads as the nearest double, as from_chars reads it: plain
// decimals of every length around the exactness limits (2^53, 19 digits,
// 10^22) and the other forms a map may hold.
TEST(MapFileTest, NumbersReadAsTheNearestDouble) {
  std::mt19937_64 random(11);
  std::vector<std::string> tokens = {"9007199254740992",
                                     "9007199254740993",
                                     "9007199254740993.0",
                                     "1234567890123456789",
                                     "12345678901234567890",
                                     "18446744073709551617",
                                     "0.0000000000000000000001",
                                     "0.00000000000000000000001",
                                     "5.",
                                     ".5",
                                     "+1.5",
                                     "1e3",
                                     "2.5E-3",
                                     "0",
                                     "00.100"};
  for (int i = 0; i < 3000; ++i) {
    const int whole = static_cast<int>(random() % 18);
    const int fraction = static_cast<int>(random() % 24);
    std::string token = std::to_string(random() % 1000);
    for (int k = 0; k < whole; ++k) token += static_cast<char>('0' + random() % 10);
    if (fraction > 0) token += '.';
    for (int k = 0; k < fraction; ++k) token += static_cast<char>('0' + random() % 10);
    tokens.push_back(token);
  }
  // Each token is the third number of a SNP, which may hold any number; the
  // first two, positions and distances, are checked against the map's bounds.
  std::string text;
  for (std::size_t i = 0; i < tokens.size(); ++i) text += fmt::format("{}\t0.5\t{}\n", 1000 * (i + 1), tokens[i]);
  TempDir dir;
  WriteFile(dir / "t.txt", text);
  const auto records = ReadMapRecords(dir / "t.txt", static_cast<int>(tokens.size()));
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const double read = records[i].third;
    const std::string& token = tokens[i];
    const std::size_t skip = token[0] == '+' ? 1 : 0;
    double expected = 0;
    std::from_chars(token.data() + skip, token.data() + token.size(), expected);
    ASSERT_EQ(read, expected) << token;
  }
}

TEST(MapFileTest, MalformedMapsAreReported) {
  TempDir dir;
  const auto path = dir / "ENm010_7p15.2Theta.txt";
  WriteFile(path, "1 0 0\n2 0.1 0.1\n3 0.2\n");
  ExpectDataError([&] { ReadMapRecords(path, 3); }, {path.string(), "8 numbers", "9 needed"});
  WriteFile(path, "1 0 0\n2 0.1cM 0.1\n3 0.2 0.3\n");
  ExpectDataError([&] { ReadMapRecords(path, 3); }, {"line 2, SNP 2", "'0.1cM' is not a number"});
  WriteFile(path, "1 0 0\n2 0.1 0.1\n3 nan 0.3\n");
  ExpectDataError([&] { ReadMapRecords(path, 3); }, {"line 3, SNP 3", "not a number"});
  WriteFile(path, "1 0 0 2 -0.1 0.1 3 0.2 0.3\n");
  ExpectDataError([&] { ReadMapRecords(path, 3); }, {"line 1, SNP 2", "negative distance"});
}

// A map of five SNPs, one per line; `FiveSnpMap(k, "x")` holds x in place of the
// k-th number (1-based).
std::string FiveSnpMap(int replaced = 0, const std::string& by = "") {
  std::vector<std::string> numbers = {"1000", "0",    "0",    "1250", "0.1",  "0.1", "1700", "0.2",
                                      "0.3",  "2300", "0.05", "0.35", "2900", "0.4", "0.75"};
  if (replaced > 0) numbers[replaced - 1] = by;
  std::string text;
  for (std::size_t i = 0; i < numbers.size(); ++i) text += numbers[i] + (i % 3 == 2 ? "\n" : " ");
  return text;
}

// A number added or lost anywhere shifts the three numbers of every SNP after
// it: the numbers of the whole file are counted, beyond the last SNP's too.
TEST(MapFileTest, TheFileMustHoldExactlyThreeNumbersPerSnp) {
  TempDir dir;
  const auto path = dir / "ENr321.8q24.11Theta.txt";
  const struct {
    std::string text;
    std::vector<std::string> fragments;
  } cases[] = {
      // A stray number at the end of line 2: SNP 3 would stand at 7 bp.
      {FiveSnpMap(6, "0.1 7"),
       {"line 5: more numbers than the 3 for each of the region's 5 SNPs (16 in all, 15 needed)",
        "line 2, SNP 3: position 7 bp is not above the previous SNP's position 1250 bp"}},
      {FiveSnpMap(8, ""), {"14 numbers, fewer than the 15 needed"}},
      {FiveSnpMap() + "3500\n", {"line 6: more numbers", "(16 in all, 15 needed)"}},
      {FiveSnpMap() + "\n3500 0.1 0.8\n4000 0.1 0.9\n", {"line 7: more numbers", "(21 in all, 15 needed)"}},
      // Past the last SNP a word is still not a number, even after a surplus number.
      {FiveSnpMap() + "end\n", {"line 6: 'end' is not a number"}},
      {FiveSnpMap() + "3500\n1 x\n", {"line 7: 'x' is not a number"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile(path, c.text);
    ExpectDataError([&] { ReadMapRecords(path, 5); }, c.fragments);
    ExpectDataError([&] { ReadMapRecords(path, 5); }, {path.string() + ": "});
  }
}

// Positions are base pairs along the region, distances centimorgans between
// neighbouring SNPs: each has the bounds of a real map, and the bounds
// themselves are accepted.
TEST(MapFileTest, PositionsAndDistancesOutsideAMapsBoundsAreRefused) {
  TempDir dir;
  const auto path = dir / "ENm010_7p15.2Theta.txt";
  const struct {
    int replaced;
    std::string by;
    std::string where;
    std::string problem;
  } cases[] = {
      {1, "0", "line 1, SNP 1", "position 0 bp is not positive"},
      {4, "-5", "line 2, SNP 2", "position -5 bp is not positive"},
      {1, "inf", "line 1, SNP 1", "'inf' is not a number"},
      {13, "1e308", "line 5, SNP 5", "position 1e308 bp is above 2147483647 bp"},
      {13, "2147483648", "line 5, SNP 5", "position 2147483648 bp is above 2147483647 bp"},
      {7, "1250", "line 3, SNP 3", "position 1250 bp is not above the previous SNP's position 1250 bp"},
      {10, "1600", "line 4, SNP 4", "position 1600 bp is not above the previous SNP's position 1700 bp"},
      {5, "100.5", "line 2, SNP 2", "distance 100.5 cM from the previous SNP is more than 100 cM"},
      {2, "1e300", "line 1, SNP 1", "distance 1e300 cM from the previous SNP is more than 100 cM"},
      {8, "-inf", "line 3, SNP 3", "'-inf' is not a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.by);
    WriteFile(path, FiveSnpMap(c.replaced, c.by));
    ExpectDataError([&] { ReadMapRecords(path, 5); }, {path.string() + ": " + c.where + ": " + c.problem});
  }

  WriteFile(path, FiveSnpMap(13, "2147483647") + "\n\n");
  EXPECT_EQ(ReadMapRecords(path, 5)[4].position, 2147483647.0);
  WriteFile(path, FiveSnpMap(11, "100"));
  EXPECT_EQ(ReadMapRecords(path, 5)[3].distanceFromPrevious, 100.0);
}

TEST(ReferenceDataTest, LoadsAFolderAndRestrictsPanelsToTheChosenLoci) {
  TempDir dir;
  testing::WriteSyntheticData(dir.path(), 3);
  const ReferenceData data = ReferenceData::Load(dir.path());
  EXPECT_EQ(data.PanelSize(), 3);

  MarkerSet markers;
  markers.selected[0] = {0, 5, 626};
  markers.selected[2] = {7};
  markers.IndexSelection();
  const ReferencePanel panel = LoadPanels(data, markers);
  EXPECT_EQ(panel.panelSize, 3);
  ASSERT_EQ(panel.yri.LociCount(), 4);
  // Each panel is one population's, which transmission gives the copies'
  // ancestry; it keeps no ancestry rows of its own.
  EXPECT_EQ(panel.yri.Population(), SourcePopulation::kYri);
  EXPECT_EQ(panel.second.Population(), SourcePopulation::kSecond);
  EXPECT_FALSE(panel.yri.TracksAncestry());
  const HaplotypeTable& region0 = data.Region(0).yri;
  for (int j = 0; j < 3; ++j) {
    for (int h = 0; h < 2; ++h) {
      EXPECT_EQ(HaplotypeOf(panel.yri, j, h)[0], HaplotypeOf(region0, j, h)[0]);
      EXPECT_EQ(HaplotypeOf(panel.yri, j, h)[1], HaplotypeOf(region0, j, h)[5]);
      EXPECT_EQ(HaplotypeOf(panel.yri, j, h)[2], HaplotypeOf(region0, j, h)[626]);
      EXPECT_EQ(HaplotypeOf(panel.second, j, h)[3], HaplotypeOf(data.Region(2).second, j, h)[7]);
    }
  }
}

TEST(ReferenceDataTest, FilesWithDifferentIndividualCountsAreRefused) {
  TempDir dir;
  testing::WriteSyntheticData(dir.path(), 3);
  const auto path = PanelPath(dir.path(), 4, PanelFileKind::kHaploBlack);
  WriteFile(path, Lines(4, std::string(1803, 'G')));
  ExpectDataError([&] { ReferenceData::Load(dir.path()); }, {path.string(), "2 reference individuals", "holds 3"});
  ExpectDataError([&] { ReferenceData::Load(dir / "absent"); }, {"absent", "folder not found"});
  std::filesystem::remove(PanelPath(dir.path(), 9, PanelFileKind::kTheta));
  WriteFile(path, Lines(6, std::string(1803, 'G')));
  ExpectDataError([&] { ReferenceData::Load(dir.path()); }, {"ENr321.8q24.11Theta.txt", "not found"});
}

// Only regular files are opened: a FIFO would wait for a writer for ever and
// a device need never end. A symbolic link is followed.
TEST(ReferenceDataTest, PathsThatAreNotRegularFilesAreRefusedUnopened) {
  TempDir dir;
  testing::WriteSyntheticData(dir.path(), 2);
  const auto map = PanelPath(dir.path(), 3, PanelFileKind::kTheta);
  std::filesystem::rename(map, dir / "map.txt");
  ASSERT_EQ(::mkfifo(map.c_str(), 0600), 0);
  {
    const FifoWriter writer(map);
    ExpectDataError([&] { ReferenceData::Load(dir.path()); }, {map.string() + ": is not a regular file (a FIFO)"});
    ExpectDataError([&] { ReadMapRecords(map, 1840); }, {map.string() + ": is not a regular file (a FIFO)"});
    ExpectDataError([&] { ReadHaplotypeFile(map, 1840); }, {map.string() + ": is not a regular file (a FIFO)"});
  }

  // A link to the FIFO is refused as the FIFO is; links to files are read.
  std::filesystem::remove(map);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir / "fifo", map);
  {
    const FifoWriter writer(dir / "fifo");
    ExpectDataError([&] { ReadMapRecords(map, 1840); }, {map.string() + ": is not a regular file (a FIFO)"});
  }
  std::filesystem::remove(map);
  std::filesystem::create_symlink(dir / "map.txt", map);
  const auto yri = PanelPath(dir.path(), 3, PanelFileKind::kHaploBlack);
  std::filesystem::rename(yri, dir / "yri.txt");
  std::filesystem::create_symlink(dir / "yri.txt", yri);
  const ReferenceData linked = ReferenceData::Load(dir.path());
  EXPECT_EQ(linked.Region(3).yri.words, ReadHaplotypeFile(dir / "yri.txt", 1840).words);
  EXPECT_EQ(linked.Region(3).map.back().position, ReadMapRecords(dir / "map.txt", 1840).back().position);

  const auto second = PanelPath(dir.path(), 1, PanelFileKind::kHaploWhite);
  std::filesystem::remove(second);
  std::filesystem::create_directory(second);
  ExpectDataError([&] { ReferenceData::Load(dir.path()); },
                  {second.string() + ": is not a regular file (a directory)"});
  if (std::filesystem::is_character_file("/dev/null")) {
    ExpectDataError([] { ReadHaplotypeFile("/dev/null", 10); },
                    {"/dev/null: is not a regular file (a character device)"});
  }
}

// Reading on several threads gives the same data, and of several problems
// the one met first in the order of reading.
TEST(ReferenceDataTest, ThreadsReadTheSameDataAndReportTheFirstProblem) {
  TempDir dir;
  testing::WriteSyntheticData(dir.path(), 4);
  WorkTeam team(3);
  const ReferenceData one = ReferenceData::Load(dir.path());
  const ReferenceData three = ReferenceData::Load(dir.path(), team);
  ASSERT_EQ(three.PanelSize(), one.PanelSize());
  for (int r = 0; r < RegionCatalogue::Count(); ++r) {
    EXPECT_EQ(three.Region(r).yri.words, one.Region(r).yri.words);
    EXPECT_EQ(three.Region(r).second.words, one.Region(r).second.words);
    ASSERT_EQ(three.Region(r).map.size(), one.Region(r).map.size());
    for (std::size_t s = 0; s < one.Region(r).map.size(); ++s) {
      EXPECT_EQ(three.Region(r).map[s].distanceFromPrevious, one.Region(r).map[s].distanceFromPrevious);
    }
  }

  // Region 6's YRI file holds a bad letter, region 2's second-population file
  // an individual fewer and region 9's map is missing: region 2 is read first.
  WriteFile(PanelPath(dir.path(), 6, PanelFileKind::kHaploBlack), "N\nN\n");
  WriteFile(PanelPath(dir.path(), 2, PanelFileKind::kHaploWhite),
            Lines(6, std::string(RegionCatalogue::SnpCount(2), 'A')));
  std::filesystem::remove(PanelPath(dir.path(), 9, PanelFileKind::kTheta));
  for (const int threads : {1, 2, 8}) {
    WorkTeam readers(threads);
    ExpectDataError([&] { ReferenceData::Load(dir.path(), readers); },
                    {PanelPath(dir.path(), 2, PanelFileKind::kHaploWhite).string(), "3 reference individuals"});
  }
}

}  // namespace
}  // namespace korvane
