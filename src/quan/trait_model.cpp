#include "quan/trait_model.h"

#include <cmath>

namespace korvane {

std::vector<ActiveQtl> ActiveQtls(const QuanParameters& p) {
  std::vector<ActiveQtl> qtls;
  for (std::size_t k = 0; k < p.qtlRows.size(); ++k) {
    const QtlRow& row = p.qtlRows[k];
    if (row.enabled == 0) continue;
    ActiveQtl qtl;
    qtl.freqMin = row.freqMin;
    qtl.freqMax = row.freqMax;
    qtl.varianceComponent = p.phenotypeVariance * row.varianceExplained;
    qtl.diffMin = p.qtlDifferenceRows[k].diffMin;
    qtl.diffMax = p.qtlDifferenceRows[k].diffMax;
    qtls.push_back(qtl);
  }
  return qtls;
}

double ResidualVarianceShare(const QuanParameters& p) {
  double sum = 0;
  for (const QtlRow& row : p.qtlRows) sum += row.varianceExplained;
  return 1 - sum;
}

double CalibratedResidualShare(const QuanParameters& p) {
  double share = 1;
  for (const QtlRow& row : p.qtlRows) {
    if (row.enabled != 0) share -= row.varianceExplained;
  }
  if (p.modelKind == ModelKind::kDiscrete) share -= p.stratificationVariance;
  return share;
}

double QtlEffect(int effectClass, double effect, AlleleClass first, AlleleClass second) {
  const AlleleClass raising = effectClass == 1 ? 1 : 2;
  const AlleleClass lowering = raising == 1 ? 2 : 1;
  if (first == raising && second == raising) return effect;
  if (first == lowering && second == lowering) return -effect;
  return 0.0;
}

void CollectQtlCandidates(std::span<const double> frequency, const std::vector<double>* difference,
                          std::vector<ActiveQtl>& qtls) {
  const int count = static_cast<int>(qtls.size());
  int k = 0;
  for (std::size_t g = 0; g < frequency.size(); ++g) {
    const double f = frequency[g];
    for (int tries = 0; tries < count; ++tries) {
      ActiveQtl& qtl = qtls[k];
      k = (k + 1) % count;
      if (difference && !((*difference)[g] >= qtl.diffMin && (*difference)[g] <= qtl.diffMax)) continue;
      QtlCandidate candidate{0, 0, static_cast<int>(g)};
      if (qtl.freqMin <= f && f <= qtl.freqMax) {
        candidate.effectClass = 1;
        candidate.frequency = static_cast<float>(f);
      } else if (qtl.freqMin <= 1.0 - f && 1.0 - f <= qtl.freqMax) {
        candidate.effectClass = 2;
        candidate.frequency = static_cast<float>(1.0 - f);
      } else {
        continue;
      }
      // A monomorphic QTL would have an infinite effect.
      if (candidate.frequency <= 0.0f || candidate.frequency >= 1.0f) continue;
      qtl.candidates.push_back(candidate);
      break;
    }
  }
}

bool EveryQtlHasCandidates(const std::vector<ActiveQtl>& qtls) {
  for (const ActiveQtl& qtl : qtls) {
    if (qtl.candidates.empty()) return false;
  }
  return true;
}

void ChooseQtls(RandomGenerator& gen, std::vector<ActiveQtl>& qtls) {
  for (ActiveQtl& qtl : qtls) {
    const int n = static_cast<int>(qtl.candidates.size());
    const int index = static_cast<int>(DrawUniform(gen, 0.0, n)) % n;
    const QtlCandidate& chosen = qtl.candidates[index];
    qtl.locus = chosen.locus;
    qtl.effectClass = chosen.effectClass;
    qtl.frequency = chosen.frequency;
    const double q = chosen.frequency;
    qtl.effect = std::sqrt(qtl.varianceComponent / ((q + q) * (1.0 - q)));
  }
}

GroupMeans DiscreteGroupMeans(const QuanParameters& p) {
  const double mu = p.phenotypeMean;
  const double share = p.yriFinalDiscrete;
  const double b = std::sqrt(4.0 * p.phenotypeVariance * p.stratificationVariance);
  GroupMeans means;
  means.yri = (b + mu / (1 - share)) / (share / (1 - share) + 1.0);
  means.other = (mu - share * means.yri) / (1 - share);
  return means;
}

double QtlSum(const std::vector<ActiveQtl>& qtls, const HaplotypeStore& population, int i) {
  double sum = 0;
  for (const ActiveQtl& qtl : qtls) {
    sum +=
        QtlEffect(qtl.effectClass, qtl.effect, population.Allele(i, 0, qtl.locus), population.Allele(i, 1, qtl.locus));
  }
  return sum;
}

}  // namespace korvane
