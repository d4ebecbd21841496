// The genotype files of a replicate of realistic shape (hundreds of loci,
// missing genotypes, null loci alone and in runs, at the ends too) against
// text built field by field with the C library's printf, as the formats
// read: every byte must agree, in both line-end modes.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "output/output_set.h"
#include "test_files.h"

namespace korvane {
namespace {

using testing::ReadFile;
using testing::TempDir;

struct Replicate {
  std::vector<MapEntry> entries;
  std::vector<IndividualRecord> individuals;
  std::vector<std::vector<Genotype>> rows;
  std::vector<std::uint8_t> isNull;
  ReplicateTruth truth;
};

Replicate MakeReplicate(StudyKind study, int individualCount, int locusCount) {
  Replicate r;
  unsigned state = 2024u + static_cast<unsigned>(locusCount);
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  for (int j = 0; j < locusCount; ++j) {
    const int region = 1 + 3 * j / locusCount;
    const bool first = j == 0 || region != 1 + 3 * (j - 1) / locusCount;
    r.entries.push_back(
        {region, j + 1, first ? std::nullopt : std::optional<double>(next() % 1000 / 997.0), 1000.0 + 37 * j});
  }
  r.isNull.assign(static_cast<std::size_t>(locusCount), 0);
  for (int j = 0; j < locusCount; ++j) {
    // Single null loci, a run of 20 and the two ends.
    if (next() % 13 == 0 || (j >= 100 && j < 120) || j == 0 || j == locusCount - 1) r.isNull[j] = 1;
  }
  const int causal = 57;
  r.isNull[causal] = 0;
  r.truth.causalPositionsAll = {causal + 1};
  for (int i = 0; i < individualCount; ++i) {
    IndividualRecord record;
    record.id = i + 1;
    record.sex = next() % 2 == 0 ? Sex::kMale : Sex::kFemale;
    if (study == StudyKind::kQualitative) {
      record.affection = i % 3 == 0 ? Affection::kAffected : Affection::kUnaffected;
    } else {
      record.phenotype = (static_cast<double>(next() % 200001) - 100000.0) / 1000.0 + 0.005;
    }
    r.individuals.push_back(record);
    std::vector<Genotype> row(static_cast<std::size_t>(locusCount));
    for (int j = 0; j < locusCount; ++j) {
      const unsigned draw = next();
      if (j != causal && draw % 100 < 8) continue;
      row[j] = Genotype{static_cast<std::uint8_t>(1 + draw / 100 % 2), static_cast<std::uint8_t>(1 + draw / 200 % 2)};
    }
    r.rows.push_back(row);
  }
  return r;
}

std::string Printf(const char* format, auto... values) {
  char text[64];
  const int length = std::snprintf(text, sizeof text, format, values...);
  return std::string(text, static_cast<std::size_t>(length));
}

int Code(std::uint8_t alleleClass) { return alleleClass == 1 ? 1 : 2; }

std::string Alleles(const char* format, const Genotype& g, const char* missing) {
  if (g.Missing()) return missing;
  return Printf(format, Code(g.first), Code(g.second));
}

std::string Trait(const IndividualRecord& individual, int status) {
  return individual.phenotype ? Printf("%.2f", *individual.phenotype) : Printf("%d", status);
}

struct Expected {
  std::string ped, strat, structure, gc, admixmapGeno, pcaGeno, stratGeno;
};

Expected ExpectedFiles(const Replicate& r) {
  Expected e;
  e.admixmapGeno = "id ";
  for (const MapEntry& entry : r.entries) e.admixmapGeno += Printf("snp%d ", entry.snpNumber);
  e.admixmapGeno += "\n";
  for (std::size_t i = 0; i < r.individuals.size(); ++i) {
    const IndividualRecord& individual = r.individuals[i];
    const std::vector<Genotype>& row = r.rows[i];
    // PLINK and STRAT code a case 2 and a control 1; GC 1 and 0.
    const bool isCase = individual.affection == Affection::kAffected;
    e.ped += Printf("%d %d 0 0 %d ", individual.id, individual.id, static_cast<int>(individual.sex)) +
             Trait(individual, isCase ? 2 : 1) + " ";
    e.strat += Printf("%d %d", individual.id, isCase ? 2 : 1);
    e.structure += Printf("%d", individual.id);
    e.gc += Printf("%d ", individual.id) + Trait(individual, isCase ? 1 : 0);
    e.admixmapGeno += Printf("%d ", individual.id);
    std::string heldBack;
    for (std::size_t j = 0; j < row.size(); ++j) {
      e.ped += Alleles("%d %d ", row[j], "0 0 ");
      e.admixmapGeno += Alleles(" \"%d,%d\" ", row[j], " \"0,0\" ");
      (r.isNull[j] ? e.structure : e.strat) += Alleles(" %d %d", row[j], " -9 -9");
      (r.isNull[j] ? heldBack : e.gc) += Alleles(" %d %d", row[j], " 0 0");
    }
    e.ped += "\n";
    e.strat += "\n";
    e.structure += "\n";
    e.gc += heldBack + "\n";
    e.admixmapGeno += "\n";
  }
  for (std::size_t j = 0; j < r.entries.size(); ++j) {
    std::string& file = static_cast<int>(j) + 1 == r.truth.causalPositionsAll[0] ? e.stratGeno : e.pcaGeno;
    for (const std::vector<Genotype>& row : r.rows) {
      file += row[j].Missing() ? '9' : static_cast<char>('0' + row[j].ClassOneCount());
    }
    file += "\n";
  }
  return e;
}

std::string WithLineEnds(const std::string& text, LineEnds ends) {
  if (ends == LineEnds::kLf) return text;
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void CheckReplicate(StudyKind study, LineEnds ends) {
  TempDir dir;
  const Replicate r = MakeReplicate(study, 70, 531);
  {
    const FormatSelection formats{"eigensoft", "admixmap", "plink", "structure-strat", "gc"};
    OutputSet output(dir.path(), formats, study, AncestryFormat::kSourcePool, ends);
    output.BeginLoci();
    for (const MapEntry& entry : r.entries) output.Locus(entry);
    output.EndLoci();
    for (std::size_t i = 0; i < r.individuals.size(); ++i) output.Individual(r.individuals[i], {r.rows[i], r.isNull});
    output.Finish(r.truth);
    output.Close();
  }
  const Expected e = ExpectedFiles(r);
  auto check = [&](const char* name, const std::string& expected) {
    const std::string stored = ReadFile(dir / name);
    const std::string wanted = WithLineEnds(expected, ends);
    EXPECT_EQ(stored.size(), wanted.size()) << name;
    EXPECT_TRUE(stored == wanted) << name;
  };
  check("Plink.ped", e.ped);
  check("GC.txt", e.gc);
  check("Eigensoft_Pca.geno", e.pcaGeno);
  check("Eigensoft_Strat.geno", e.stratGeno);
  if (study == StudyKind::kQualitative) {
    check("Strat.txt", e.strat);
    check("Structure.txt", e.structure);
    check("Admixmap_geno.txt", e.admixmapGeno);
  }
}

TEST(GenotypeFilesTest, QualitativeFilesMatchPrintfText) {
  CheckReplicate(StudyKind::kQualitative, LineEnds::kLf);
  CheckReplicate(StudyKind::kQualitative, LineEnds::kCrlf);
}

TEST(GenotypeFilesTest, QuantitativeFilesMatchPrintfText) {
  CheckReplicate(StudyKind::kQuantitative, LineEnds::kLf);
  CheckReplicate(StudyKind::kQuantitative, LineEnds::kCrlf);
}

}  // namespace
}  // namespace korvane
