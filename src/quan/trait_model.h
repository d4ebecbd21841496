#pragma once

// The quantitative trait model: which loci become QTLs, their additive
// effects, and the phenotype of an individual.

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "quan/quan_parameters.h"
#include "random/random_generator.h"
#include "refdata/haplotype_store.h"
#include "refdata/marker_set.h"

namespace korvane {

struct QtlCandidate {
  int effectClass = 1;  // the class whose homozygotes raise the phenotype
  float frequency = 0;  // frequency q of the raising allele
  int locus = 0;        // global index
};

// One ticked QTL of a run, with its candidates and, once chosen, its locus.
struct ActiveQtl {
  double freqMin = 0, freqMax = 0;
  double varianceComponent = 0;  // phenotypeVariance x varianceExplained
  double diffMin = 0, diffMax = 0;
  std::vector<QtlCandidate> candidates;  // accumulate over the passes of one attempt
  int locus = 0;                         // global index of the chosen candidate
  int effectClass = 1;
  float frequency = 0;
  double effect = 0;  // additive effect a
};

// The ticked QTL rows in row order, numbered from 1 without gaps.
std::vector<ActiveQtl> ActiveQtls(const QuanParameters& p);

// 1 minus the five variance shares added in row order, ticked or not.
double ResidualVarianceShare(const QuanParameters& p);

// The residual's share of the phenotype variance in the calibrated model:
// what the ticked QTLs and, in the discrete model, the stratification leave,
// so that the phenotype's variance is the one asked.
double CalibratedResidualShare(const QuanParameters& p);

// The genotype value of a QTL: +a for two raising alleles, -a for two
// lowering alleles, 0 otherwise. Effect class 1 raises with class 1 (A, T);
// any other effect class raises with class 2 (C, G).
double QtlEffect(int effectClass, double effect, AlleleClass first, AlleleClass second);

// The allele-frequency pass: each chosen locus is offered to the QTLs in
// turn, from a rotating start that advances after every test, and joins the
// first that accepts it. `difference` (discrete model) gives |fYRI - fOther|
// per locus; without it there is no difference test. A locus whose raising
// allele would have frequency 0 or 1 is no candidate.
void CollectQtlCandidates(std::span<const double> frequency, const std::vector<double>* difference,
                          std::vector<ActiveQtl>& qtls);

// Whether every QTL has at least one candidate.
bool EveryQtlHasCandidates(const std::vector<ActiveQtl>& qtls);

// For each QTL in order: idx = trunc(DrawUniform(0, n)) mod n among its n
// candidates, and the effect a = sqrt(V / (2q (1 - q))).
void ChooseQtls(RandomGenerator& gen, std::vector<ActiveQtl>& qtls);

// The group means of the discrete model: the sample mean stays at mean, the
// variance between the groups is p (1 - p) b^2 with b = sqrt(4 Vp Vs).
struct GroupMeans {
  double yri = 0;
  double other = 0;
};
GroupMeans DiscreteGroupMeans(const QuanParameters& p);

// The phenotype of individual i of `population` before the residual:
// start + the QTL effects.
double QtlSum(const std::vector<ActiveQtl>& qtls, const HaplotypeStore& population, int i);

// Sums of a value over the written individuals, for its variance (a
// QTL's genotype values, the phenotype: the realized variance shares).
struct VarianceSums {
  long long count = 0;
  double sum = 0, squares = 0;
  void Add(double x) {
    ++count;
    sum += x;
    squares += x * x;
  }
  double Variance() const {
    if (count < 2) return 0;
    const double mean = sum / static_cast<double>(count);
    return std::max(0.0, squares / static_cast<double>(count) - mean * mean);
  }
};

// Single-precision frequencies as doubles, for the candidate and null-locus passes.
inline std::vector<double> Widen(const std::vector<float>& f) { return std::vector<double>(f.begin(), f.end()); }

// The residual draw, made only when the residual share is above 0.
struct Residual {
  double share = 0;
  double variance = 0;
  double Draw(RandomGenerator& gen) const { return share > 0 ? DrawNormal(gen, 0.0, share * variance, variance) : 0.0; }
};

}  // namespace korvane
