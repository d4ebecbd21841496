#include "evaluate/association.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "evaluate/statistics.h"

namespace korvane {
namespace {

// 50 cases: 15 with two class-1 alleles, 35 with none (30 : 70 alleles);
// 50 controls, all heterozygous (50 : 50); then a missing genotype and an
// individual of unknown status, both left out.
struct Table {
  std::vector<std::int8_t> dosage;
  std::vector<std::uint8_t> affected;
  Table() {
    for (int i = 0; i < 50; ++i) Add(i < 15 ? 2 : 0, 1);
    for (int i = 0; i < 50; ++i) Add(1, 0);
    Add(-1, 1);
    Add(2, 9);
  }
  void Add(int g, int a) {
    dosage.push_back(static_cast<std::int8_t>(g));
    affected.push_back(static_cast<std::uint8_t>(a));
  }
};

TEST(AssociationTest, AllelicChiSquareByHand) {
  const Table t;
  const AllelicResult r = AllelicTest(t.dosage, t.affected);
  EXPECT_EQ(r.case1, 30);
  EXPECT_EQ(r.case2, 70);
  EXPECT_EQ(r.control1, 50);
  EXPECT_EQ(r.control2, 50);
  // 200 (30 * 50 - 70 * 50)^2 / (100 * 100 * 80 * 120) = 25 / 3.
  EXPECT_NEAR(r.chiSquare, 25.0 / 3, 1e-12);
  EXPECT_NEAR(r.p, ChiSquare1UpperTail(25.0 / 3), 1e-15);
  EXPECT_NEAR(r.oddsRatio, 1500.0 / 3500, 1e-15);
}

TEST(AssociationTest, AllelicMonomorphicIsNaN) {
  const std::vector<std::int8_t> dosage = {2, 2, 2, 2};
  const std::vector<std::uint8_t> affected = {1, 1, 0, 0};
  const AllelicResult r = AllelicTest(dosage, affected);
  EXPECT_TRUE(std::isnan(r.chiSquare));
  EXPECT_TRUE(std::isnan(r.p));
  EXPECT_THROW(AllelicTest(dosage, std::vector<std::uint8_t>{1}), std::invalid_argument);
}

TEST(AssociationTest, TrendByHand) {
  const Table t;
  const TrendResult r = TrendTest(t.dosage, t.affected);
  // n = 100, sums x 80, x^2 110, y 50, xy 30: 100 (3000 - 4000)^2 / (4600 * 2500).
  EXPECT_NEAR(r.chiSquare, 1e8 / (4600.0 * 2500), 1e-12);
  EXPECT_NEAR(r.p, ChiSquare1UpperTail(r.chiSquare), 1e-15);
  const std::vector<std::int8_t> mono = {1, 1, 1, -1};
  const std::vector<std::uint8_t> affected = {1, 0, 1, 0};
  EXPECT_TRUE(std::isnan(TrendTest(mono, affected).chiSquare));
}

TEST(AssociationTest, RegressionByHand) {
  const std::vector<std::int8_t> dosage = {0, 1, 2, 0, 1, 2, -1};
  const std::vector<double> phenotype = {1, 2, 4, 0, 3, 3, 100};
  const RegressionResult r = LinearRegression(dosage, phenotype);
  // Sxx 4, Sxy 6, Syy 39 - 169 / 6: beta 1.5, RSS 11/6, df 4.
  EXPECT_EQ(r.n, 6);
  EXPECT_NEAR(r.beta, 1.5, 1e-14);
  const double se = std::sqrt(11.0 / 6 / 4 / 4);
  EXPECT_NEAR(r.se, se, 1e-14);
  EXPECT_NEAR(r.t, 1.5 / se, 1e-12);
  const double s = r.t / std::sqrt(r.t * r.t + 4);
  EXPECT_NEAR(r.p, 1 - s * (1 + 4 / (r.t * r.t + 4) / 2), 1e-14);
  // A missing phenotype is left out too.
  const std::vector<double> withMissing = {1, 2, 4, 0, 3, 3, std::nan("")};
  const std::vector<std::int8_t> full = {0, 1, 2, 0, 1, 2, 2};
  EXPECT_NEAR(LinearRegression(full, withMissing).beta, 1.5, 1e-14);
  // Monomorphic: NaN.
  const std::vector<std::int8_t> mono = {1, 1, 1, 1, 1, 1, 1};
  EXPECT_TRUE(std::isnan(LinearRegression(mono, phenotype).beta));
}

TEST(AssociationTest, RegressionWithCovariatesMatchesNormalEquations) {
  std::mt19937_64 engine(3);
  std::normal_distribution<double> normal;
  std::uniform_int_distribution<int> genotype(-1, 2);
  const int n = 80;
  std::vector<std::int8_t> dosage(n);
  std::vector<double> phenotype(n);
  Eigen::MatrixXd covariates(n, 2);
  for (int i = 0; i < n; ++i) {
    dosage[static_cast<std::size_t>(i)] = static_cast<std::int8_t>(genotype(engine));
    covariates(i, 0) = normal(engine);
    covariates(i, 1) = normal(engine);
    phenotype[static_cast<std::size_t>(i)] =
        0.3 * std::max(0, int{dosage[static_cast<std::size_t>(i)]}) + covariates(i, 0) + normal(engine);
  }
  const RegressionResult r = LinearRegression(dosage, phenotype, &covariates);
  std::vector<int> kept;
  for (int i = 0; i < n; ++i) {
    if (dosage[static_cast<std::size_t>(i)] >= 0) kept.push_back(i);
  }
  const int m = static_cast<int>(kept.size());
  Eigen::MatrixXd x(m, 4);
  Eigen::VectorXd y(m);
  for (int r2 = 0; r2 < m; ++r2) {
    const int i = kept[static_cast<std::size_t>(r2)];
    x.row(r2) << 1, dosage[static_cast<std::size_t>(i)], covariates(i, 0), covariates(i, 1);
    y[r2] = phenotype[static_cast<std::size_t>(i)];
  }
  const Eigen::MatrixXd inverse = (x.transpose() * x).inverse();
  const Eigen::VectorXd b = inverse * x.transpose() * y;
  const double sigma2 = (y - x * b).squaredNorm() / (m - 4);
  EXPECT_EQ(r.n, m);
  EXPECT_NEAR(r.beta, b[1], 1e-10);
  EXPECT_NEAR(r.se, std::sqrt(sigma2 * inverse(1, 1)), 1e-10);
  EXPECT_NEAR(r.p, StudentTTwoSidedP(b[1] / std::sqrt(sigma2 * inverse(1, 1)), m - 4), 1e-10);
  // No covariates (zero columns) is the closed form.
  const Eigen::MatrixXd none(n, 0);
  EXPECT_NEAR(LinearRegression(dosage, phenotype, &none).beta, LinearRegression(dosage, phenotype).beta, 1e-14);
}

TEST(AssociationTest, ProjectorMatchesDenseLeastSquares) {
  std::mt19937_64 engine(5);
  std::normal_distribution<double> normal;
  const int n = 60;
  Eigen::MatrixXd covariates(n, 3);
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) covariates(i, k) = normal(engine) + (k == 0 ? 5 : 0);
  }
  const CovariateProjector projector(covariates);
  EXPECT_EQ(projector.Individuals(), n);
  EXPECT_EQ(projector.Axes(), 3);
  EXPECT_EQ(projector.Rank(), 4);
  Eigen::VectorXd v(n);
  for (int i = 0; i < n; ++i) v[i] = normal(engine) * 3 + 1;
  Eigen::MatrixXd design(n, 4);
  design.col(0).setOnes();
  design.rightCols(3) = covariates;
  const Eigen::VectorXd fit = design * design.colPivHouseholderQr().solve(v);
  EXPECT_LT((projector.Residual(v) - (v - fit)).cwiseAbs().maxCoeff(), 1e-12);
  // A dependent column is dropped from the basis.
  Eigen::MatrixXd repeated(n, 2);
  repeated.col(0) = covariates.col(0);
  repeated.col(1) = 2 * covariates.col(0) + Eigen::VectorXd::Ones(n);
  EXPECT_EQ(CovariateProjector(repeated).Rank(), 2);
}

TEST(AssociationTest, AdjustedTrendAgainstDirectResiduals) {
  std::mt19937_64 engine(9);
  std::normal_distribution<double> normal;
  std::uniform_int_distribution<int> genotype(0, 2);
  const int n = 100;
  Eigen::MatrixXd axes(n, 2);
  std::vector<double> trait(n);
  std::vector<std::int8_t> dosage(n);
  for (int i = 0; i < n; ++i) {
    axes(i, 0) = normal(engine);
    axes(i, 1) = normal(engine);
    trait[static_cast<std::size_t>(i)] = (axes(i, 0) + normal(engine)) > 0 ? 1 : 0;
    dosage[static_cast<std::size_t>(i)] = static_cast<std::int8_t>(genotype(engine));
  }
  dosage[3] = -1;
  const CovariateProjector projector(axes);
  const double chi = AdjustedTrendChiSquare(dosage, trait, projector);
  // Direct: mean-impute, regress both on [1, axes], correlate the residuals.
  Eigen::VectorXd g(n);
  Eigen::VectorXd y(n);
  double sum = 0;
  for (int i = 0; i < n; ++i) sum += i == 3 ? 0 : dosage[static_cast<std::size_t>(i)];
  for (int i = 0; i < n; ++i) {
    g[i] = i == 3 ? sum / (n - 1) : dosage[static_cast<std::size_t>(i)];
    y[i] = trait[static_cast<std::size_t>(i)];
  }
  Eigen::MatrixXd design(n, 3);
  design.col(0).setOnes();
  design.rightCols(2) = axes;
  const auto qr = design.colPivHouseholderQr();
  const Eigen::VectorXd rg = g - design * qr.solve(g);
  const Eigen::VectorXd ry = y - design * qr.solve(y);
  const double r = rg.dot(ry) / (rg.norm() * ry.norm());
  EXPECT_NEAR(chi, (n - 2 - 1) * r * r, 1e-10);
  const AdjustedTrendTest test(projector, trait);
  EXPECT_NEAR(test.ChiSquare(dosage), chi, 1e-12);
  // Monomorphic: NaN.
  const std::vector<std::int8_t> mono(n, 1);
  EXPECT_TRUE(std::isnan(test.ChiSquare(mono)));
}

TEST(AssociationTest, AdjustedTrendWithoutAxesIsTheTrendTest) {
  const Table t;
  // The 100 individuals with a genotype and a status.
  std::vector<std::int8_t> dosage(t.dosage.begin(), t.dosage.begin() + 100);
  std::vector<double> trait(100);
  for (int i = 0; i < 100; ++i) trait[static_cast<std::size_t>(i)] = t.affected[static_cast<std::size_t>(i)];
  const CovariateProjector interceptOnly(Eigen::MatrixXd(100, 0));
  const double trend = TrendTest(t.dosage, t.affected).chiSquare;
  // (n - 1) r^2 against n r^2.
  EXPECT_NEAR(AdjustedTrendChiSquare(dosage, trait, interceptOnly), trend * 99 / 100, 1e-12);
}

}  // namespace
}  // namespace korvane
