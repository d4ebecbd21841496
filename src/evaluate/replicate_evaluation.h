#pragma once

// The association tests of one replicate, scored against its truth: the
// statistics at every locus, genomic control and type-I error over the
// loci unlinked to any trait locus, and each trait locus's test, rank and
// effect estimate beside its true effect and the power the model leads one
// to expect.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "evaluate/evaluation_input.h"

namespace korvane {

// The significance levels of type-I error and power.
inline constexpr std::array<double, 4> kAlphas{0.05, 1e-3, 1e-4, 5e-8};
inline constexpr std::array<const char*, 4> kAlphaNames{"0.05", "1e-3", "1e-4", "5e-8"};

// What the model's arithmetic needs besides the truth files: the parameters
// of the run that the files do not hold.
struct EvaluationModel {
  // Quantitative study: the phenotype variance Vp and the residual's share r
  // of it. The specified model draws the residual with standard deviation
  // r * Vp, bounded to +-Vp, so its variance is not r * Vp; the calibrated
  // model draws it exactly Normal(0, r * Vp), with r what the ticked QTLs
  // and the stratification leave (CalibratedResidualShare).
  double phenotypeVariance = 0;
  double residualShare = 0;
  bool calibrated = false;  // the replicates are of the calibrated model
};

struct EvaluationSettings {
  int principalComponents = 10;  // K of the adjustment; 0: none
  bool keepLoci = false;         // every locus's statistics, for loci.tsv.gz
  EvaluationModel model{};
};

// The test of a trait locus in one replicate.
struct TraitLocusResult {
  std::string role, id;
  double chiSquare = 0;  // the allelic chi-square, or the regression's t squared
  double p = 0, pGc = 0, pPc = 0, pAncestry = 0;
  double pTrend = 0;                    // case-control: the Cochran-Armitage trend test (NaN for a quantitative trait)
  int rank = 0;                         // among all loci by p, 1 for the smallest
  double estimate = 0;                  // allelic odds ratio of the risk allele, or beta per risk allele
  double trueEffect = 0;                // the relative risk asked, or the effect a
  double appliedEffect = 0;             // the heterozygotes' relative risk through the applied penetrances, or a
  std::optional<double> realizedShare;  // a QTL's share of the written sample's variance
  double expectedShare = 0;             // a QTL's share by the model's arithmetic
  double askedShare = 0;                // a QTL's share asked on the form
  double ncpModel = 0, ncpNominal = 0;  // non-centralities of the test: the model's, the form's
};

// One locus's statistics, for loci.tsv.gz.
struct LocusResult {
  double chiSquare, p, pPc, pAncestry, pTrend;
  char kind;  // 'u' unlinked, 'l' in a trait locus's region, 't' a trait locus
};

struct ReplicateResult {
  int replicate = 0;
  StudyKind study = StudyKind::kQualitative;
  int n = 0, cases = 0, controls = 0;
  int unlinkedLoci = 0, linkedLoci = 0;
  double lambda = 0, lambdaPc = 0, lambdaAncestry = 0;  // NaN where not computed
  // Loci below each alpha: unlinked, unlinked after the adjustment for the
  // principal components, unlinked after genomic control, and the loci in a
  // trait locus's region (linked to it).
  std::array<int, kAlphas.size()> type1{}, type1Pc{}, type1Gc{}, linkedBelow{};
  std::vector<TraitLocusResult> traitLoci;
  double phenotypeMean = 0, phenotypeVariance = 0;
  double expectedPhenotypeVariance = 0;  // by the model's arithmetic (quantitative)
  double ancestryCases = 0, ancestryControls = 0, ancestrySample = 0;
  // Population draws the cases and the controls came from.
  int drawsOfCases = 0, drawsOfControls = 0, draws = 0;
  // The share of loci whose Hardy-Weinberg exact test is below 0.05 among
  // the controls (or the sample) of each source, with its name.
  std::vector<std::pair<std::string, double>> hardyWeinbergBelow005;
  // For the pooled plots.
  std::vector<float> unlinkedP, unlinkedPPc;
  std::vector<float> ancestryOfCases, ancestryOfControls, ancestryOfSample, phenotypes;
  std::vector<LocusResult> loci;  // with keepLoci
  std::vector<std::string> locusIds;
  // Neighbouring loci of a region whose recombination fraction is below the
  // draws' resolution of 0.001, of all such pairs; and the expected
  // crossovers of one transmission by the map's fractions and as drawn (a
  // fraction below 0.001 acts as 0.001).
  int pairsBelowRecombinationFloor = 0, neighbourPairs = 0;
  double crossoversByMap = 0, crossoversDrawn = 0;
};

ReplicateResult EvaluateReplicate(const ReplicateInput& input, const EvaluationSettings& settings);

// The variance of a normal of standard deviation sd truncated to
// [-bound, bound].
double TruncatedNormalVariance(double sd, double bound);

// The variance of the specified model's residual draw with standard
// deviation sd bounded to +-bound, exactly as it is drawn: a value on the
// grid of thousandths, kept by comparing a second draw in thousandths with
// the normal density, both draws the remainders of the generator's 15-bit
// outputs (so not quite uniform).
double SpecifiedResidualVariance(double sd, double bound);

// The variance of the residual as the model drew it: r * Vp for the
// calibrated model's exact normal (0 when nothing is left to it), the
// specified draw's otherwise.
double ResidualVariance(const EvaluationModel& model);

}  // namespace korvane
