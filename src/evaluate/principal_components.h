#pragma once

// The top principal components of a replicate's genotypes, as EIGENSTRAT's
// smartpca computes them, by a randomized block solver.

#include <Eigen/Dense>

#include <cstdint>
#include <span>

#include "evaluate/genotype_table.h"

namespace korvane {

struct PrincipalComponents {
  // n x K, unit-length orthogonal columns, as eigenstrat's eigenvectors;
  // each column's sign makes its entry of largest magnitude positive.
  Eigen::MatrixXd axes;
  // The K largest eigenvalues of X X^T / M, descending: X the n x M matrix of
  // normalized genotypes, M the loci used.
  Eigen::VectorXd eigenvalues;
  // The same scaled as smartpca reports them (its .eval file): the
  // eigenvalues of all n axes would sum to n - 1.
  Eigen::VectorXd smartpcaEigenvalues;
  int lociUsed = 0;    // M: the loci given that were not monomorphic
  int iterations = 0;  // of the block solver
};

// The top k principal components over the given loci (empty: all). Each locus
// is normalized as smartpca does with `altnormstyle: NO` (the normalization
// of Price et al. 2006): (g - mean) / sqrt(p (1 - p)), mean the mean dosage of
// the individuals with a genotype, p = (1 + sum g) / (2 + 2 m) over those m
// individuals, missing genotypes 0 after normalizing; a monomorphic locus (or
// one without genotypes) is skipped. (smartpca's default, altnormstyle YES,
// takes p = mean / 2 instead.)
// The solver is a randomized block Krylov method (block Lanczos with full
// re-orthonormalization, blocks of k + max(4, k / 2) columns, Rayleigh-Ritz
// after each block) on X X^T without forming it, stopped when the top k Ritz
// pairs' residuals fall below 1e-9 of the largest eigenvalue (2e-5 when the
// table is held in float, above 8M entries) or the basis reaches 64 blocks
// (10 in float: about 1.5 s at 2000 x 12867, k = 10, one core; axes inside
// the noise bulk of the spectrum are then approximate, the separated ones
// exact to float precision). The start block is drawn from std::mt19937_64
// seeded by `seed`: the result is deterministic. k is clamped to [0, n];
// `iterations` reports the blocks used.
PrincipalComponents TopPrincipalComponents(const GenotypeTable& table, int k, std::span<const int> loci,
                                           std::uint64_t seed);

}  // namespace korvane
