#pragma once

// Per-locus association tests from a locus's dosages (counts of allele class
// 1, 0..2, or -1 missing; see evaluate/genotype_table.h).

#include <Eigen/Dense>

#include <cstdint>
#include <span>

namespace korvane {

struct AllelicResult {
  double chiSquare, p;
  double oddsRatio;                               // of allele class 1, cases against controls
  std::int64_t case1, case2, control1, control2;  // allele counts
};

// The 2x2 allelic chi-square without continuity correction over the
// non-missing alleles of cases (affected 1) and controls (affected 0; other
// values are left out): PLINK 1.9 --assoc's CHISQ. A table with an empty row
// or column (a monomorphic locus) gives chiSquare and p NaN (PLINK's NA).
// The sizes of the spans must agree (std::invalid_argument).
AllelicResult AllelicTest(std::span<const std::int8_t> dosage, std::span<const std::uint8_t> affected);

struct TrendResult {
  double chiSquare, p;
};

// The Cochran-Armitage trend test, N r^2 over the individuals with a genotype
// (r the correlation of dosage and case status), without correction: PLINK
// 1.9 --model's TREND. NaN for a monomorphic locus or a single class.
TrendResult TrendTest(std::span<const std::int8_t> dosage, std::span<const std::uint8_t> affected);

struct RegressionResult {
  double beta, se, t, p;  // of the dosage
  int n;                  // the individuals used
};

// Ordinary least squares of the phenotype on an intercept, the dosage and the
// covariates (n x K, one row per individual; nullptr for none), over the
// individuals with a genotype, a phenotype that is not NaN and covariates that
// are not NaN; p from Student's t with n - K - 2 degrees of freedom: PLINK 1.9
// --linear's additive model. beta, se, t and p are NaN when the design is
// singular (a monomorphic locus) or no degree of freedom is left.
RegressionResult LinearRegression(std::span<const std::int8_t> dosage, std::span<const double> phenotype,
                                  const Eigen::MatrixXd* covariates = nullptr);

// The projection onto the orthogonal complement of an intercept and K
// covariate axes (principal components, ancestry proportions), built once per
// replicate: Residual(v) = v - Q Q^T v, Q an orthonormal basis of
// [1, covariates] (columns dependent on the others are dropped).
class CovariateProjector {
 public:
  explicit CovariateProjector(const Eigen::MatrixXd& covariates);

  int Individuals() const { return static_cast<int>(basis_.rows()); }
  // The number of covariate axes given (K, without the intercept).
  int Axes() const { return axes_; }
  // The rank of [1, covariates].
  int Rank() const { return static_cast<int>(basis_.cols()); }
  const Eigen::MatrixXd& Basis() const { return basis_; }

  Eigen::VectorXd Residual(const Eigen::VectorXd& v) const;
  // In place, for a vector of Individuals() entries.
  void ResidualInPlace(Eigen::Ref<Eigen::VectorXd> v) const;

 private:
  Eigen::MatrixXd basis_;
  int axes_ = 0;
};

// EIGENSTRAT's adjusted statistic: (n - K - 1) r^2, r the correlation of the
// residual genotype and the residual trait after projecting out the intercept
// and the K axes; missing dosages are set to the locus mean first. The trait
// is 0/1 for case-control (or any quantitative value). NaN for a monomorphic
// locus or a constant residual trait.
double AdjustedTrendChiSquare(std::span<const std::int8_t> dosage, std::span<const double> trait,
                              const CovariateProjector& projector);

// The same for many loci and one trait: the residual trait is computed once,
// each locus then costs one projection (n x K work). Safe to share between
// threads; holds a pointer to the projector, which must outlive it.
class AdjustedTrendTest {
 public:
  AdjustedTrendTest(const CovariateProjector& projector, std::span<const double> trait);
  double ChiSquare(std::span<const std::int8_t> dosage) const;

 private:
  const CovariateProjector* projector_;
  Eigen::VectorXd residualTrait_;
  double traitSquares_ = 0;
};

}  // namespace korvane
