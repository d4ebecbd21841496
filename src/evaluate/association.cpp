#include "evaluate/association.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "evaluate/statistics.h"

namespace korvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void CheckSizes(std::size_t a, std::size_t b, const char* what) {
  if (a != b) throw std::invalid_argument(std::string(what) + ": the dosages and the other column differ in length");
}

// The genotype as doubles, missing ones at the mean of the others; false when
// no genotype is there.
bool MeanImputed(std::span<const std::int8_t> dosage, Eigen::VectorXd& out) {
  const Eigen::Index n = static_cast<Eigen::Index>(dosage.size());
  out.resize(n);
  std::int64_t sum = 0;
  std::int64_t count = 0;
  for (std::int8_t g : dosage) {
    if (g >= 0) {
      sum += g;
      ++count;
    }
  }
  if (count == 0) return false;
  const double mean = static_cast<double>(sum) / static_cast<double>(count);
  for (Eigen::Index i = 0; i < n; ++i) {
    const std::int8_t g = dosage[static_cast<std::size_t>(i)];
    out[i] = g >= 0 ? static_cast<double>(g) : mean;
  }
  return true;
}

}  // namespace

AllelicResult AllelicTest(std::span<const std::int8_t> dosage, std::span<const std::uint8_t> affected) {
  CheckSizes(dosage.size(), affected.size(), "AllelicTest");
  std::int64_t caseCopies[2] = {0, 0};  // allele-1 copies, individuals with a genotype
  std::int64_t controlCopies[2] = {0, 0};
  for (std::size_t i = 0; i < dosage.size(); ++i) {
    const std::int8_t g = dosage[i];
    if (g < 0) continue;
    if (affected[i] == 1) {
      caseCopies[0] += g;
      ++caseCopies[1];
    } else if (affected[i] == 0) {
      controlCopies[0] += g;
      ++controlCopies[1];
    }
  }
  AllelicResult result{};
  result.case1 = caseCopies[0];
  result.case2 = 2 * caseCopies[1] - caseCopies[0];
  result.control1 = controlCopies[0];
  result.control2 = 2 * controlCopies[1] - controlCopies[0];
  const double a = static_cast<double>(result.case1);
  const double b = static_cast<double>(result.case2);
  const double c = static_cast<double>(result.control1);
  const double d = static_cast<double>(result.control2);
  const double total = a + b + c + d;
  const double margins = (a + b) * (c + d) * (a + c) * (b + d);
  if (margins == 0) {
    result.chiSquare = kNaN;
    result.p = kNaN;
  } else {
    const double cross = a * d - b * c;
    result.chiSquare = total * cross * cross / margins;
    result.p = ChiSquare1UpperTail(result.chiSquare);
  }
  result.oddsRatio = (b * c == 0) ? (a * d == 0 ? kNaN : std::numeric_limits<double>::infinity()) : a * d / (b * c);
  return result;
}

TrendResult TrendTest(std::span<const std::int8_t> dosage, std::span<const std::uint8_t> affected) {
  CheckSizes(dosage.size(), affected.size(), "TrendTest");
  std::int64_t n = 0;
  std::int64_t sx = 0;
  std::int64_t sxx = 0;
  std::int64_t sy = 0;
  std::int64_t sxy = 0;
  for (std::size_t i = 0; i < dosage.size(); ++i) {
    const std::int8_t g = dosage[i];
    const std::uint8_t y = affected[i];
    if (g < 0 || y > 1) continue;
    ++n;
    sx += g;
    sxx += g * g;
    sy += y;
    sxy += g * y;
  }
  // Exact integers up to the products below.
  const double numerator = static_cast<double>(n * sxy - sx * sy);
  const double varX = static_cast<double>(n * sxx - sx * sx);
  const double varY = static_cast<double>(n * sy - sy * sy);
  if (varX == 0 || varY == 0) return {kNaN, kNaN};
  const double chi = static_cast<double>(n) * (numerator / varX) * (numerator / varY);
  return {chi, ChiSquare1UpperTail(chi)};
}

RegressionResult LinearRegression(std::span<const std::int8_t> dosage, std::span<const double> phenotype,
                                  const Eigen::MatrixXd* covariates) {
  CheckSizes(dosage.size(), phenotype.size(), "LinearRegression");
  const std::size_t size = dosage.size();
  RegressionResult result{kNaN, kNaN, kNaN, kNaN, 0};
  if (covariates == nullptr || covariates->cols() == 0) {
    // Closed form: two passes over the individuals kept.
    std::int64_t n = 0;
    std::int64_t sx = 0;
    double sy = 0;
    for (std::size_t i = 0; i < size; ++i) {
      if (dosage[i] < 0 || std::isnan(phenotype[i])) continue;
      ++n;
      sx += dosage[i];
      sy += phenotype[i];
    }
    result.n = static_cast<int>(n);
    if (n < 3) return result;
    const double meanX = static_cast<double>(sx) / static_cast<double>(n);
    const double meanY = sy / static_cast<double>(n);
    double sxx = 0;
    double sxy = 0;
    double syy = 0;
    for (std::size_t i = 0; i < size; ++i) {
      if (dosage[i] < 0 || std::isnan(phenotype[i])) continue;
      const double x = dosage[i] - meanX;
      const double y = phenotype[i] - meanY;
      sxx += x * x;
      sxy += x * y;
      syy += y * y;
    }
    if (!(sxx > 0)) return result;
    const double df = static_cast<double>(n - 2);
    result.beta = sxy / sxx;
    const double rss = std::max(0.0, syy - result.beta * sxy);
    result.se = std::sqrt(rss / df / sxx);
    result.t = result.beta / result.se;
    result.p = StudentTTwoSidedP(result.t, df);
    return result;
  }
  const Eigen::MatrixXd& c = *covariates;
  if (static_cast<std::size_t>(c.rows()) != size) {
    throw std::invalid_argument("LinearRegression: the covariates have a row count unlike the dosages'");
  }
  const Eigen::Index k = c.cols();
  std::vector<Eigen::Index> kept;
  kept.reserve(size);
  for (std::size_t i = 0; i < size; ++i) {
    if (dosage[i] < 0 || std::isnan(phenotype[i])) continue;
    if (c.row(static_cast<Eigen::Index>(i)).hasNaN()) continue;
    kept.push_back(static_cast<Eigen::Index>(i));
  }
  const Eigen::Index n = static_cast<Eigen::Index>(kept.size());
  const Eigen::Index parameters = k + 2;
  result.n = static_cast<int>(n);
  if (n <= parameters) return result;
  Eigen::MatrixXd x(n, parameters);
  Eigen::VectorXd y(n);
  for (Eigen::Index r = 0; r < n; ++r) {
    const Eigen::Index i = kept[static_cast<std::size_t>(r)];
    x(r, 0) = 1;
    x(r, 1) = dosage[static_cast<std::size_t>(i)];
    x.row(r).tail(k) = c.row(i);
    y[r] = phenotype[static_cast<std::size_t>(i)];
  }
  const Eigen::HouseholderQR<Eigen::MatrixXd> qr(x);
  const Eigen::MatrixXd r = qr.matrixQR().topRows(parameters).triangularView<Eigen::Upper>();
  const double largest = r.diagonal().cwiseAbs().maxCoeff();
  if (!(r.diagonal().cwiseAbs().minCoeff() > 1e-10 * largest)) return result;
  const Eigen::VectorXd coefficients = qr.solve(y);
  const double rss = (y - x * coefficients).squaredNorm();
  const double df = static_cast<double>(n - parameters);
  // Var(beta) = sigma^2 [(R^T R)^-1]_11 = sigma^2 |row 1 of R^-1|^2.
  const Eigen::MatrixXd rInverse =
      r.triangularView<Eigen::Upper>().solve(Eigen::MatrixXd::Identity(parameters, parameters));
  result.beta = coefficients[1];
  result.se = std::sqrt(rss / df * rInverse.row(1).squaredNorm());
  result.t = result.beta / result.se;
  result.p = StudentTTwoSidedP(result.t, df);
  return result;
}

CovariateProjector::CovariateProjector(const Eigen::MatrixXd& covariates) : axes_(static_cast<int>(covariates.cols())) {
  const Eigen::Index n = covariates.rows();
  Eigen::MatrixXd design(n, covariates.cols() + 1);
  design.col(0).setOnes();
  design.rightCols(covariates.cols()) = covariates;
  Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(design);
  qr.setThreshold(1e-10);
  const Eigen::Index rank = qr.rank();
  basis_ = qr.householderQ() * Eigen::MatrixXd::Identity(n, rank);
}

Eigen::VectorXd CovariateProjector::Residual(const Eigen::VectorXd& v) const {
  Eigen::VectorXd out = v;
  ResidualInPlace(out);
  return out;
}

void CovariateProjector::ResidualInPlace(Eigen::Ref<Eigen::VectorXd> v) const {
  if (v.size() != basis_.rows()) {
    throw std::invalid_argument("CovariateProjector: a vector of a length other than the individuals'");
  }
  const Eigen::VectorXd coordinates = basis_.transpose() * v;
  v.noalias() -= basis_ * coordinates;
}

AdjustedTrendTest::AdjustedTrendTest(const CovariateProjector& projector, std::span<const double> trait)
    : projector_(&projector) {
  if (static_cast<Eigen::Index>(trait.size()) != projector.Individuals()) {
    throw std::invalid_argument("AdjustedTrendTest: a trait of a length other than the individuals'");
  }
  residualTrait_ = Eigen::Map<const Eigen::VectorXd>(trait.data(), static_cast<Eigen::Index>(trait.size()));
  const double scale = residualTrait_.squaredNorm();
  projector.ResidualInPlace(residualTrait_);
  traitSquares_ = residualTrait_.squaredNorm();
  // A trait constant up to rounding (or within the covariates' span) has
  // nothing left to correlate.
  if (!(traitSquares_ > 1e-20 * scale)) traitSquares_ = 0;
}

double AdjustedTrendTest::ChiSquare(std::span<const std::int8_t> dosage) const {
  if (static_cast<Eigen::Index>(dosage.size()) != residualTrait_.size()) {
    throw std::invalid_argument("AdjustedTrendTest: dosages of a length other than the individuals'");
  }
  Eigen::VectorXd genotype;
  if (!MeanImputed(dosage, genotype)) return kNaN;
  // A genotype constant up to rounding has no residual to correlate.
  const double scale = genotype.squaredNorm();
  projector_->ResidualInPlace(genotype);
  const double genotypeSquares = genotype.squaredNorm();
  if (!(genotypeSquares > 1e-20 * scale) || !(traitSquares_ > 0)) return kNaN;
  const double cross = genotype.dot(residualTrait_);
  const double r2 = cross * cross / (genotypeSquares * traitSquares_);
  const double n = static_cast<double>(genotype.size());
  return (n - projector_->Axes() - 1) * r2;
}

double AdjustedTrendChiSquare(std::span<const std::int8_t> dosage, std::span<const double> trait,
                              const CovariateProjector& projector) {
  return AdjustedTrendTest(projector, trait).ChiSquare(dosage);
}

}  // namespace korvane
