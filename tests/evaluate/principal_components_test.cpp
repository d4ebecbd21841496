#include "evaluate/principal_components.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace korvane {
namespace {

// Three populations of 40 with their own allele frequencies at each locus,
// some genotypes missing and some loci monomorphic.
GenotypeTable Planted(int loci, std::uint64_t seed) {
  GenotypeTable table;
  table.individuals = 120;
  table.loci = loci;
  table.dosage.resize(static_cast<std::size_t>(120 * loci));
  std::mt19937_64 engine(seed);
  std::uniform_real_distribution<double> uniform;
  for (int l = 0; l < loci; ++l) {
    const double base = 0.1 + 0.8 * uniform(engine);
    double frequency[3];
    for (double& f : frequency) f = std::clamp(base + 0.3 * (uniform(engine) - 0.5), 0.02, 0.98);
    for (int i = 0; i < 120; ++i) {
      const double f = frequency[i / 40];
      int g = (uniform(engine) < f) + (uniform(engine) < f);
      if (l % 50 == 7) g = 2;  // monomorphic
      if (uniform(engine) < 0.01) g = -1;
      table.dosage[static_cast<std::size_t>(l * 120 + i)] = static_cast<std::int8_t>(g);
    }
  }
  return table;
}

// The dense reference: smartpca's normalization, X X^T / M by
// SelfAdjointEigenSolver.
Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> Dense(const GenotypeTable& table, int* used) {
  const int n = table.individuals;
  Eigen::MatrixXd x(n, 0);
  std::vector<Eigen::VectorXd> columns;
  for (int l = 0; l < table.loci; ++l) {
    double sum = 0;
    int count = 0;
    for (std::int8_t g : table.Locus(l)) {
      if (g >= 0) {
        sum += g;
        ++count;
      }
    }
    const double mean = sum / count;
    const double p = (1 + sum) / (2 + 2.0 * count);
    Eigen::VectorXd column(n);
    double spread = 0;
    for (int i = 0; i < n; ++i) {
      const std::int8_t g = table.At(l, i);
      column[i] = g < 0 ? 0 : (g - mean) / std::sqrt(p * (1 - p));
      spread += g < 0 ? 0 : std::fabs(g - mean);
    }
    if (spread > 0) columns.push_back(column);
  }
  x.resize(n, static_cast<Eigen::Index>(columns.size()));
  for (std::size_t j = 0; j < columns.size(); ++j) x.col(static_cast<Eigen::Index>(j)) = columns[j];
  *used = static_cast<int>(columns.size());
  return Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd>(x * x.transpose() / static_cast<double>(columns.size()));
}

TEST(PrincipalComponentsTest, AgreesWithTheDenseSolver) {
  const GenotypeTable table = Planted(600, 1);
  int used = 0;
  const auto dense = Dense(table, &used);
  const PrincipalComponents pcs = TopPrincipalComponents(table, 4, {}, 42);
  EXPECT_EQ(pcs.lociUsed, used);
  EXPECT_EQ(pcs.lociUsed, 600 - 12);
  ASSERT_EQ(pcs.axes.rows(), 120);
  ASSERT_EQ(pcs.axes.cols(), 4);
  const Eigen::Index n = dense.eigenvalues().size();
  for (int j = 0; j < 4; ++j) {
    EXPECT_NEAR(pcs.eigenvalues[j], dense.eigenvalues()[n - 1 - j], 1e-8 * dense.eigenvalues()[n - 1]) << j;
  }
  // The top two (the populations') span the same plane.
  const Eigen::MatrixXd top = dense.eigenvectors().rightCols(2);
  const Eigen::MatrixXd ours = pcs.axes.leftCols(2);
  EXPECT_LT((top * top.transpose() - ours * ours.transpose()).norm(), 1e-6);
  // Each axis up to sign.
  for (int j = 0; j < 4; ++j) {
    EXPECT_NEAR(std::fabs(pcs.axes.col(j).dot(dense.eigenvectors().col(n - 1 - j))), 1.0, 1e-6) << j;
    EXPECT_NEAR(pcs.axes.col(j).norm(), 1.0, 1e-12);
  }
  EXPECT_LT((pcs.axes.transpose() * pcs.axes - Eigen::MatrixXd::Identity(4, 4)).norm(), 1e-10);
}

TEST(PrincipalComponentsTest, AxisOneSeparatesThePopulations) {
  const GenotypeTable table = Planted(400, 2);
  const PrincipalComponents pcs = TopPrincipalComponents(table, 2, {}, 1);
  // Each population's centroid on the first two axes lies far from the
  // others' compared with the spread within it.
  Eigen::MatrixXd centroid = Eigen::MatrixXd::Zero(3, 2);
  for (int i = 0; i < 120; ++i) centroid.row(i / 40) += pcs.axes.row(i) / 40;
  double within = 0;
  for (int i = 0; i < 120; ++i) within += (pcs.axes.row(i) - centroid.row(i / 40)).squaredNorm() / 120;
  for (int a = 0; a < 3; ++a) {
    for (int b = a + 1; b < 3; ++b) EXPECT_GT((centroid.row(a) - centroid.row(b)).norm(), 5 * std::sqrt(within));
  }
}

TEST(PrincipalComponentsTest, DeterministicForASeedAndLociSubset) {
  const GenotypeTable table = Planted(300, 3);
  const PrincipalComponents a = TopPrincipalComponents(table, 3, {}, 7);
  const PrincipalComponents b = TopPrincipalComponents(table, 3, {}, 7);
  EXPECT_EQ(a.axes, b.axes);
  std::vector<int> half;
  for (int l = 0; l < 300; l += 2) half.push_back(l);
  const PrincipalComponents c = TopPrincipalComponents(table, 3, half, 7);
  EXPECT_EQ(c.lociUsed, 150);  // the monomorphic ones are odd
  EXPECT_EQ(TopPrincipalComponents(table, 0, {}, 7).axes.cols(), 0);
  const std::vector<int> outside = {300};
  EXPECT_THROW(TopPrincipalComponents(table, 2, outside, 7), std::out_of_range);
}

}  // namespace
}  // namespace korvane
