#include "evaluate/principal_components.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <Spectra/MatOp/DenseSymMatProd.h>
#include <Spectra/SymEigsSolver.h>
#include <stdexcept>
#include <vector>

namespace korvane {

namespace {

// Samples up to this size are solved whole (the n x n matrix's eigenvectors).
constexpr Eigen::Index kDenseIndividuals = 600;

// Tables up to this many entries are held in double, larger ones in float.
constexpr std::size_t kDoubleEntries = std::size_t{8} << 20;
// The Krylov basis grows by at most this many blocks: the large (float)
// tables stop at 10 to stay within about a second and a half at 2000 x 12867,
// enough for the axes set apart from the bulk of the spectrum; axes within
// the noise bulk (eigenvalues within a fraction of a percent of each other)
// are then not resolved one by one.
template <typename Scalar>
constexpr Eigen::Index kMaxBlocks = sizeof(Scalar) == sizeof(double) ? 64 : 10;
// The Ritz residuals' bound relative to the largest eigenvalue: float
// products cannot go much below 1e-5.
template <typename Scalar>
constexpr double kTolerance = sizeof(Scalar) == sizeof(double) ? 1e-9 : 2e-5;

// The loci to use: those given (checked), or all.
std::vector<int> LociToUse(const GenotypeTable& table, std::span<const int> loci) {
  std::vector<int> chosen;
  if (loci.empty()) {
    chosen.resize(static_cast<std::size_t>(table.loci));
    for (int l = 0; l < table.loci; ++l) chosen[static_cast<std::size_t>(l)] = l;
    return chosen;
  }
  chosen.assign(loci.begin(), loci.end());
  for (int l : chosen) {
    if (l < 0 || l >= table.loci) throw std::out_of_range("TopPrincipalComponents: a locus outside the table");
  }
  return chosen;
}

// The n x M matrix of normalized genotypes, one column per polymorphic locus.
template <typename Scalar>
Eigen::Matrix<Scalar, Eigen::Dynamic, Eigen::Dynamic> Normalized(const GenotypeTable& table,
                                                                 const std::vector<int>& loci) {
  const Eigen::Index n = table.individuals;
  std::vector<int> used;
  std::vector<double> means;
  std::vector<double> scales;
  for (int l : loci) {
    const std::span<const std::int8_t> g = table.Locus(l);
    std::int64_t sum = 0;
    std::int64_t count = 0;
    int lowest = 3;
    int highest = -1;
    for (std::int8_t d : g) {
      if (d < 0) continue;
      sum += d;
      ++count;
      lowest = std::min<int>(lowest, d);
      highest = std::max<int>(highest, d);
    }
    if (count == 0 || lowest == highest) continue;
    const double p = (1.0 + static_cast<double>(sum)) / (2.0 + 2.0 * static_cast<double>(count));
    used.push_back(l);
    means.push_back(static_cast<double>(sum) / static_cast<double>(count));
    scales.push_back(1.0 / std::sqrt(p * (1 - p)));
  }
  Eigen::Matrix<Scalar, Eigen::Dynamic, Eigen::Dynamic> x(n, static_cast<Eigen::Index>(used.size()));
  for (std::size_t j = 0; j < used.size(); ++j) {
    const std::span<const std::int8_t> g = table.Locus(used[j]);
    Scalar* column = x.col(static_cast<Eigen::Index>(j)).data();
    // The four possible values of the column, by dosage + 1.
    const Scalar value[4] = {Scalar(0), static_cast<Scalar>((0 - means[j]) * scales[j]),
                             static_cast<Scalar>((1 - means[j]) * scales[j]),
                             static_cast<Scalar>((2 - means[j]) * scales[j])};
    for (Eigen::Index i = 0; i < n; ++i) column[i] = value[g[static_cast<std::size_t>(i)] + 1];
  }
  return x;
}

// An orthonormal basis of the columns of y (thin Q of a QR factorization).
Eigen::MatrixXd Orthonormalized(const Eigen::MatrixXd& y) {
  const Eigen::HouseholderQR<Eigen::MatrixXd> qr(y);
  return qr.householderQ() * Eigen::MatrixXd::Identity(y.rows(), y.cols());
}

// The top `wanted` of the eigenpairs (eigenvalues ascending, as Eigen gives
// them) into `result`: unit axes whose largest entry is positive, the
// eigenvalues, and smartpca's scale of them (all n of them sum to n - 1;
// `trace` is their sum here).
PrincipalComponents Ordered(const Eigen::MatrixXd& vectors, const Eigen::VectorXd& values, Eigen::Index wanted,
                            double trace, PrincipalComponents result) {
  const Eigen::Index n = vectors.rows();
  const double smartpcaScale = trace > 0 ? static_cast<double>(n - 1) / trace : 0.0;
  result.axes.resize(n, wanted);
  result.eigenvalues.resize(wanted);
  result.smartpcaEigenvalues.resize(wanted);
  const Eigen::Index total = values.size();
  for (Eigen::Index j = 0; j < wanted; ++j) {
    Eigen::VectorXd axis = vectors.col(total - 1 - j);
    axis.normalize();
    Eigen::Index where = 0;
    axis.cwiseAbs().maxCoeff(&where);
    if (axis[where] < 0) axis = -axis;
    result.axes.col(j) = axis;
    result.eigenvalues[j] = values[total - 1 - j];
    result.smartpcaEigenvalues[j] = result.eigenvalues[j] * smartpcaScale;
  }
  return result;
}

template <typename Scalar>
PrincipalComponents Solve(const Eigen::Matrix<Scalar, Eigen::Dynamic, Eigen::Dynamic>& x, int k, std::uint64_t seed) {
  using Matrix = Eigen::Matrix<Scalar, Eigen::Dynamic, Eigen::Dynamic>;
  const Eigen::Index n = x.rows();
  const Eigen::Index m = x.cols();
  PrincipalComponents result;
  result.lociUsed = static_cast<int>(m);
  const Eigen::Index wanted = std::min<Eigen::Index>(k, n);
  const double inverseM = 1.0 / static_cast<double>(std::max<Eigen::Index>(m, 1));
  if (wanted <= 0 || m == 0) {
    result.axes.resize(n, 0);
    result.eigenvalues.resize(0);
    result.smartpcaEigenvalues.resize(0);
    return result;
  }
  // A small sample: the n x n matrix formed once, and its top eigenpairs by
  // Lanczos iterations on it (exact to the solver's tolerance, and much
  // cheaper than all n eigenvectors or the block solver's products with X).
  if (n <= kDenseIndividuals) {
    Eigen::MatrixXd covariance = Eigen::MatrixXd::Zero(n, n);
    covariance.selfadjointView<Eigen::Lower>().rankUpdate(x.template cast<double>(), inverseM);
    covariance.triangularView<Eigen::StrictlyUpper>() = covariance.transpose();
    const double trace = covariance.trace();
    if (wanted + 1 < n) {
      Spectra::DenseSymMatProd<double> product(covariance);
      Spectra::SymEigsSolver<Spectra::DenseSymMatProd<double>> lanczos(
          product, wanted, std::min<Eigen::Index>(n, std::max<Eigen::Index>(2 * wanted + 1, 20)));
      lanczos.init();
      lanczos.compute(Spectra::SortRule::LargestAlge, 1000, 1e-12);
      if (lanczos.info() == Spectra::CompInfo::Successful) {
        // Spectra gives them largest first; Ordered takes them ascending.
        result.iterations = static_cast<int>(lanczos.num_iterations());
        return Ordered(lanczos.eigenvectors().rowwise().reverse(), lanczos.eigenvalues().reverse(), wanted, trace,
                       std::move(result));
      }
    }
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> dense(covariance);
    return Ordered(dense.eigenvectors(), dense.eigenvalues(), wanted, trace, std::move(result));
  }
  const Eigen::Index block = std::min<Eigen::Index>(n, wanted + std::max<Eigen::Index>(4, wanted / 2));
  const Eigen::Index maxColumns = std::min<Eigen::Index>(n, block * kMaxBlocks<Scalar>);

  std::mt19937_64 engine(seed);
  std::normal_distribution<double> normal;
  auto randomBlock = [&](Eigen::Index columns) {
    Eigen::MatrixXd start(n, columns);
    for (Eigen::Index c = 0; c < columns; ++c) {
      for (Eigen::Index r = 0; r < n; ++r) start(r, c) = normal(engine);
    }
    return start;
  };
  // A v = X (X^T v) / M, in the storage's precision.
  auto apply = [&](const Eigen::MatrixXd& v) -> Eigen::MatrixXd {
    const Matrix inner = x.transpose() * v.cast<Scalar>();
    const Matrix outer = x * inner;
    return outer.template cast<double>() * inverseM;
  };

  // Block Krylov: the basis V grows by a block of A times the last one,
  // orthogonalized against all of V (twice, for float's rounding); the Ritz
  // pairs of V^T A V are checked after each block.
  Eigen::MatrixXd basis(n, maxColumns);
  Eigen::MatrixXd image(n, maxColumns);  // A V
  Eigen::Index used = std::min(block, maxColumns);
  basis.leftCols(used) = Orthonormalized(randomBlock(used));
  Eigen::Index last = 0;  // the first column of the newest block
  Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> ritz;
  int blocks = 0;
  for (;;) {
    ++blocks;
    image.middleCols(last, used - last) = apply(basis.middleCols(last, used - last));
    const Eigen::MatrixXd projected = basis.leftCols(used).transpose() * image.leftCols(used);
    ritz.compute(0.5 * (projected + projected.transpose()));
    const Eigen::MatrixXd vectors = ritz.eigenvectors().rightCols(wanted);
    const Eigen::VectorXd values = ritz.eigenvalues().tail(wanted);
    const Eigen::MatrixXd residual =
        image.leftCols(used) * vectors - basis.leftCols(used) * vectors * values.asDiagonal();
    const double largest = std::max(values.cwiseAbs().maxCoeff(), 1e-300);
    const double worst = residual.colwise().norm().maxCoeff();
    if (worst <= kTolerance<Scalar> * largest || used >= maxColumns) break;
    // The next block from A times the newest one.
    const Eigen::Index next = std::min(block, maxColumns - used);
    Eigen::MatrixXd candidate = image.middleCols(last, next);
    for (int pass = 0; pass < 2; ++pass) {
      candidate -= basis.leftCols(used) * (basis.leftCols(used).transpose() * candidate);
    }
    // A block that lost its rank (an invariant subspace found) is refilled
    // with random directions.
    const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> check(candidate);
    if (check.rank() < next) {
      candidate = randomBlock(next);
      for (int pass = 0; pass < 2; ++pass) {
        candidate -= basis.leftCols(used) * (basis.leftCols(used).transpose() * candidate);
      }
    }
    Eigen::MatrixXd orthonormal = Orthonormalized(candidate);
    orthonormal -= basis.leftCols(used) * (basis.leftCols(used).transpose() * orthonormal);
    basis.middleCols(used, next) = Orthonormalized(orthonormal);
    last = used;
    used += next;
  }
  result.iterations = blocks;
  return Ordered(basis.leftCols(used) * ritz.eigenvectors(), ritz.eigenvalues(), wanted,
                 static_cast<double>(x.squaredNorm()) * inverseM, std::move(result));
}

}  // namespace

PrincipalComponents TopPrincipalComponents(const GenotypeTable& table, int k, std::span<const int> loci,
                                           std::uint64_t seed) {
  const std::vector<int> chosen = LociToUse(table, loci);
  const std::size_t entries = static_cast<std::size_t>(table.individuals) * chosen.size();
  if (entries <= kDoubleEntries) return Solve<double>(Normalized<double>(table, chosen), k, seed);
  return Solve<float>(Normalized<float>(table, chosen), k, seed);
}

}  // namespace korvane
