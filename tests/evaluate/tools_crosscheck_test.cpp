// The statistics of src/evaluate against the real tools' output on a small
// replicate of each study, prepared by tools_crosscheck.sh:
//   KORVANE_QUAL_DIR  a case-control replicate folder with PLINK 1.9's
//                     p1.assoc (--assoc --adjust, log p1.log), p1m.model
//                     (--model), p1h.hwe (--hardy), smartpca's pca.evec and
//                     pca.eval and evec2pca's pca.pca over Eigensoft_Pca.*,
//                     eigenstrat's chisq_pca (on Eigensoft_Pca.geno) and
//                     chisq_strat (on Eigensoft_Strat.geno), both -l 2;
//   KORVANE_QUAN_DIR  a quantitative replicate folder with PLINK 1.9's
//                     p1.assoc.linear (--linear) and PLINK 2's
//                     p2.PHENO1.glm.linear (--glm allow-no-covars).
// PLINK 1.9 prints 4 significant digits: its numbers are compared within
// half a unit of the last digit printed; PLINK 2 prints 6.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "evaluate/association.h"
#include "evaluate/genotype_table.h"
#include "evaluate/principal_components.h"
#include "evaluate/statistics.h"

namespace korvane {
namespace {

using Rows = std::vector<std::vector<std::string>>;

std::filesystem::path Folder(const char* variable) {
  const char* value = std::getenv(variable);
  return value ? std::filesystem::path(value) : std::filesystem::path();
}

// The whitespace-separated fields of each line of a file.
Rows ReadRows(const std::filesystem::path& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path.string());
  Rows rows;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> row;
    std::string field;
    while (fields >> field) row.push_back(field);
    if (!row.empty()) rows.push_back(row);
  }
  return rows;
}

// Half a unit of the last of `digits` significant digits of a printed value.
double HalfUnit(double printed, int digits) {
  if (printed == 0) return 0.5 * std::pow(10.0, -digits);
  const double exponent = std::floor(std::log10(std::fabs(printed)));
  return 0.5 * std::pow(10.0, exponent - digits + 1) * (1 + 1e-9);
}

// The largest relative difference of a comparison and whether each value was
// within the printed precision.
struct Agreement {
  double maxRelative = 0;
  int compared = 0;
  int outside = 0;
  void Add(double ours, double printed, int digits) {
    ++compared;
    if (printed != 0) maxRelative = std::max(maxRelative, std::fabs(ours - printed) / std::fabs(printed));
    if (std::fabs(ours - printed) > HalfUnit(printed, digits)) {
      ++outside;
      ADD_FAILURE() << "ours " << std::setprecision(10) << ours << " against printed " << printed;
    }
  }
  // Within a relative tolerance instead (PLINK 2's P: its t distribution
  // is good to about 1e-6, ours to 1e-12, so the sixth digit may differ).
  void AddRelative(double ours, double printed, double tolerance) {
    ++compared;
    const double relative = std::fabs(ours - printed) / std::fabs(printed);
    maxRelative = std::max(maxRelative, relative);
    if (relative > tolerance) {
      ++outside;
      ADD_FAILURE() << "ours " << std::setprecision(10) << ours << " against printed " << printed;
    }
  }
  void Report(const std::string& what) const {
    std::cout << "crosscheck: " << what << ": " << compared << " values, max relative difference " << maxRelative
              << ", outside the printed precision " << outside << "\n";
  }
};

struct Replicate {
  std::vector<double> phenotype;  // before the table, which fills it
  GenotypeTable table;
  explicit Replicate(const std::filesystem::path& dir)
      : table(ReadPlinkText(dir / "Plink.ped", dir / "Plink.map", &phenotype)) {}
  std::map<std::string, int> LocusIndex() const {
    std::map<std::string, int> index;
    for (int l = 0; l < table.loci; ++l) index[table.locusIds[static_cast<std::size_t>(l)]] = l;
    return index;
  }
};

class CaseControlCrossCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = Folder("KORVANE_QUAL_DIR");
    if (dir_.empty()) GTEST_SKIP() << "KORVANE_QUAL_DIR is not set";
    replicate_ = std::make_unique<Replicate>(dir_);
    for (double p : replicate_->phenotype) affected_.push_back(p == 2 ? 1 : 0);
  }
  std::filesystem::path dir_;
  std::unique_ptr<Replicate> replicate_;
  std::vector<std::uint8_t> affected_;
};

TEST_F(CaseControlCrossCheck, AllelicChiSquareOddsRatioAndLambda) {
  const Rows rows = ReadRows(dir_ / "p1.assoc");
  const auto index = replicate_->LocusIndex();
  Agreement chi;
  Agreement odds;
  int notAvailable = 0;
  std::vector<double> ours;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const auto& row = rows[r];
    ASSERT_EQ(row.size(), 10U);
    const int l = index.at(row[1]);
    const AllelicResult result = AllelicTest(replicate_->table.Locus(l), affected_);
    ours.push_back(result.chiSquare);
    if (row[7] == "NA") {
      EXPECT_TRUE(std::isnan(result.chiSquare)) << row[1];
      ++notAvailable;
      continue;
    }
    chi.Add(result.chiSquare, std::stod(row[7]), 4);
    // PLINK's odds ratio is of its A1: ours is of allele code 1.
    const double oddsRatio = row[3] == "1" ? result.oddsRatio : 1 / result.oddsRatio;
    if (row[9] != "NA" && row[9] != "inf") odds.Add(oddsRatio, std::stod(row[9]), 4);
  }
  EXPECT_EQ(static_cast<int>(ours.size()), replicate_->table.loci);
  chi.Report("--assoc CHISQ");
  odds.Report("--assoc OR");
  std::cout << "crosscheck: --assoc NA loci " << notAvailable << "\n";

  // λ as --adjust logs it (6 significant digits), when not clamped at 1.
  // PLINK 1.9 divides the median by 0.456, ours by the exact median of
  // chi2_1: compared through that ratio.
  std::ifstream log(dir_ / "p1.log");
  std::string line;
  double plinkLambda = std::nan("");
  const std::string key = "lambda (based on median chisq) = ";
  while (std::getline(log, line)) {
    const auto at = line.find(key);
    if (at != std::string::npos) plinkLambda = std::stod(line.substr(at + key.size()));
  }
  ASSERT_FALSE(std::isnan(plinkLambda));
  const double lambda = GenomicControlLambda(ours) * kChiSquare1Median / 0.456;
  std::cout << "crosscheck: lambda ours (over 0.456) " << lambda << " PLINK " << plinkLambda << " relative difference "
            << std::fabs(lambda - plinkLambda) / plinkLambda << "\n";
  if (plinkLambda > 1) {
    EXPECT_NEAR(lambda, plinkLambda, HalfUnit(plinkLambda, 6));
  }
}

TEST_F(CaseControlCrossCheck, TrendAsModelTrend) {
  const Rows rows = ReadRows(dir_ / "p1m.model");
  const auto index = replicate_->LocusIndex();
  Agreement trend;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const auto& row = rows[r];
    if (row[4] != "TREND") continue;
    const TrendResult result = TrendTest(replicate_->table.Locus(index.at(row[1])), affected_);
    if (row[7] == "NA") {
      EXPECT_TRUE(std::isnan(result.chiSquare));
      continue;
    }
    trend.Add(result.chiSquare, std::stod(row[7]), 4);
  }
  EXPECT_GT(trend.compared, 0);
  trend.Report("--model TREND CHISQ");
}

TEST_F(CaseControlCrossCheck, HardyWeinbergAsHardy) {
  const Rows rows = ReadRows(dir_ / "p1h.hwe");
  const auto index = replicate_->LocusIndex();
  Agreement hwe;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const auto& row = rows[r];
    if (row[2] != "ALL" && row[2] != "ALL(NP)") continue;
    int counts[3] = {0, 0, 0};  // by dosage of allele code 1
    for (std::int8_t g : replicate_->table.Locus(index.at(row[1]))) {
      if (g >= 0) ++counts[g];
    }
    hwe.Add(HardyWeinbergExactP(counts[2], counts[1], counts[0]), std::stod(row[8]), 4);
  }
  EXPECT_GT(hwe.compared, 0);
  hwe.Report("--hardy P (ALL)");
}

// The values of evec2pca's file: K, the K eigenvalues, then n rows of K.
Eigen::MatrixXd ReadPca(const std::filesystem::path& path, int n) {
  std::ifstream in(path);
  int k = 0;
  in >> k;
  double skip = 0;
  for (int j = 0; j < k; ++j) in >> skip;
  Eigen::MatrixXd axes(n, k);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < k; ++j) in >> axes(i, j);
  }
  if (!in) throw std::runtime_error("short " + path.string());
  return axes;
}

// The genotype lines of an EIGENSTRAT .geno file as dosages.
std::vector<std::vector<std::int8_t>> ReadGeno(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::int8_t>> loci;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::int8_t> dosage;
    for (char c : line) dosage.push_back(c == '9' ? std::int8_t{-1} : static_cast<std::int8_t>(c - '0'));
    loci.push_back(dosage);
  }
  return loci;
}

TEST_F(CaseControlCrossCheck, EigenstratAdjustedChiSquare) {
  const int n = replicate_->table.individuals;
  const Eigen::MatrixXd axes = ReadPca(dir_ / "pca.pca", n);
  const CovariateProjector projector(axes);
  std::vector<double> trait;
  {
    std::ifstream in(dir_ / "Eigensoft.phen");
    char c = 0;
    while (in.get(c)) {
      if (c == '0' || c == '1') trait.push_back(c - '0');
    }
  }
  ASSERT_EQ(static_cast<int>(trait.size()), n);
  const AdjustedTrendTest test(projector, trait);
  double maxAbsolute = 0;
  double maxRelative = 0;
  int compared = 0;
  for (const char* which : {"pca", "strat"}) {
    const auto loci = ReadGeno(dir_ / (std::string("Eigensoft_") + (which[0] == 'p' ? "Pca" : "Strat") + ".geno"));
    const Rows rows = ReadRows(dir_ / (std::string("chisq_") + which));
    // The statistics follow the line "Chisq EIGENSTRAT".
    std::size_t first = 0;
    while (first < rows.size() && !(rows[first].size() == 2 && rows[first][0] == "Chisq")) ++first;
    ASSERT_EQ(rows.size() - first - 1, loci.size()) << which;
    for (std::size_t l = 0; l < loci.size(); ++l) {
      const auto& row = rows[first + 1 + l];
      const double ours = test.ChiSquare(loci[l]);
      if (row[1] == "NA") {
        EXPECT_TRUE(std::isnan(ours));
        continue;
      }
      const double theirs = std::stod(row[1]);
      const double difference = std::fabs(ours - theirs);
      maxAbsolute = std::max(maxAbsolute, difference);
      if (theirs >= 0.01) maxRelative = std::max(maxRelative, difference / theirs);
      ++compared;
      // eigenstrat prints 4 decimals and uses the PCs as printed (4
      // decimals), projected one at a time as if orthonormal.
      EXPECT_LE(difference, 5e-5 + 2e-3 * theirs) << which << " locus " << l << ": ours " << ours;
    }
  }
  std::cout << "crosscheck: eigenstrat -l 2 adjusted chi-square: " << compared << " loci, max absolute difference "
            << maxAbsolute << ", max relative (where >= 0.01) " << maxRelative << "\n";
}

TEST_F(CaseControlCrossCheck, PrincipalComponentsAsSmartpca) {
  const int n = replicate_->table.individuals;
  const Eigen::MatrixXd theirs = ReadPca(dir_ / "pca.pca", n);
  const int k = static_cast<int>(theirs.cols());
  // smartpca's loci: those of Eigensoft_Pca.snp.
  const auto index = replicate_->LocusIndex();
  std::vector<int> loci;
  for (const auto& row : ReadRows(dir_ / "Eigensoft_Pca.snp")) loci.push_back(index.at(row[0]));
  const PrincipalComponents ours = TopPrincipalComponents(replicate_->table, k, loci, 1);
  // Each axis up to sign, and the subspace, within the 4 decimals printed.
  Eigen::MatrixXd normalized = theirs;
  for (int j = 0; j < k; ++j) normalized.col(j).normalize();
  for (int j = 0; j < k; ++j) {
    const double cosine = std::fabs(ours.axes.col(j).dot(normalized.col(j)));
    std::cout
        << "crosscheck: smartpca axis " << j + 1 << " |cos| " << cosine << ", max entry difference "
        << (ours.axes.col(j) * (ours.axes.col(j).dot(theirs.col(j)) > 0 ? 1 : -1) - theirs.col(j)).cwiseAbs().maxCoeff()
        << "\n";
    EXPECT_GT(cosine, 1 - 1e-5);
  }
  const double subspace = (ours.axes * ours.axes.transpose() - normalized * normalized.transpose()).norm();
  std::cout << "crosscheck: smartpca subspace distance " << subspace << "\n";
  EXPECT_LT(subspace, 1e-3);
  // Eigenvalues as smartpca scales them (6 decimals printed).
  const Rows eval = ReadRows(dir_ / "pca.eval");
  for (int j = 0; j < k; ++j) {
    const double printed = std::stod(eval[static_cast<std::size_t>(j)][0]);
    std::cout << "crosscheck: eigenvalue " << j + 1 << " smartpca " << printed << " ours "
              << ours.smartpcaEigenvalues[j] << "\n";
    EXPECT_NEAR(ours.smartpcaEigenvalues[j], printed, 1e-5 * printed);
  }
}

class QuantitativeCrossCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = Folder("KORVANE_QUAN_DIR");
    if (dir_.empty()) GTEST_SKIP() << "KORVANE_QUAN_DIR is not set";
    replicate_ = std::make_unique<Replicate>(dir_);
  }
  std::filesystem::path dir_;
  std::unique_ptr<Replicate> replicate_;
};

TEST_F(QuantitativeCrossCheck, LinearAsPlink19AndPlink2) {
  const auto index = replicate_->LocusIndex();
  Agreement beta1;
  Agreement p1;
  const Rows plink1 = ReadRows(dir_ / "p1.assoc.linear");
  for (std::size_t r = 1; r < plink1.size(); ++r) {
    const auto& row = plink1[r];
    if (row[4] != "ADD" || row[6] == "NA") continue;
    const RegressionResult result = LinearRegression(replicate_->table.Locus(index.at(row[1])), replicate_->phenotype);
    EXPECT_EQ(result.n, std::stoi(row[5]));
    beta1.Add(row[3] == "1" ? result.beta : -result.beta, std::stod(row[6]), 4);
    p1.Add(result.p, std::stod(row[8]), 4);
  }
  beta1.Report("PLINK 1.9 --linear BETA");
  p1.Report("PLINK 1.9 --linear P");
  Agreement beta2;
  Agreement se2;
  Agreement p2;
  const Rows plink2 = ReadRows(dir_ / "p2.PHENO1.glm.linear");
  for (std::size_t r = 1; r < plink2.size(); ++r) {
    const auto& row = plink2[r];
    if (row[6] != "ADD" || row[8] == "NA") continue;
    const RegressionResult result = LinearRegression(replicate_->table.Locus(index.at(row[2])), replicate_->phenotype);
    beta2.Add(row[5] == "1" ? result.beta : -result.beta, std::stod(row[8]), 6);
    se2.Add(result.se, std::stod(row[9]), 6);
    p2.AddRelative(result.p, std::stod(row[11]), 1e-4);
  }
  EXPECT_GT(beta2.compared, 0);
  EXPECT_LE(beta2.maxRelative, 1e-4);
  EXPECT_LE(p2.maxRelative, 1e-4);
  beta2.Report("PLINK 2 --glm BETA");
  se2.Report("PLINK 2 --glm SE");
  p2.Report("PLINK 2 --glm P");
}

}  // namespace
}  // namespace korvane
