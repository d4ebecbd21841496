// The calibrated model against what its users ask of it, on replicates of
// the shipped reference data with fixed seeds: null loci null at any sample
// size, each QTL's share of the phenotype variance, the phenotype's mean and
// variance and a normal residual, the power the nominal numbers predict,
// causal loci and loci spread over the regions as the catalogue is, and the
// panels' linkage disequilibrium kept. The checks recompute what they test
// from the written files (or the populations themselves) wherever they can,
// rather than trusting the simulator's own bookkeeping.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "cli/evaluate_command.h"
#include "evaluate/evaluation.h"
#include "evaluate/evaluation_input.h"
#include "evaluate/replicate_evaluation.h"
#include "evaluate/statistics.h"
#include "population/calibrated_population.h"
#include "qual/QUAL.h"
#include "qual/disease_model.h"
#include "quan/QUAN.h"
#include "recording_host.h"
#include "refdata/region_catalogue.h"
#include "test_files.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

RunOptions CalibratedOptions(std::uint64_t seed) {
  RunOptions options;
  options.dataDir = fs::path(KORVANE_SOURCE_DIR) / "data";
  options.seed = seed;
  options.calibrated = true;
  return options;
}

// Runs the study with every format off, evaluated as it is simulated, and
// returns the evaluation of every replicate.
template <typename Study>
std::vector<ReplicateResult> EvaluateCalibrated(Study& study, std::uint64_t seed, const fs::path& out) {
  cli::EvaluateOptions asked;
  asked.enabled = true;
  asked.principalComponents = 0;
  Evaluation evaluation(cli::SettingsOf(asked, study.parameters, true), cli::ContextOf(study.parameters, true));
  RunOptions options = CalibratedOptions(seed);
  options.truth = false;
  options.attachedWriters.push_back(evaluation.Writers());
  study.parameters.outputDirectory = out.string();
  study.parameters.writePlink = 0;
  study.parameters.writeEigensoft = 0;
  study.parameters.writeGc = 0;
  testing::RecordingHost host;
  const RunOutcome outcome = study.Run(options, host);
  EXPECT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
  std::vector<ReplicateResult> results;
  for (const ReplicateResult* result : evaluation.Results()) results.push_back(*result);
  return results;
}

// The mean of values and the standard error of that mean.
struct Mean {
  double value = 0, error = 0;
};
Mean MeanOf(const std::vector<double>& values) {
  const double n = static_cast<double>(values.size());
  const double mean = std::accumulate(values.begin(), values.end(), 0.0) / n;
  double squares = 0;
  for (double v : values) squares += (v - mean) * (v - mean);
  return {mean, std::sqrt(squares / (n - 1) / n)};
}

QualStudy NullCaseControl(ModelKind model, int sampleSize, int replicates) {
  QualStudy study;
  study.parameters.modelKind = model;
  study.parameters.relativeRisk = 1.0f;
  study.parameters.yriInCases = 0.5;
  study.parameters.yriInControls = 0.5;
  study.parameters.sampleSize = sampleSize;
  study.parameters.replicateCount = replicates;
  study.parameters.writeAdmixmap = 0;
  study.parameters.writeStructureStrat = 0;
  return study;
}

// Genomic control's lambda and the type-I error at 0.05 of one replicate,
// over its loci unlinked to the causal locus whose minor allele frequency in
// the sample is at least 0.05 (below it the allelic test's discreteness
// makes it conservative whatever the model), recomputed from its files: of
// the allelic test, and of the test adjusted for the individuals' ancestry.
struct NullReplicate {
  double lambda = 0, type1 = 0;
  double lambdaAdjusted = 0, type1Adjusted = 0;
};

NullReplicate NullStatisticsOf(const fs::path& folder, int replicate) {
  const ReplicateInput input = ReadReplicateFolder(folder, replicate);
  EvaluationSettings settings;
  settings.principalComponents = 0;
  settings.keepLoci = true;
  const ReplicateResult result = EvaluateReplicate(input, settings);
  std::vector<double> chi, chiAdjusted;
  for (int l = 0; l < input.genotypes.loci; ++l) {
    const LocusResult& locus = result.loci[static_cast<std::size_t>(l)];
    if (locus.kind != 'u') continue;
    int ones = 0, alleles = 0;
    for (const std::int8_t d : input.genotypes.Locus(l)) {
      if (d < 0) continue;
      ones += d;
      alleles += 2;
    }
    const double frequency = static_cast<double>(ones) / alleles;
    if (std::min(frequency, 1 - frequency) < 0.05) continue;
    chi.push_back(locus.chiSquare);
    chiAdjusted.push_back(ChiSquare1Quantile(locus.pAncestry));
  }
  NullReplicate out;
  const double critical = ChiSquare1Quantile(0.05);
  const auto rate = [critical](const std::vector<double>& values) {
    return static_cast<double>(std::count_if(values.begin(), values.end(), [&](double x) { return x > critical; })) /
           static_cast<double>(values.size());
  };
  out.lambda = GenomicControlLambda(chi);
  out.type1 = rate(chi);
  out.lambdaAdjusted = GenomicControlLambda(chiAdjusted);
  out.type1Adjusted = rate(chiAdjusted);
  return out;
}

// Without an effect, cases and controls drawn from one population: genomic
// control's lambda (mean over the replicates) in [0.97, 1.06] and the
// type-I error at 0.05 within the 95 % interval of 0.05, the interval from
// the replicates' own rates, since the tests of one replicate are correlated
// through linkage.
//
// The discrete model's sample of YRI 0.5 in cases and in controls holds two
// source populations in fixed numbers: the allelic test, whose pooled
// frequency's variance includes the difference between the sources, is then
// conservative at the loci where they differ. There the test adjusted for
// ancestry (the source) is the one that must hold its level; a sample of
// one source must hold it with the allelic test itself.
TEST(CalibratedStatisticsTest, NullLociAreNullAtAnySampleSize) {
  TempDir tmp;
  struct Case {
    ModelKind model;
    int sampleSize, replicates;
    double yri;  // in cases and in controls
    bool adjusted;
    std::uint64_t seed;
    const char* name;
  };
  for (const Case c : {Case{ModelKind::kDiscrete, 4000, 48, 0.5, true, 1414, "discrete N 4000, two sources"},
                       Case{ModelKind::kDiscrete, 4000, 48, 1.0, false, 1415, "discrete N 4000, YRI only"},
                       Case{ModelKind::kContinuous, 200, 100, 0.5, false, 1416, "continuous N 200"},
                       Case{ModelKind::kContinuous, 1000, 60, 0.5, false, 1417, "continuous N 1000"}}) {
    SCOPED_TRACE(c.name);
    QualStudy study = NullCaseControl(c.model, c.sampleSize, c.replicates);
    study.parameters.yriInCases = study.parameters.yriInControls = c.yri;
    study.parameters.writeEigensoft = 0;
    study.parameters.writeGc = 0;
    study.parameters.outputDirectory = (tmp / c.name).string();
    testing::RecordingHost host;
    const RunOutcome outcome = study.Run(CalibratedOptions(c.seed), host);
    ASSERT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
    std::vector<double> lambdas, rates, lambdasAdjusted, ratesAdjusted;
    for (int n = 1; n <= c.replicates; ++n) {
      const NullReplicate r = NullStatisticsOf(tmp / c.name / std::to_string(n), n);
      lambdas.push_back(r.lambda);
      rates.push_back(r.type1);
      lambdasAdjusted.push_back(r.lambdaAdjusted);
      ratesAdjusted.push_back(r.type1Adjusted);
    }
    const Mean lambda = MeanOf(c.adjusted ? lambdasAdjusted : lambdas);
    const Mean type1 = MeanOf(c.adjusted ? ratesAdjusted : rates);
    RecordProperty(std::string(c.name), "lambda " + std::to_string(MeanOf(lambdas).value) + " (error " +
                                            std::to_string(MeanOf(lambdas).error) + ") type-I error " +
                                            std::to_string(MeanOf(rates).value) + " adjusted: lambda " +
                                            std::to_string(MeanOf(lambdasAdjusted).value) + " type-I error " +
                                            std::to_string(MeanOf(ratesAdjusted).value));
    EXPECT_GE(lambda.value, 0.97);
    EXPECT_LE(lambda.value, 1.06);
    EXPECT_NEAR(type1.value, 0.05, 1.96 * type1.error);
    // Unadjusted, the two-source sample is conservative, never inflated.
    if (c.adjusted) {
      EXPECT_LE(MeanOf(rates).value, 0.05 + 1.96 * MeanOf(rates).error);
    }
  }
}

// Observed power against the power the nominal numbers give: the allelic
// test's non-centrality from the risk allele's frequency and the
// penetrances asked, replicate by replicate. The count of replicates below
// the level is a sum of independent draws with those probabilities; it must
// lie within 1.96 of its standard deviations of their sum.
TEST(CalibratedStatisticsTest, PowerIsWhatTheNominalNumbersPredict) {
  TempDir tmp;
  constexpr int kReplicates = 100;
  for (const double rr : {1.5, 2.0, 3.0}) {
    for (const double prevalence : {0.001, 0.01, 0.1}) {
      const std::string name = "RR " + std::to_string(rr) + " prevalence " + std::to_string(prevalence);
      SCOPED_TRACE(name);
      QualStudy study = NullCaseControl(ModelKind::kContinuous, 1000, kReplicates);
      study.parameters.relativeRisk = static_cast<float>(rr);
      study.parameters.prevalence = prevalence;
      const std::vector<ReplicateResult> results = EvaluateCalibrated(study, 2718, tmp / name);
      ASSERT_EQ(results.size(), static_cast<std::size_t>(kReplicates));
      for (const double alpha : {0.05, 1e-3}) {
        double observed = 0, expected = 0, variance = 0;
        for (const ReplicateResult& r : results) {
          ASSERT_EQ(r.traitLoci.size(), 1u);
          const double power = NonCentralChiSquare1Power(r.traitLoci[0].ncpNominal, alpha);
          observed += r.traitLoci[0].p < alpha;
          expected += power;
          variance += power * (1 - power);
        }
        RecordProperty(name + " alpha " + std::to_string(alpha),
                       std::to_string(observed / kReplicates) + " expected " + std::to_string(expected / kReplicates));
        // Half a replicate more, for the count's steps.
        EXPECT_NEAR(observed, expected, 1.96 * std::sqrt(variance) + 0.5) << "alpha " << alpha;
      }
    }
  }
}

// A quantitative replicate read back from its files, with what the checks
// compute from it: each individual's QTL contribution and residual, from
// its genotype at the QTL, the effect and the centre of its group (twice
// the raising allele's frequency in the population its parents came from).
struct TraitReplicate {
  std::vector<double> phenotype, contribution, residual;
};

TraitReplicate ReadTraitReplicate(const fs::path& folder, int replicate, double mean) {
  const ReplicateInput input = ReadReplicateFolder(folder, replicate);
  EXPECT_EQ(input.traitLoci.size(), 1u);
  const EvaluatedTraitLocus& qtl = input.traitLoci.at(0);
  const std::span<const std::int8_t> dosage = input.genotypes.Locus(qtl.locus);
  TraitReplicate out;
  for (std::size_t i = 0; i < input.individuals.size(); ++i) {
    const EvaluatedIndividual& individual = input.individuals[i];
    double start = mean;
    std::optional<double> frequency = qtl.riskFrequencyAdmixed;
    if (individual.source == SampleSource::kYriPool) {
      start = *input.groupMeanYri;
      frequency = qtl.riskFrequencyYri;
    } else if (individual.source == SampleSource::kSecondPool) {
      start = *input.groupMeanSecond;
      frequency = qtl.riskFrequencySecond;
    }
    // The dosage counts class-1 alleles; the raising allele is the risk class.
    const int raising = qtl.riskClass == 1 ? dosage[i] : 2 - dosage[i];
    const double contribution = qtl.effect * (raising - 2 * frequency.value());
    const double phenotype = *individual.phenotype;
    out.phenotype.push_back(phenotype);
    out.contribution.push_back(contribution);
    out.residual.push_back(phenotype - start - contribution);
  }
  return out;
}

double Variance(const std::vector<double>& values) {
  const double n = static_cast<double>(values.size());
  const double mean = std::accumulate(values.begin(), values.end(), 0.0) / n;
  double squares = 0;
  for (double v : values) squares += (v - mean) * (v - mean);
  return squares / n;
}

// One QTL asked 0.1 of the phenotype variance: the share its genotype
// values realize, the phenotype's mean and variance (means over the
// replicates, within 5 %), and the residual normal by Shapiro-Wilk at the
// nominal rate.
TEST(CalibratedStatisticsTest, QtlSharePhenotypeAndResidualAreAsAsked) {
  TempDir tmp;
  constexpr int kReplicates = 40;
  struct Case {
    ModelKind model;
    double variance;
    std::uint64_t seed;
  };
  for (const Case c : {Case{ModelKind::kContinuous, 1.0, 3141}, Case{ModelKind::kContinuous, 10.0, 3142},
                       Case{ModelKind::kContinuous, 100.0, 3143}, Case{ModelKind::kDiscrete, 10.0, 3144}}) {
    const std::string name = std::string(c.model == ModelKind::kDiscrete ? "discrete" : "continuous") + " variance " +
                             std::to_string(c.variance);
    SCOPED_TRACE(name);
    QuanStudy study;
    QuanParameters& p = study.parameters;
    p.modelKind = c.model;
    p.phenotypeVariance = c.variance;
    p.sampleSize = 1000;
    p.replicateCount = kReplicates;
    p.qtlRows[0].varianceExplained = 0.1;
    for (int k = 1; k < 5; ++k) p.qtlRows[k].enabled = 0;
    p.writeEigensoft = 0;
    p.writeGc = 0;
    p.outputDirectory = (tmp / name).string();
    testing::RecordingHost host;
    const RunOutcome outcome = study.Run(CalibratedOptions(c.seed), host);
    ASSERT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;

    std::vector<double> shares, means, variances;
    int nonNormal = 0;
    for (int n = 1; n <= kReplicates; ++n) {
      const TraitReplicate r = ReadTraitReplicate(tmp / name / std::to_string(n), n, p.phenotypeMean);
      const double total = Variance(r.phenotype);
      shares.push_back(Variance(r.contribution) / total);
      means.push_back(std::accumulate(r.phenotype.begin(), r.phenotype.end(), 0.0) /
                      static_cast<double>(r.phenotype.size()));
      variances.push_back(total);
      nonNormal += ShapiroWilk(r.residual).p < 0.05;
    }
    const double share = MeanOf(shares).value, mean = MeanOf(means).value, variance = MeanOf(variances).value;
    RecordProperty(name, "share " + std::to_string(share) + " mean " + std::to_string(mean) + " variance " +
                             std::to_string(variance) + " non-normal " + std::to_string(nonNormal));
    EXPECT_NEAR(share / 0.1, 1.0, 0.05);
    EXPECT_NEAR(mean / p.phenotypeMean, 1.0, 0.05);
    EXPECT_NEAR(variance / c.variance, 1.0, 0.05);
    // 2 of 40 expected at 0.05; 6 or more has a probability below 5 %.
    EXPECT_LE(nonNormal, 5);
  }
}

// Parses Loci.tsv: a column by its header name, row by row.
class LociTable {
 public:
  explicit LociTable(const fs::path& file) {
    std::istringstream in(testing::ReadFile(file));
    std::string line;
    std::getline(in, line);
    header_ = Split(line);
    while (std::getline(in, line)) rows_.push_back(Split(line));
  }
  std::size_t Size() const { return rows_.size(); }
  const std::string& At(std::size_t row, const std::string& column) const {
    const auto it = std::find(header_.begin(), header_.end(), column);
    EXPECT_NE(it, header_.end()) << column;
    return rows_[row][static_cast<std::size_t>(it - header_.begin())];
  }

 private:
  static std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
  }
  std::vector<std::string> header_;
  std::vector<std::vector<std::string>> rows_;
};

// The chi-square goodness of fit of observed counts to expected ones.
double GoodnessOfFitP(const std::array<double, MarkerSet::kRegions>& observed,
                      const std::array<double, MarkerSet::kRegions>& expected) {
  double x2 = 0;
  for (int r = 0; r < MarkerSet::kRegions; ++r)
    x2 += (observed[r] - expected[r]) * (observed[r] - expected[r]) / expected[r];
  // The upper tail of chi-square with 9 degrees of freedom: 1 - P(4.5,
  // x2 / 2), P the regularized lower incomplete gamma function by its series.
  const double a = 4.5, x = x2 / 2;
  double term = 1 / a, sum = term;
  for (int k = 1; k < 500; ++k) {
    term *= x / (a + k);
    sum += term;
  }
  return 1 - std::exp(a * std::log(x) - x - std::lgamma(a)) * sum;
}

// With 4000 loci over 100 replicates: the causal locus falls in each region
// in proportion to the candidates the region offers (recomputed from each
// replicate's pool frequencies in Loci.tsv), and the loci of a replicate are
// spread over the regions in proportion to their sizes.
TEST(CalibratedStatisticsTest, CausalLociAndLociSpreadOverEveryRegion) {
  TempDir tmp;
  constexpr int kReplicates = 100;
  QualStudy study;
  QualParameters& p = study.parameters;
  p.totalLocusCount = 4000;
  p.sampleSize = 100;
  p.prevalence = 0.1;
  p.replicateCount = kReplicates;
  p.writeAdmixmap = p.writeEigensoft = p.writeGc = p.writePlink = p.writeStructureStrat = 0;
  p.outputDirectory = (tmp / "regions").string();
  testing::RecordingHost host;
  ASSERT_EQ(study.Run(CalibratedOptions(1618), host).status, RunOutcome::Status::kCompleted);

  const FrequencyRange susceptibility{p.susceptibilityFreqMin, p.susceptibilityFreqMax};
  const FrequencyRange difference{p.freqDifferenceMin, p.freqDifferenceMax};
  std::array<double, MarkerSet::kRegions> causal{}, causalExpected{}, loci{}, lociExpected{};
  for (int n = 1; n <= kReplicates; ++n) {
    const LociTable table(tmp / "regions" / std::to_string(n) / "Loci.tsv");
    ASSERT_EQ(table.Size(), 4000u);
    std::array<double, MarkerSet::kRegions> candidates{};
    double all = 0;
    for (std::size_t row = 0; row < table.Size(); ++row) {
      const int r = std::stoi(table.At(row, "region")) - 1;
      loci[r] += 1;
      const float yri = std::stof(table.At(row, "class1_freq_yri"));
      const float second = std::stof(table.At(row, "class1_freq_second"));
      if (IsCausalCandidate(yri, second, susceptibility, difference, 0)) {
        candidates[r] += 1;
        all += 1;
      }
      if (table.At(row, "role") == "causal") causal[r] += 1;
    }
    for (int r = 0; r < MarkerSet::kRegions; ++r) causalExpected[r] += candidates[r] / all;
  }
  int snps = 0;
  for (int r = 0; r < MarkerSet::kRegions; ++r) snps += RegionCatalogue::SnpCount(r);
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    lociExpected[r] = kReplicates * 4000.0 * RegionCatalogue::SnpCount(r) / snps;
    EXPECT_GT(causal[r], 0) << "region " << r + 1;
  }
  const double causalP = GoodnessOfFitP(causal, causalExpected);
  const double lociP = GoodnessOfFitP(loci, lociExpected);
  RecordProperty("causal regions p", std::to_string(causalP));
  RecordProperty("loci per region p", std::to_string(lociP));
  EXPECT_GT(causalP, 0.05);
  EXPECT_GT(lociP, 0.05);
}

// The mean r^2 of pairs of loci of a region by their distance, over the
// haplotypes of a store: every locus's alleles as bits over the haplotypes.
constexpr std::array<double, 6> kBinEdges{0, 5e3, 10e3, 20e3, 50e3, 100e3};
using LdBins = std::array<double, kBinEdges.size() - 1>;

class HaplotypeColumns {
 public:
  explicit HaplotypeColumns(const HaplotypeStore& store)
      : haplotypes_(2 * store.IndividualCount()), words_((haplotypes_ + 63) / 64) {
    bits_.assign(static_cast<std::size_t>(store.LociCount()) * words_, 0);
    ones_.assign(static_cast<std::size_t>(store.LociCount()), 0);
    for (int i = 0; i < store.IndividualCount(); ++i) {
      for (int slot = 0; slot < 2; ++slot) {
        const int h = 2 * i + slot;
        for (int g = 0; g < store.LociCount(); ++g) {
          if (store.Allele(i, slot, g) != 1) continue;
          bits_[static_cast<std::size_t>(g) * words_ + h / 64] |= std::uint64_t{1} << (h % 64);
          ++ones_[static_cast<std::size_t>(g)];
        }
      }
    }
  }
  bool Polymorphic(int g) const { return ones_[g] > 0 && ones_[g] < haplotypes_; }
  double RSquared(int i, int j) const {
    int both = 0;
    for (int w = 0; w < words_; ++w) {
      both += __builtin_popcountll(bits_[static_cast<std::size_t>(i) * words_ + w] &
                                   bits_[static_cast<std::size_t>(j) * words_ + w]);
    }
    const double h = haplotypes_;
    const double pi = ones_[i] / h, pj = ones_[j] / h;
    const double d = both / h - pi * pj;
    return d * d / (pi * (1 - pi) * pj * (1 - pj));
  }

 private:
  int haplotypes_, words_;
  std::vector<std::uint64_t> bits_;
  std::vector<int> ones_;
};

// With all 12867 loci, the source pools' linkage disequilibrium after the
// generations is the panels' they were founded from: the mean r^2 of pairs
// in every distance bin up to 100 kb within 0.005 of the panel's, the pairs
// being those polymorphic in both.
TEST(CalibratedStatisticsTest, PoolsKeepThePanelsLinkageDisequilibrium) {
  WorkTeam team(2);
  const ReferenceData data = ReferenceData::Load(fs::path(KORVANE_SOURCE_DIR) / "data", team);
  MarkerSet markers;
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    for (int k = 0; k < RegionCatalogue::SnpCount(r); ++k) markers.selected[r].push_back(k);
  }
  markers.IndexSelection();
  const std::vector<MapEntry> map = BuildMarkerMap(markers, data);
  const ReferencePanel panel = LoadPanels(data, markers);
  SourcePools pools;
  BuildCalibratedPools(
      {CalibratedAttemptKey(577, 1, 1), 0}, markers, panel, 5, pools, [] {}, team);

  for (const SourcePopulation population : {SourcePopulation::kYri, SourcePopulation::kSecond}) {
    const bool yri = population == SourcePopulation::kYri;
    SCOPED_TRACE(yri ? "YRI" : "second population");
    const HaplotypeColumns simulated(yri ? pools.yri.current : pools.second.current);
    const HaplotypeColumns founding(panel.Of(population));
    LdBins simulatedSum{}, panelSum{}, pairs{};
    for (int i = 0; i < markers.total; ++i) {
      for (int j = i + 1; j < markers.total && map[j].regionNumber == map[i].regionNumber; ++j) {
        const double distance = map[j].position - map[i].position;
        if (distance >= kBinEdges.back()) break;
        if (!simulated.Polymorphic(i) || !simulated.Polymorphic(j) || !founding.Polymorphic(i) ||
            !founding.Polymorphic(j)) {
          continue;
        }
        const auto bin = static_cast<std::size_t>(std::upper_bound(kBinEdges.begin(), kBinEdges.end(), distance) -
                                                  kBinEdges.begin() - 1);
        simulatedSum[bin] += simulated.RSquared(i, j);
        panelSum[bin] += founding.RSquared(i, j);
        pairs[bin] += 1;
      }
    }
    for (std::size_t b = 0; b < pairs.size(); ++b) {
      const double sim = simulatedSum[b] / pairs[b], ref = panelSum[b] / pairs[b];
      RecordProperty(
          std::string(yri ? "YRI" : "second") + " bin " + std::to_string(b),
          "simulated " + std::to_string(sim) + " panel " + std::to_string(ref) + " pairs " + std::to_string(pairs[b]));
      EXPECT_NEAR(sim, ref, 0.005) << "pairs " << kBinEdges[b] << " to " << kBinEdges[b + 1] << " bp apart";
    }
  }
}

}  // namespace
}  // namespace korvane
