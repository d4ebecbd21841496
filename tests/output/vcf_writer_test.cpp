// The phased VCF and BCF files: a hand-made replicate read back through
// htslib (header, samples, positions, IDs, REF/ALT, ROLE, genotypes and
// phase, the index), the shared phased store held or spilled against the
// files it leaves unchanged, and the refusals.

#include "output/vcf_writer.h"

#include <gtest/gtest.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "output/eigensoft_writer.h"
#include "output/output_set.h"
#include "output/plink_binary_writer.h"
#include "parallel/work_team.h"
#include "test_files.h"
#include "tiny_replicate.h"
#include "vcf_reading.h"

namespace korvane {
namespace {

using testing::ReadTree;
using testing::ReadVcf;
using testing::TempDir;
using testing::TinyReplicate;
using testing::VcfRead;

// The tiny replicate with panel letters (snp3 shows both class-1 letters,
// snp6 no class-2 letter) and its trait loci: the causal snp4, or QTLs 1 and
// 3 sharing snp4 and QTL 2 at snp7.
TinyReplicate Lettered(bool quantitative) {
  TinyReplicate r = quantitative ? TinyReplicate::Quantitative() : TinyReplicate::Qualitative();
  const char letters[][2] = {{'A', 'C'}, {'T', 'G'}, {0, 'C'}, {'A', 'G'}, {'T', 'C'}, {'T', 0}, {'A', 'C'}};
  for (std::size_t j = 0; j < r.entries.size(); ++j) {
    r.entries[j].classOneLetter = letters[j][0];
    r.entries[j].classTwoLetter = letters[j][1];
  }
  r.entries[2].position = 3000;  // VCF positions are whole
  r.truth.isNull = r.isNull;
  if (quantitative) {
    r.truth.traitLoci = {TraitLocusTruth{.position = 4, .qtl = 1}, TraitLocusTruth{.position = 7, .qtl = 2},
                         TraitLocusTruth{.position = 4, .qtl = 3}};
  } else {
    r.truth.traitLoci = {TraitLocusTruth{.position = 4, .qtl = 0}};
  }
  return r;
}

void Write(const TinyReplicate& r, const std::filesystem::path& dir, VcfKind kind) {
  VcfWriter writer(dir, kind);
  r.Feed(writer);
  writer.Close();
}

// Every genotype of `r` in the file, haplotype 1 first and marked phased.
void ExpectGenotypes(const TinyReplicate& r, const VcfRead& read) {
  ASSERT_EQ(read.records.size(), r.entries.size());
  for (std::size_t j = 0; j < r.entries.size(); ++j) {
    ASSERT_EQ(read.records[j].genotypes.size(), r.individuals.size());
    for (std::size_t i = 0; i < r.individuals.size(); ++i) {
      const Genotype want = r.genotypes[i][j];
      const Genotype got = read.records[j].genotypes[i];
      EXPECT_EQ(got.first, want.first) << "locus " << j << ", individual " << i;
      EXPECT_EQ(got.second, want.second) << "locus " << j << ", individual " << i;
      EXPECT_TRUE(read.records[j].phased[i]);
    }
  }
}

TEST(VcfWriterTest, TheRecordsHeaderAndIndexOfBothKinds) {
  for (const VcfKind kind : {VcfKind::kVcfGz, VcfKind::kBcf}) {
    for (const bool quantitative : {false, true}) {
      SCOPED_TRACE(VcfWriter::FileName(kind) + (quantitative ? " quantitative" : " qualitative"));
      TempDir dir;
      const TinyReplicate r = Lettered(quantitative);
      Write(r, dir.path(), kind);
      const VcfRead read = ReadVcf(dir / VcfWriter::FileName(kind));
      EXPECT_EQ(read.samples, (std::vector<std::string>{"1_1", "2_2", "3_3"}));
      ExpectGenotypes(r, read);
      // Region number, 1-based position and name as in Plink.map; REF class 1.
      const std::vector<std::string> expected = {"1 1000 snp1 A C", "1 2000 snp2 T G",     "1 3000 snp3 A C",
                                                 "2 500 snp4 A G",  "2 12345678 snp5 T C", "3 42 snp6 T C",
                                                 "3 43 snp7 A C"};
      for (std::size_t j = 0; j < expected.size(); ++j) {
        const auto& record = read.records[j];
        EXPECT_EQ(
            record.chrom + " " + std::to_string(record.pos) + " " + record.id + " " + record.ref + " " + record.alt,
            expected[j]);
        // A class without one letter gets its placeholder and the flag.
        EXPECT_EQ(record.placeholder, j == 2 || j == 5) << j;
      }
      const std::vector<std::string> roles =
          quantitative ? std::vector<std::string>{"null", "null", "other", "qtl1,qtl3", "null", "other", "qtl2"}
                       : std::vector<std::string>{"null", "null", "other", "causal", "null", "other", "other"};
      for (std::size_t j = 0; j < roles.size(); ++j) EXPECT_EQ(read.records[j].role, roles[j]) << j;
      EXPECT_TRUE(read.header.starts_with("##fileformat=VCFv4.2\n")) << read.header;
      // A contig per region, as long as its last chosen position; regions
      // without loci declared without a length; every region's name.
      for (const char* line :
           {"##contig=<ID=1,length=3000>\n", "##contig=<ID=2,length=12345678>\n", "##contig=<ID=3,length=43>\n",
            "##contig=<ID=4>\n", "##contig=<ID=10>\n", "##korvane_region=<ID=1,Name=ENm010_7p15.2>\n",
            "##korvane_region=<ID=10,Name=ENr321.8q24.11>\n", "##source=korvane "}) {
        EXPECT_NE(read.header.find(line), std::string::npos) << line;
      }
      // The index is there and finds the records of a region.
      const std::string path = (dir / VcfWriter::FileName(kind)).string();
      ASSERT_TRUE(std::filesystem::exists(dir / VcfWriter::IndexName(kind)));
      hts_idx_t* index = kind == VcfKind::kVcfGz ? nullptr : bcf_index_load(path.c_str());
      tbx_t* tabix = kind == VcfKind::kVcfGz ? tbx_index_load(path.c_str()) : nullptr;
      ASSERT_TRUE(index != nullptr || tabix != nullptr);
      std::uint64_t mapped = 0;
      std::uint64_t unmapped = 0;
      const int tid = tabix != nullptr ? tbx_name2id(tabix, "2") : 1;
      EXPECT_EQ(hts_idx_get_stat(tabix != nullptr ? tabix->idx : index, tid, &mapped, &unmapped), 0);
      EXPECT_EQ(mapped, 2u);
      if (tabix != nullptr) tbx_destroy(tabix);
      if (index != nullptr) hts_idx_destroy(index);
    }
  }
}

// The same genotypes from the shared store of an OutputSet, held in memory,
// spilled block by block or read back in bands, alone or on a team; and
// EIGENSOFT's and the .bed's bytes the same as without the phase plane.
TEST(VcfWriterTest, TheSharedPhasedStoreHeldOrSpilledLeavesTheOtherFilesAsTheyWere) {
  TinyReplicate r = Lettered(false);
  // 203 individuals: random genotypes, some missing, some phases each way.
  unsigned state = 17;
  auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
  r.individuals.clear();
  r.genotypes.clear();
  for (int i = 1; i <= 203; ++i) {
    r.individuals.push_back({i, Sex::kFemale, Affection::kAffected, std::nullopt, 0.5});
    std::vector<Genotype> row(r.entries.size());
    for (Genotype& g : row) {
      const unsigned draw = next();
      if (draw % 20 != 0)
        g = {static_cast<std::uint8_t>(1 + draw / 20 % 2), static_cast<std::uint8_t>(1 + draw / 40 % 2)};
    }
    r.genotypes.push_back(row);
  }
  TempDir unphased;
  {
    OutputSet set(unphased.path(), FormatSelection{"eigensoft", "bed"}, StudyKind::kQualitative,
                  AncestryFormat::kSourcePool, LineEnds::kLf);
    r.Feed(set);
    set.Close();
  }
  const std::map<std::string, std::string> expected = ReadTree(unphased.path());
  // The VCF and BCF files and their indexes, the same bytes whether the
  // store is held or spilled and whether htslib compresses on threads.
  std::map<std::string, std::string> phasedFiles;
  WorkTeam team(3);
  for (const std::size_t bound : {OutputSet::kDefaultGenotypeMemoryBound, std::size_t{1}, std::size_t{3 * 2 * 7 + 5}}) {
    for (WorkTeam* shared : {static_cast<WorkTeam*>(nullptr), &team}) {
      SCOPED_TRACE(::testing::Message() << "bound " << bound << (shared ? ", on a team" : ""));
      TempDir dir;
      OutputSet set(dir.path(), FormatSelection{"eigensoft", "bed", "vcf.gz", "bcf"}, StudyKind::kQualitative,
                    AncestryFormat::kSourcePool, LineEnds::kLf, FormatRegistry(), bound);
      if (shared != nullptr) set.ShareWith(*shared);
      r.Feed(set);
      set.Close();
      ExpectGenotypes(r, ReadVcf(dir / VcfWriter::kVcfGzName));
      ExpectGenotypes(r, ReadVcf(dir / VcfWriter::kBcfName));
      std::map<std::string, std::string> files = ReadTree(dir.path());
      std::map<std::string, std::string> phased;
      for (const VcfKind kind : {VcfKind::kVcfGz, VcfKind::kBcf}) {
        for (const std::string& name : {VcfWriter::FileName(kind), VcfWriter::IndexName(kind)}) {
          ASSERT_EQ(files.count(name), 1u) << name;
          phased[name] = files[name];
          files.erase(name);
        }
      }
      EXPECT_TRUE(files == expected);
      if (phasedFiles.empty()) phasedFiles = phased;
      EXPECT_TRUE(phased == phasedFiles);
    }
  }
}

// With the rows' ancestry (local ancestry tracked): AN1 and AN2 per
// haplotype, 0 YRI and 1 SECOND, from the writer's own store and from an
// OutputSet's shared one spilled; without it, no such field.
TEST(VcfWriterTest, TheAncestryOfEachHaplotype) {
  const TinyReplicate r = Lettered(false);
  // Individual i, haplotype h: bit j set (YRI) by a pattern of its own.
  std::vector<std::array<std::uint64_t, 2>> rows(r.individuals.size());
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = {0b1010011u ^ (i * 5), 0b0111100u ^ (i * 3)};
  const auto feed = [&](auto& sink) {
    r.FeedLoci(sink);
    for (std::size_t i = 0; i < r.individuals.size(); ++i) {
      GenotypeRow row = r.Row(i);
      row.ancestry = {&rows[i][0], &rows[i][1]};
      sink.Individual(r.individuals[i], row);
    }
    sink.Finish(r.truth);
  };
  const auto expect = [&](const VcfRead& read) {
    EXPECT_NE(read.header.find("##ANCESTRY=<YRI=0,SECOND=1>\n"), std::string::npos);
    ASSERT_EQ(read.records.size(), r.entries.size());
    for (std::size_t j = 0; j < r.entries.size(); ++j) {
      ASSERT_EQ(read.records[j].ancestry.size(), r.individuals.size());
      for (std::size_t i = 0; i < r.individuals.size(); ++i) {
        for (std::size_t h = 0; h < 2; ++h) {
          const int yri = static_cast<int>((rows[i][h] >> j) & 1);
          EXPECT_EQ(read.records[j].ancestry[i][h], 1 - yri) << "locus " << j << ", individual " << i << ", " << h;
        }
      }
    }
  };
  TempDir own;
  {
    VcfWriter writer(own.path(), VcfKind::kBcf);
    feed(writer);
    writer.Close();
  }
  expect(ReadVcf(own / VcfWriter::kBcfName));
  TempDir shared;
  {
    OutputSet set(shared.path(), FormatSelection{"vcf.gz", "bed"}, StudyKind::kQualitative, AncestryFormat::kSourcePool,
                  LineEnds::kLf, FormatRegistry(), 1);
    feed(set);
    set.Close();
  }
  const VcfRead read = ReadVcf(shared / VcfWriter::kVcfGzName);
  expect(read);
  ExpectGenotypes(r, read);
  TempDir without;
  Write(r, without.path(), VcfKind::kVcfGz);
  const VcfRead plain = ReadVcf(without / VcfWriter::kVcfGzName);
  EXPECT_EQ(plain.header.find("AN1"), std::string::npos);
  EXPECT_TRUE(plain.records.at(0).ancestry.empty());
}

TEST(VcfWriterTest, FailuresAndRefusals) {
  TempDir dir;
  // A folder that does not exist: the file cannot be created, and the
  // message names it.
  const std::filesystem::path missing = dir / "no-such-folder";
  for (const VcfKind kind : {VcfKind::kVcfGz, VcfKind::kBcf}) {
    try {
      VcfWriter writer(missing, kind);
      ADD_FAILURE() << "created in a missing folder";
    } catch (const OutputError& error) {
      EXPECT_NE(std::string(error.what()).find((missing / VcfWriter::FileName(kind)).string()), std::string::npos)
          << error.what();
    }
  }
  // A store without the phase cannot serve it.
  GenotypeStore unphased(dir.path());
  EXPECT_THROW(VcfWriter(dir.path(), VcfKind::kVcfGz, unphased), std::logic_error);
  Genotype out[1];
  EXPECT_THROW(unphased.PutGenotypes(0, out), std::logic_error);
  // Positions that are not whole base pairs from 1, or not increasing within
  // a region, are refused with the locus's name.
  VcfWriter writer(dir.path(), VcfKind::kVcfGz);
  writer.Locus({1, 1, std::nullopt, 100});
  EXPECT_THROW(writer.Locus({1, 2, 0.1, 100}), std::invalid_argument);
  EXPECT_THROW(writer.Locus({2, 2, std::nullopt, 0}), std::invalid_argument);
  EXPECT_THROW(writer.Locus({2, 2, std::nullopt, 10.5}), std::invalid_argument);
  writer.Locus({2, 2, std::nullopt, 50});  // a new region starts anywhere
  // An attempt that never reaches Finish leaves no index.
  writer.Close();
  EXPECT_FALSE(std::filesystem::exists(dir / VcfWriter::IndexName(VcfKind::kVcfGz)));
}

// A file that cannot be written to the end (its disk full, or as here the
// process's file size limit reached) is reported as an output error naming
// it, and gets no index. In a child process, whose limit the test's own
// files do not share.
TEST(VcfWriterTest, AWriteThatFailsPartwayIsReported) {
  TinyReplicate r;
  unsigned state = 5;
  auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
  constexpr int kLoci = 2000;
  for (int j = 0; j < kLoci; ++j) r.entries.push_back({1 + j / 250, j + 1, std::nullopt, 100.0 * (j + 1)});
  r.isNull.assign(kLoci, 0);
  r.truth.causalPositionsAll = {7};
  for (int i = 1; i <= 300; ++i) {
    r.individuals.push_back({i, Sex::kMale, Affection::kUnaffected, std::nullopt, 0});
    std::vector<Genotype> row(kLoci);
    for (Genotype& g : row) {
      const unsigned draw = next();
      g = {static_cast<std::uint8_t>(1 + draw % 2), static_cast<std::uint8_t>(1 + draw / 2 % 2)};
    }
    r.genotypes.push_back(row);
  }
  for (const VcfKind kind : {VcfKind::kVcfGz, VcfKind::kBcf}) {
    SCOPED_TRACE(VcfWriter::FileName(kind));
    TempDir dir;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // 0: written whole; 1: the error names the file; 2: it does not; 3: another failure.
      int outcome = 3;
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{64 * 1024, 64 * 1024};
      if (::setrlimit(RLIMIT_FSIZE, &limit) == 0) {
        try {
          VcfWriter writer(dir.path(), kind);
          writer.SetCompressionThreads(kind == VcfKind::kVcfGz ? 2 : 0);
          r.Feed(writer);
          writer.Close();
          outcome = 0;
        } catch (const OutputError& error) {
          outcome =
              std::string(error.what()).find((dir / VcfWriter::FileName(kind)).string()) != std::string::npos ? 1 : 2;
        } catch (...) {
          outcome = 3;
        }
      }
      std::_Exit(outcome);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / VcfWriter::IndexName(kind)));
  }
}

}  // namespace
}  // namespace korvane
