// The truth files of the case-control study join with the specified files:
// every id and role of Loci.tsv, Truth.tsv and Individuals.tsv is checked
// against Plink.map, Plink.ped, the STRUCTURE / STRAT split, Origin.txt and
// the causal-locus logs of the same run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>
#include <set>

#include "qual/QUAL.h"
#include "recording_host.h"
#include "synthetic_data.h"
#include "test_files.h"
#include "truth_files.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::Fields;
using testing::PedigreeAlleles;
using testing::ReadFile;
using testing::ReadTsv;
using testing::SplitLines;
using testing::TempDir;
using testing::TsvRow;

class QualTruthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteSyntheticData(tmp_ / "data", 20);
    study_.parameters.totalLocusCount = 120;
    study_.parameters.nullLocusCount = 10;
    study_.parameters.sampleSize = 60;
    study_.parameters.prevalence = 0.2;
    study_.parameters.missingRate = 0.05;
    study_.parameters.replicateCount = 2;
    options_.dataDir = tmp_ / "data";
    options_.seed = 11;
  }
  fs::path Run(ModelKind model) {
    const fs::path out = tmp_ / (model == ModelKind::kDiscrete ? "discrete" : "continuous");
    study_.parameters.modelKind = model;
    study_.parameters.outputDirectory = out.string();
    testing::RecordingHost host;
    const RunOutcome outcome = study_.Run(options_, host);
    EXPECT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
    return out;
  }

  TempDir tmp_;
  QualStudy study_;
  RunOptions options_;
};

// The loci: the ids of Plink.map in order, the null loci exactly those of
// Structure.txt (genotype for genotype) and the others those of Strat.txt,
// the sample frequencies those of Plink.ped.
void CheckLoci(const fs::path& dir) {
  const std::vector<TsvRow> loci = ReadTsv(dir / "Loci.tsv");
  const std::vector<std::string> map = SplitLines(ReadFile(dir / "Plink.map"));
  ASSERT_EQ(loci.size(), map.size());
  const auto people = PedigreeAlleles(dir / "Plink.ped");
  std::vector<std::size_t> nulls, others;
  for (std::size_t j = 0; j < loci.size(); ++j) {
    const TsvRow& locus = loci[j];
    const std::vector<std::string> mapFields = Fields(map[j]);
    EXPECT_EQ(locus.at("id"), mapFields[1]);
    EXPECT_EQ(locus.at("region"), mapFields[0]);
    EXPECT_EQ(locus.at("position_bp"), mapFields[3]);
    (locus.at("role") == "null" ? nulls : others).push_back(j);
    const double sample = testing::SampleClassOneFrequency(people, j);
    if (sample < 0) {
      EXPECT_EQ(locus.at("class1_freq_sample"), "NA");
    } else {
      EXPECT_NEAR(std::stod(locus.at("class1_freq_sample")), sample, 5e-7) << locus.at("id");
    }
  }
  EXPECT_FALSE(nulls.empty());
  const std::vector<std::string> structure = SplitLines(ReadFile(dir / "Structure.txt"));
  const std::vector<std::string> strat = SplitLines(ReadFile(dir / "Strat.txt"));
  ASSERT_EQ(structure.size(), people.size());
  for (std::size_t i = 0; i < people.size(); ++i) {
    const std::vector<std::string> aims = Fields(structure[i]);
    ASSERT_EQ(aims.size(), 1 + 2 * nulls.size());
    EXPECT_EQ(Fields(strat[i]).size(), 2 + 2 * others.size());
    for (std::size_t k = 0; k < nulls.size(); ++k) {
      for (std::size_t a = 0; a < 2; ++a) {
        const std::string& ped = people[i][2 * nulls[k] + a];
        EXPECT_EQ(aims[1 + 2 * k + a], ped == "0" ? "-9" : ped);
      }
    }
  }
}

// The individuals: Plink.ped's ids, status and sex, Origin.txt's ancestry.
void CheckIndividuals(const fs::path& dir, ModelKind model) {
  const std::vector<TsvRow> individuals = ReadTsv(dir / "Individuals.tsv");
  const std::vector<std::string> ped = SplitLines(ReadFile(dir / "Plink.ped"));
  const std::vector<std::string> origin = SplitLines(ReadFile(dir / "Origin.txt"));
  ASSERT_EQ(individuals.size(), ped.size());
  ASSERT_EQ(origin.size(), ped.size() + 1);
  std::set<int> draws;
  for (std::size_t i = 0; i < individuals.size(); ++i) {
    const TsvRow& row = individuals[i];
    const std::vector<std::string> fields = Fields(ped[i]);
    EXPECT_EQ(row.at("id"), fields[1]);
    EXPECT_EQ(row.at("status"), fields[5] == "2" ? "case" : "control");
    EXPECT_EQ(row.at("sex"), fields[4] == "2" ? "female" : "male");
    EXPECT_EQ(row.at("origin_ancestry"), Fields(origin[i + 1])[1]);
    draws.insert(std::stoi(row.at("population_draw")));
    if (model == ModelKind::kDiscrete) {
      // Every allele of a pool's individual was copied from that pool's panel.
      const bool yri = row.at("origin_ancestry") == "1.0";
      EXPECT_EQ(row.at("source"), yri ? "YRI_pool" : "second_pool");
      EXPECT_EQ(row.at("realized_ancestry"), yri ? "1.000000" : "0.000000");
    } else {
      EXPECT_EQ(row.at("source"), "admixed");
    }
  }
  // The populations are numbered from 1 in the order they were built.
  EXPECT_EQ(*draws.begin(), 1);
}

// The causal locus: the logs' position, Loci.tsv's role, the frequencies it
// was chosen from and the penetrances as derived and as applied.
void CheckCausalLocus(const fs::path& out, int n, const std::string& logLine, bool calibrated = false) {
  const fs::path dir = out / std::to_string(n);
  const std::vector<TsvRow> truth = ReadTsv(dir / "Truth.tsv");
  ASSERT_EQ(truth.size(), 1u);
  const TsvRow& causal = truth[0];
  std::smatch match;
  ASSERT_TRUE(std::regex_search(logLine, match, std::regex("SNP(\\d+)")));
  EXPECT_EQ(causal.at("id"), "snp" + match[1].str());
  EXPECT_EQ(causal.at("role"), "causal");
  // Found verbatim among the map's names, with the role in Loci.tsv.
  EXPECT_THAT(ReadFile(dir / "Plink.map"), ::testing::HasSubstr(" " + causal.at("id") + " "));
  const std::vector<TsvRow> loci = ReadTsv(dir / "Loci.tsv");
  const TsvRow& locus = loci.at(std::stoul(match[1].str()) - 1);
  EXPECT_EQ(locus.at("role"), "causal");
  const int riskClass = std::stoi(causal.at("risk_allele_code"));
  for (const auto& [risk, classOne] : {std::pair{"risk_freq_yri", "class1_freq_yri"},
                                       {"risk_freq_second", "class1_freq_second"},
                                       {"risk_freq_admixed", "class1_freq_admixed"}}) {
    if (locus.at(classOne) == "NA") {
      EXPECT_EQ(causal.at(risk), "NA");
      continue;
    }
    const double f = std::stod(locus.at(classOne));
    EXPECT_NEAR(std::stod(causal.at(risk)), riskClass == 1 ? f : 1 - f, 2e-6) << risk;
  }
  for (const char* f : {"f0", "f1", "f2"}) {
    const double derived = std::stod(causal.at(f));
    const double applied = std::stod(causal.at(std::string(f) + "_applied"));
    if (calibrated) {
      // Applied at full resolution: the penetrance itself, within [0, 1].
      EXPECT_EQ(applied, std::clamp(derived, 0.0, 1.0)) << f;
    } else {
      // Applied through thousandths: the share of draws below the penetrance.
      EXPECT_NEAR(applied, std::ceil(derived * 1000 - 1e-9) / 1000, 1e-9) << f;
    }
  }
  EXPECT_EQ(std::stod(causal.at("prevalence")), 0.2);
}

TEST_F(QualTruthTest, TruthFilesJoinWithTheSpecifiedFiles) {
  for (const ModelKind model : {ModelKind::kDiscrete, ModelKind::kContinuous}) {
    SCOPED_TRACE(model == ModelKind::kDiscrete ? "discrete" : "continuous");
    const fs::path out = Run(model);
    const std::vector<std::string> logAll = SplitLines(ReadFile(out / "Causal_Locus_Plink&Admixmap&Eigensoft.txt"));
    const std::vector<std::string> logStrat = SplitLines(ReadFile(out / "Causal_Locus_Strat&GC.txt"));
    ASSERT_EQ(logAll.size(), 3u);
    const std::vector<TsvRow> truthLoci = ReadTsv(out / "Truth_Loci.tsv");
    ASSERT_EQ(truthLoci.size(), 2u);
    for (int n : {1, 2}) {
      SCOPED_TRACE(n);
      const fs::path dir = out / std::to_string(n);
      CheckLoci(dir);
      CheckIndividuals(dir, model);
      CheckCausalLocus(out, n, logAll[n]);
      // The run's table is the logs in a joinable form.
      const TsvRow& row = truthLoci[n - 1];
      EXPECT_EQ(row.at("replicate"), std::to_string(n));
      EXPECT_EQ(row.at("role"), "causal");
      EXPECT_EQ("SNP" + row.at("position_all"), Fields(logAll[n])[1]);
      EXPECT_EQ("SNP" + row.at("position_candidate"), Fields(logStrat[n])[1]);
      // The candidate position counts the loci that are not null loci.
      const std::vector<TsvRow> loci = ReadTsv(dir / "Loci.tsv");
      int candidate = 0;
      for (int j = 0; j < std::stoi(row.at("position_all")); ++j) candidate += loci[j].at("role") != "null";
      EXPECT_EQ(std::to_string(candidate), row.at("position_candidate"));
    }
    if (model == ModelKind::kContinuous) {
      const TsvRow locus = ReadTsv(out / "1" / "Loci.tsv").front();
      EXPECT_EQ(locus.at("class1_freq_yri"), "NA");
      EXPECT_NE(locus.at("class1_freq_admixed"), "NA");
    }
  }
}

// The calibrated model's files join the same way; its sample holds the four
// groups in the numbers asked, in a shuffled order, from one population.
TEST_F(QualTruthTest, CalibratedTruthFilesJoinToo) {
  options_.calibrated = true;
  for (const ModelKind model : {ModelKind::kDiscrete, ModelKind::kContinuous}) {
    SCOPED_TRACE(model == ModelKind::kDiscrete ? "discrete" : "continuous");
    const fs::path out = Run(model);
    const std::vector<std::string> logAll = SplitLines(ReadFile(out / "Causal_Locus_Plink&Admixmap&Eigensoft.txt"));
    for (int n : {1, 2}) {
      SCOPED_TRACE(n);
      const fs::path dir = out / std::to_string(n);
      CheckLoci(dir);
      CheckIndividuals(dir, model);
      CheckCausalLocus(out, n, logAll[n], true);
      std::map<std::string, int> groups;
      std::set<std::string> draws;
      std::vector<std::string> order;
      for (const TsvRow& row : ReadTsv(dir / "Individuals.tsv")) {
        ++groups[row.at("source") + " " + row.at("status")];
        draws.insert(row.at("population_draw"));
        order.push_back(row.at("source") + " " + row.at("status"));
      }
      EXPECT_EQ(draws, std::set<std::string>{"1"});
      if (model == ModelKind::kDiscrete) {
        // 60 individuals, half of them cases; YRI 0.4 of the cases, 0.6 of the controls.
        EXPECT_EQ(groups, (std::map<std::string, int>{{"YRI_pool case", 12},
                                                      {"second_pool case", 18},
                                                      {"YRI_pool control", 18},
                                                      {"second_pool control", 12}}));
      } else {
        EXPECT_EQ(groups, (std::map<std::string, int>{{"admixed case", 30}, {"admixed control", 30}}));
      }
      // Shuffled: the first half is not all of one group.
      EXPECT_GT(std::set<std::string>(order.begin(), order.begin() + 30).size(), 1u);
    }
  }
}

TEST_F(QualTruthTest, NoTruthFilesWhenTurnedOff) {
  options_.truth = false;
  const fs::path out = Run(ModelKind::kDiscrete);
  EXPECT_FALSE(fs::exists(out / "Truth_Loci.tsv"));
  for (const auto& entry : fs::recursive_directory_iterator(out)) {
    EXPECT_NE(entry.path().extension(), ".tsv") << entry.path();
  }
}

}  // namespace
}  // namespace korvane
