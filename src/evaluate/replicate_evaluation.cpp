#include "evaluate/replicate_evaluation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "evaluate/association.h"
#include "evaluate/power.h"
#include "evaluate/principal_components.h"
#include "evaluate/statistics.h"
#include "refdata/marker_set.h"

namespace korvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double Mean(const std::vector<double>& values) {
  if (values.empty()) return kNaN;
  double sum = 0;
  for (double v : values) sum += v;
  return sum / static_cast<double>(values.size());
}

double SampleVariance(const std::vector<double>& values) {
  if (values.size() < 2) return kNaN;
  const double mean = Mean(values);
  double sum = 0;
  for (double v : values) sum += (v - mean) * (v - mean);
  return sum / static_cast<double>(values.size() - 1);
}

// A p-value after genomic control: the statistic divided by lambda where
// lambda inflates it.
double GenomicControlP(double chiSquare, double lambda) {
  if (std::isnan(chiSquare)) return kNaN;
  return ChiSquare1UpperTail(std::isnan(lambda) ? chiSquare : chiSquare / std::max(lambda, 1.0));
}

// The source population frequency of a trait locus's risk allele for an
// individual of `source`.
std::optional<double> RiskFrequencyOf(const EvaluatedTraitLocus& locus, SampleSource source) {
  switch (source) {
    case SampleSource::kYriPool:
      return locus.riskFrequencyYri;
    case SampleSource::kSecondPool:
      return locus.riskFrequencySecond;
    case SampleSource::kAdmixed:
      break;
  }
  return locus.riskFrequencyAdmixed;
}

// The model's expected case and control frequencies of the risk allele: the
// cases and controls of the sample as they came from each source, each
// source in Hardy-Weinberg equilibrium at its frequency, with the
// penetrances as applied.
std::optional<CaseControlFrequencies> ModelFrequencies(const ReplicateInput& input, const EvaluatedTraitLocus& locus) {
  std::map<SampleSource, std::array<double, 2>> counts;  // cases, controls by source
  for (const EvaluatedIndividual& individual : input.individuals) {
    counts[individual.source][*individual.affected ? 0 : 1] += 1;
  }
  double caseSum = 0, controlSum = 0, cases = 0, controls = 0;
  for (const auto& [source, count] : counts) {
    const std::optional<double> frequency = RiskFrequencyOf(locus, source);
    if (!frequency) return std::nullopt;
    const CaseControlFrequencies f = RiskFrequenciesGivenStatus(*frequency, locus.penetranceApplied);
    if (count[0] > 0) caseSum += count[0] * f.cases;
    if (count[1] > 0) controlSum += count[1] * f.controls;
    cases += count[0];
    controls += count[1];
  }
  if (cases == 0 || controls == 0) return std::nullopt;
  return CaseControlFrequencies{caseSum / cases, controlSum / controls};
}

}  // namespace

double ResidualVariance(const EvaluationModel& model) {
  const double vp = model.phenotypeVariance, r = model.residualShare;
  if (model.calibrated) return r > 0 && vp > 0 ? r * vp : 0.0;
  return SpecifiedResidualVariance(r * vp, vp);
}

double SpecifiedResidualVariance(double sd, double bound) {
  if (!(sd > 0) || !(bound > 0)) return 0;
  // The draw: x = k / 1000 for k = lo + (r mod span), then u = j / 1000 for
  // j = r' mod spanU with spanU = trunc(1000 x the density's top), and x is
  // kept when u <= density(x); r and r' are the generator's 15-bit outputs,
  // 0..32767, so the smaller remainders are the likelier ones.
  constexpr double kOutputs = 32768;
  const double loK = std::trunc(-bound * 1000), hiK = std::trunc(bound * 1000);
  const double span = hiK - loK;
  const double top = 1.0 / (std::sqrt(6.2831852) * sd);
  const double spanU = std::trunc(top * 1000);
  if (span < 1 || spanU < 1 || span > 2e7 || spanU > 2e7) return TruncatedNormalVariance(sd, bound);
  const auto weight = [](double offset, double modulus) {
    return offset < kOutputs ? std::floor((kOutputs - 1 - offset) / modulus) + 1 : 0.0;
  };
  // Accepting weight of every u at or below a density: the running sum over j.
  const auto uCount = static_cast<std::size_t>(spanU);
  std::vector<double> accepted(uCount + 1, 0);
  for (std::size_t j = 0; j < uCount; ++j) accepted[j + 1] = accepted[j] + weight(static_cast<double>(j), spanU);
  double total = 0, sum = 0, squares = 0;
  for (double o = 0; o < span && o < kOutputs; ++o) {
    const double x = (loK + o) / 1000.0;
    const double density = std::exp((x * (-1.0) * x) / (2.0 * sd * sd)) * top;
    // The j with j / 1000 <= density: 0 .. jmax.
    double jmax = std::min(spanU - 1, std::floor(density * 1000));
    while (jmax + 1 < spanU && (jmax + 1) / 1000.0 <= density) ++jmax;
    while (jmax >= 0 && jmax / 1000.0 > density) --jmax;
    if (jmax < 0) continue;
    const double w = weight(o, span) * accepted[static_cast<std::size_t>(jmax) + 1];
    total += w;
    sum += w * x;
    squares += w * x * x;
  }
  if (total <= 0) return TruncatedNormalVariance(sd, bound);
  const double mean = sum / total;
  return squares / total - mean * mean;
}

double TruncatedNormalVariance(double sd, double bound) {
  if (!(sd > 0)) return 0;
  if (!(bound > 0)) return 0;
  const double c = bound / sd;
  const double density = std::exp(-0.5 * c * c) / std::sqrt(2 * M_PI);
  const double mass = 1 - 2 * NormalUpperTail(c);
  return sd * sd * (1 - 2 * c * density / mass);
}

ReplicateResult EvaluateReplicate(const ReplicateInput& input, const EvaluationSettings& settings) {
  const GenotypeTable& table = input.genotypes;
  const bool qualitative = input.study == StudyKind::kQualitative;
  const int n = table.individuals;
  const auto loci = static_cast<std::size_t>(table.loci);
  ReplicateResult result;
  result.replicate = input.replicate;
  result.study = input.study;
  result.n = n;

  // The trait: case status, or the phenotype.
  std::vector<std::uint8_t> affected(static_cast<std::size_t>(n), 0);
  std::vector<double> trait(static_cast<std::size_t>(n), kNaN);
  std::vector<double> ancestry(static_cast<std::size_t>(n));
  std::vector<double> ancestryCases, ancestryControls, phenotypes;
  std::set<int> draws, drawsCases, drawsControls;
  for (std::size_t i = 0; i < input.individuals.size(); ++i) {
    const EvaluatedIndividual& individual = input.individuals[i];
    ancestry[i] = individual.originAncestry;
    draws.insert(individual.populationDraw);
    if (qualitative) {
      const bool isCase = individual.affected.value_or(false);
      affected[i] = isCase ? 1 : 0;
      trait[i] = isCase ? 1.0 : 0.0;
      (isCase ? ancestryCases : ancestryControls).push_back(individual.originAncestry);
      (isCase ? drawsCases : drawsControls).insert(individual.populationDraw);
      (isCase ? result.cases : result.controls) += 1;
    } else if (individual.phenotype) {
      trait[i] = *individual.phenotype;
      phenotypes.push_back(*individual.phenotype);
    }
  }
  result.ancestryCases = Mean(ancestryCases);
  result.ancestryControls = Mean(ancestryControls);
  result.ancestrySample = Mean(ancestry);
  result.phenotypeMean = Mean(phenotypes);
  result.phenotypeVariance = SampleVariance(phenotypes);
  result.draws = static_cast<int>(draws.size());
  result.drawsOfCases = static_cast<int>(drawsCases.size());
  result.drawsOfControls = static_cast<int>(drawsControls.size());
  for (double a : ancestryCases) result.ancestryOfCases.push_back(static_cast<float>(a));
  for (double a : ancestryControls) result.ancestryOfControls.push_back(static_cast<float>(a));
  if (!qualitative) {
    for (double a : ancestry) result.ancestryOfSample.push_back(static_cast<float>(a));
  }
  for (double v : phenotypes) result.phenotypes.push_back(static_cast<float>(v));

  // Which loci are linked to a trait locus: those of its region.
  std::set<int> traitRegions;
  std::vector<char> kind(loci, 'u');
  for (const EvaluatedTraitLocus& locus : input.traitLoci)
    traitRegions.insert(input.region[static_cast<std::size_t>(locus.locus)]);
  for (std::size_t l = 0; l < loci; ++l) {
    if (traitRegions.count(input.region[l]) != 0) kind[l] = 'l';
  }
  for (const EvaluatedTraitLocus& locus : input.traitLoci) kind[static_cast<std::size_t>(locus.locus)] = 't';

  // The adjustments: the top principal components, and the truth's ancestry.
  std::optional<CovariateProjector> pcProjector, ancestryProjector;
  if (settings.principalComponents > 0 && n > settings.principalComponents + 2) {
    const PrincipalComponents pcs =
        TopPrincipalComponents(table, settings.principalComponents, {}, static_cast<std::uint64_t>(input.replicate));
    if (pcs.axes.cols() > 0) pcProjector.emplace(pcs.axes);
  }
  const bool ancestryVaries = std::any_of(ancestry.begin(), ancestry.end(), [&](double a) { return a != ancestry[0]; });
  if (n > 3 && ancestryVaries) {
    Eigen::MatrixXd covariate(n, 1);
    for (int i = 0; i < n; ++i) covariate(i, 0) = ancestry[static_cast<std::size_t>(i)];
    ancestryProjector.emplace(covariate);
  }
  std::optional<AdjustedTrendTest> pcTest, ancestryTest;
  if (pcProjector) pcTest.emplace(*pcProjector, trait);
  if (ancestryProjector) ancestryTest.emplace(*ancestryProjector, trait);

  // Every locus's tests.
  std::vector<double> chi(loci, kNaN), p(loci, kNaN), chiPc(loci, kNaN), pPc(loci, kNaN), chiAnc(loci, kNaN),
      pAnc(loci, kNaN), pTrend(loci, kNaN), estimate(loci, kNaN);
  for (std::size_t l = 0; l < loci; ++l) {
    const std::span<const std::int8_t> dosage = table.Locus(static_cast<int>(l));
    if (qualitative) {
      const AllelicResult allelic = AllelicTest(dosage, affected);
      chi[l] = allelic.chiSquare;
      p[l] = allelic.p;
      estimate[l] = allelic.oddsRatio;
      pTrend[l] = TrendTest(dosage, affected).p;
    } else {
      const RegressionResult regression = LinearRegression(dosage, trait);
      p[l] = regression.p;
      chi[l] = std::isnan(regression.p) ? kNaN : ChiSquare1Quantile(regression.p);
      estimate[l] = regression.beta;
    }
    if (pcTest) {
      chiPc[l] = pcTest->ChiSquare(dosage);
      pPc[l] = ChiSquare1UpperTail(chiPc[l]);
    }
    if (ancestryTest) {
      chiAnc[l] = ancestryTest->ChiSquare(dosage);
      pAnc[l] = ChiSquare1UpperTail(chiAnc[l]);
    }
  }

  // Genomic control and type-I error over the unlinked loci.
  std::vector<double> unlinked, unlinkedPc, unlinkedAnc;
  for (std::size_t l = 0; l < loci; ++l) {
    if (kind[l] == 'u') {
      ++result.unlinkedLoci;
      unlinked.push_back(chi[l]);
      unlinkedPc.push_back(chiPc[l]);
      unlinkedAnc.push_back(chiAnc[l]);
    } else if (kind[l] == 'l') {
      ++result.linkedLoci;
    }
  }
  result.lambda = GenomicControlLambda(unlinked);
  result.lambdaPc = pcTest ? GenomicControlLambda(unlinkedPc) : kNaN;
  result.lambdaAncestry = ancestryTest ? GenomicControlLambda(unlinkedAnc) : kNaN;
  for (std::size_t l = 0; l < loci; ++l) {
    if (kind[l] == 't') continue;
    const double pGc = GenomicControlP(chi[l], result.lambda);
    for (std::size_t a = 0; a < kAlphas.size(); ++a) {
      if (kind[l] == 'l') {
        result.linkedBelow[a] += p[l] < kAlphas[a];
        continue;
      }
      result.type1[a] += p[l] < kAlphas[a];
      result.type1Pc[a] += pPc[l] < kAlphas[a];
      result.type1Gc[a] += pGc < kAlphas[a];
    }
    if (kind[l] == 'u') {
      if (!std::isnan(p[l])) result.unlinkedP.push_back(static_cast<float>(p[l]));
      if (!std::isnan(pPc[l])) result.unlinkedPPc.push_back(static_cast<float>(pPc[l]));
    }
  }

  // The trait loci.
  for (const EvaluatedTraitLocus& locus : input.traitLoci) {
    const auto l = static_cast<std::size_t>(locus.locus);
    TraitLocusResult r;
    r.role = locus.role;
    r.id = table.locusIds[l];
    r.chiSquare = chi[l];
    r.p = p[l];
    r.pGc = GenomicControlP(chi[l], result.lambda);
    r.pPc = pPc[l];
    r.pAncestry = pAnc[l];
    r.pTrend = pTrend[l];
    r.rank = 1;
    for (std::size_t k = 0; k < loci; ++k) r.rank += p[k] < p[l];
    if (qualitative) {
      // The allelic odds ratio of class 1, turned to the risk allele.
      r.estimate = locus.riskClass == 1 ? estimate[l] : 1.0 / estimate[l];
      r.trueEffect = locus.relativeRisk;
      r.appliedEffect = locus.penetranceApplied[0] > 0 ? locus.penetranceApplied[1] / locus.penetranceApplied[0] : kNaN;
      const std::optional<CaseControlFrequencies> model = ModelFrequencies(input, locus);
      r.ncpModel = model ? AllelicNonCentrality(model->cases, model->controls, result.cases, result.controls) : kNaN;
      const CaseControlFrequencies nominal = RiskFrequenciesGivenStatus(locus.riskFrequency, locus.penetrance);
      r.ncpNominal = AllelicNonCentrality(nominal.cases, nominal.controls, result.cases, result.controls);
    } else {
      r.estimate = locus.riskClass == 1 ? estimate[l] : -estimate[l];
      r.trueEffect = locus.effect;
      r.appliedEffect = locus.effect;
      r.realizedShare = locus.realizedShare;
    }
    result.traitLoci.push_back(r);
  }
  if (!qualitative) {
    // The model's arithmetic of the phenotype variance: the QTLs' components
    // as asked, the residual as drawn, and the groups' means in the discrete
    // model.
    const EvaluationModel& model = settings.model;
    const double vp = model.phenotypeVariance;
    double components = 0;
    for (const EvaluatedTraitLocus& locus : input.traitLoci) components += locus.varianceShare * vp;
    const double residual = ResidualVariance(model);
    double groups = 0;
    if (input.groupMeanYri && input.groupMeanSecond && n > 0) {
      double yri = 0;
      for (const EvaluatedIndividual& individual : input.individuals)
        yri += individual.source == SampleSource::kYriPool;
      const double w = yri / n;
      const double difference = *input.groupMeanYri - *input.groupMeanSecond;
      groups = w * (1 - w) * difference * difference;
    }
    const double total = components + residual + groups;
    result.expectedPhenotypeVariance = vp > 0 ? total : kNaN;
    for (std::size_t k = 0; k < input.traitLoci.size(); ++k) {
      TraitLocusResult& r = result.traitLoci[k];
      const double share = input.traitLoci[k].varianceShare;
      r.askedShare = share;
      r.expectedShare = vp > 0 && total > 0 ? share * vp / total : kNaN;
      r.ncpModel = std::isnan(r.expectedShare) ? kNaN : QtlNonCentrality(n, r.expectedShare);
      r.ncpNominal = QtlNonCentrality(n, share);
    }
  }

  // Hardy-Weinberg among the controls (or the sample) of each source.
  std::map<SampleSource, std::vector<int>> members;
  for (std::size_t i = 0; i < input.individuals.size(); ++i) {
    if (qualitative && affected[i] != 0) continue;
    members[input.individuals[i].source].push_back(static_cast<int>(i));
  }
  for (const auto& [source, who] : members) {
    int tested = 0, below = 0;
    for (std::size_t l = 0; l < loci; ++l) {
      const std::span<const std::int8_t> dosage = table.Locus(static_cast<int>(l));
      std::array<int, 3> counts{};
      for (int i : who) {
        const std::int8_t g = dosage[static_cast<std::size_t>(i)];
        if (g >= 0) ++counts[static_cast<unsigned char>(g)];  // a missing genotype is -1
      }
      if (counts[0] + counts[1] + counts[2] == 0) continue;
      ++tested;
      below += HardyWeinbergExactP(counts[2], counts[1], counts[0]) < 0.05;
    }
    result.hardyWeinbergBelow005.emplace_back(std::string(SampleSourceName(source)),
                                              tested > 0 ? static_cast<double>(below) / tested : kNaN);
  }

  // Neighbours closer than the resolution of the recombination draws.
  for (std::size_t l = 1; l < loci; ++l) {
    if (input.region[l] != input.region[l - 1]) continue;
    ++result.neighbourPairs;
    const double fraction = KosambiFraction(input.centimorgans[l] - input.centimorgans[l - 1]);
    result.pairsBelowRecombinationFloor += fraction < 0.001;
    result.crossoversByMap += fraction;
    result.crossoversDrawn += ThousandthsBelow(fraction) / 1000.0;
  }

  if (settings.keepLoci) {
    result.locusIds = table.locusIds;
    for (std::size_t l = 0; l < loci; ++l) result.loci.push_back({chi[l], p[l], pPc[l], pAnc[l], pTrend[l], kind[l]});
  }
  return result;
}

}  // namespace korvane
