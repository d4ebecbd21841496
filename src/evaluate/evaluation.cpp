#include "evaluate/evaluation.h"

#include <fmt/format.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <set>
#include <stdexcept>

#include "evaluate/evaluation_writer.h"
#include "evaluate/report.h"
#include "evaluate/result_file.h"
#include "evaluate/statistics.h"

namespace korvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Number(double value) {
  if (std::isnan(value)) return "NA";
  return fmt::format("{:.6g}", value);
}

double Quantile(std::vector<double> values, double q) {
  std::erase_if(values, [](double v) { return std::isnan(v); });
  if (values.empty()) return kNaN;
  std::sort(values.begin(), values.end());
  const double position = q * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(position));
  const std::size_t above = std::min(below + 1, values.size() - 1);
  const double t = position - static_cast<double>(below);
  return values[below] * (1 - t) + values[above] * t;
}

double MeanOf(const std::vector<double>& values) {
  double sum = 0;
  std::size_t count = 0;
  for (double v : values) {
    if (std::isnan(v)) continue;
    sum += v;
    ++count;
  }
  return count == 0 ? kNaN : sum / static_cast<double>(count);
}

// Writes `text` to `path` whole, reporting any failure with the file's name.
void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error(fmt::format("{}: cannot be written", path.string()));
}

const TraitLocusResult* FindLocus(const ReplicateResult& result, const std::string& role) {
  for (const TraitLocusResult& locus : result.traitLoci) {
    if (locus.role == role) return &locus;
  }
  return nullptr;
}

}  // namespace

Evaluation::Evaluation(EvaluationSettings settings, EvaluationContext context)
    : settings_(settings), context_(std::move(context)) {}

void Evaluation::Evaluate(const ReplicateInput& input) { Add(EvaluateReplicate(input, settings_)); }

void Evaluation::Add(ReplicateResult result) {
  const std::lock_guard lock(mutex_);
  const int replicate = result.replicate;
  results_.insert_or_assign(replicate, std::move(result));
}

AttachedWriterFactory Evaluation::Writers() {
  return [this](int replicate, const std::filesystem::path& /*folder*/, const WriterSettings& writer) {
    return std::make_unique<EvaluationWriter>(replicate, writer.study, writer.ancestry,
                                              [this](ReplicateInput&& input) { Evaluate(input); });
  };
}

void Evaluation::KeepOnly(const std::vector<int>& kept) {
  const std::lock_guard lock(mutex_);
  const std::set<int> keep(kept.begin(), kept.end());
  std::erase_if(results_, [&keep](const auto& entry) { return keep.count(entry.first) == 0; });
}

std::vector<const ReplicateResult*> Evaluation::Results() const {
  const std::lock_guard lock(mutex_);
  std::vector<const ReplicateResult*> results;
  for (const auto& [replicate, result] : results_) results.push_back(&result);
  return results;
}

std::vector<std::string> Evaluation::TraitRoles() const {
  std::set<std::string> roles;
  for (const ReplicateResult* result : Results()) {
    for (const TraitLocusResult& locus : result->traitLoci) roles.insert(locus.role);
  }
  std::vector<std::string> ordered(roles.begin(), roles.end());
  // "causal" sorts before "qtl1".
  return ordered;
}

std::vector<SummaryRow> Evaluation::Summary() const {
  const std::vector<const ReplicateResult*> results = Results();
  std::vector<SummaryRow> rows;
  const bool qualitative = context_.study == StudyKind::kQualitative;

  // Power of each trait locus, plain, after the principal components and
  // after genomic control, with the expected power beside it.
  for (const std::string& role : TraitRoles()) {
    for (std::size_t a = 0; a < kAlphas.size(); ++a) {
      const double alpha = kAlphas[a];
      struct Series {
        const char* name;
        double TraitLocusResult::*p;
      };
      for (const Series series :
           {Series{"power", &TraitLocusResult::p}, Series{"power_pc", &TraitLocusResult::pPc},
            Series{"power_gc", &TraitLocusResult::pGc}, Series{"power_trend", &TraitLocusResult::pTrend}}) {
        std::int64_t found = 0, trials = 0;
        std::vector<double> model, nominal;
        for (const ReplicateResult* result : results) {
          const TraitLocusResult* locus = FindLocus(*result, role);
          if (locus == nullptr || std::isnan(locus->*series.p)) continue;
          ++trials;
          found += locus->*series.p < alpha;
          model.push_back(NonCentralChiSquare1Power(locus->ncpModel, alpha));
          nominal.push_back(NonCentralChiSquare1Power(locus->ncpNominal, alpha));
        }
        if (trials == 0) continue;
        const Interval interval = WilsonInterval(found, trials);
        const bool plain = std::string_view(series.name) == "power";
        rows.push_back({series.name, role, kAlphaNames[a], static_cast<double>(found) / static_cast<double>(trials),
                        interval.low, interval.high, plain ? MeanOf(model) : kNaN, plain ? MeanOf(nominal) : kNaN,
                        found, trials});
      }
    }
  }

  // Type-I error over the unlinked loci of every replicate, pooled.
  struct Type1 {
    const char* name;
    std::array<int, kAlphas.size()> ReplicateResult::*counts;
  };
  for (const Type1 series :
       {Type1{"type1_error", &ReplicateResult::type1}, Type1{"type1_error_pc", &ReplicateResult::type1Pc},
        Type1{"type1_error_gc", &ReplicateResult::type1Gc}}) {
    if (series.counts == &ReplicateResult::type1Pc && settings_.principalComponents == 0) continue;
    for (std::size_t a = 0; a < kAlphas.size(); ++a) {
      std::int64_t below = 0, trials = 0;
      for (const ReplicateResult* result : results) {
        below += (result->*series.counts)[a];
        trials += result->unlinkedLoci;
      }
      if (trials == 0) continue;
      const Interval interval = WilsonInterval(below, trials);
      rows.push_back({series.name, "", kAlphaNames[a], static_cast<double>(below) / static_cast<double>(trials),
                      interval.low, interval.high, kAlphas[a], kAlphas[a], below, trials});
    }
  }
  {
    // The loci of the trait loci's regions, apart: linkage makes them
    // associated.
    for (std::size_t a = 0; a < kAlphas.size(); ++a) {
      std::int64_t below = 0, trials = 0;
      for (const ReplicateResult* result : results) {
        below += result->linkedBelow[a];
        trials += result->linkedLoci;
      }
      if (trials == 0) continue;
      const Interval interval = WilsonInterval(below, trials);
      rows.push_back({"linked_loci_below", "", kAlphaNames[a], static_cast<double>(below) / static_cast<double>(trials),
                      interval.low, interval.high, kNaN, kAlphas[a], below, trials});
    }
  }

  // Genomic control: the median over replicates, with the 5th and 95th
  // percentiles as its spread.
  struct Lambda {
    const char* name;
    double ReplicateResult::*value;
  };
  for (const Lambda series :
       {Lambda{"lambda_gc", &ReplicateResult::lambda}, Lambda{"lambda_gc_pc", &ReplicateResult::lambdaPc},
        Lambda{"lambda_gc_ancestry", &ReplicateResult::lambdaAncestry}}) {
    std::vector<double> values;
    values.reserve(results.size());
    for (const ReplicateResult* result : results) values.push_back(result->*series.value);
    const double median = Quantile(values, 0.5);
    if (std::isnan(median)) continue;
    rows.push_back({series.name, "", "", median, Quantile(values, 0.05), Quantile(values, 0.95), 1.0, 1.0, 0, 0});
  }

  // The trait loci's effects and shares.
  for (const std::string& role : TraitRoles()) {
    std::vector<double> estimates, applied, asked, realized, expected, askedShares;
    for (const ReplicateResult* result : results) {
      const TraitLocusResult* locus = FindLocus(*result, role);
      if (locus == nullptr) continue;
      estimates.push_back(locus->estimate);
      applied.push_back(locus->appliedEffect);
      asked.push_back(locus->trueEffect);
      if (locus->realizedShare) realized.push_back(*locus->realizedShare);
      expected.push_back(locus->expectedShare);
      askedShares.push_back(locus->askedShare);
    }
    rows.push_back({qualitative ? "odds_ratio" : "beta", role, "", Quantile(estimates, 0.5), Quantile(estimates, 0.05),
                    Quantile(estimates, 0.95), MeanOf(applied), MeanOf(asked), 0, 0});
    if (!qualitative && !realized.empty()) {
      rows.push_back({"variance_share", role, "", MeanOf(realized), Quantile(realized, 0.05), Quantile(realized, 0.95),
                      MeanOf(expected), MeanOf(askedShares), 0, 0});
    }
  }

  // The sample.
  std::vector<double> cases, controls, sample, means, variances, expectedVariances;
  for (const ReplicateResult* result : results) {
    cases.push_back(result->ancestryCases);
    controls.push_back(result->ancestryControls);
    sample.push_back(result->ancestrySample);
    means.push_back(result->phenotypeMean);
    variances.push_back(result->phenotypeVariance);
    expectedVariances.push_back(result->expectedPhenotypeVariance);
  }
  if (qualitative) {
    rows.push_back(
        {"ancestry_cases", "", "", MeanOf(cases), Quantile(cases, 0.05), Quantile(cases, 0.95), kNaN, kNaN, 0, 0});
    rows.push_back({"ancestry_controls", "", "", MeanOf(controls), Quantile(controls, 0.05), Quantile(controls, 0.95),
                    kNaN, kNaN, 0, 0});
  } else {
    rows.push_back(
        {"ancestry_sample", "", "", MeanOf(sample), Quantile(sample, 0.05), Quantile(sample, 0.95), kNaN, kNaN, 0, 0});
    rows.push_back(
        {"phenotype_mean", "", "", MeanOf(means), Quantile(means, 0.05), Quantile(means, 0.95), kNaN, kNaN, 0, 0});
    rows.push_back({"phenotype_variance", "", "", MeanOf(variances), Quantile(variances, 0.05),
                    Quantile(variances, 0.95), MeanOf(expectedVariances),
                    settings_.model.phenotypeVariance > 0 ? settings_.model.phenotypeVariance : kNaN, 0, 0});
  }
  std::map<std::string, std::vector<double>> hardyWeinberg;
  for (const ReplicateResult* result : results) {
    for (const auto& [source, share] : result->hardyWeinbergBelow005) hardyWeinberg[source].push_back(share);
  }
  for (const auto& [source, shares] : hardyWeinberg) {
    rows.push_back({"hwe_below_0.05", source, "0.05", MeanOf(shares), Quantile(shares, 0.05), Quantile(shares, 0.95),
                    kNaN, 0.05, 0, 0});
  }
  return rows;
}

}  // namespace korvane

namespace korvane {

std::string_view SimulationModelName(bool calibrated) { return calibrated ? "calibrated model" : "specified model"; }

std::vector<std::string> Evaluation::Warnings() const {
  std::vector<std::string> warnings;
  const std::vector<const ReplicateResult*> results = Results();
  if (results.empty() || context_.calibrated) return warnings;
  warnings = SpecifiedModelWarnings(results);
  if (warnings.empty()) return warnings;
  // What the user can do about them: the other model, by its option.
  const bool qualitative = context_.study == StudyKind::kQualitative;
  warnings.push_back(fmt::format(
      "Model: these replicates are of the specified model. --calibrated simulates the calibrated model instead: "
      "draws at full resolution, {} drawn from one population per replicate, an exact normal residual, the relative "
      "risk and variance shares as asked (korvane {} --params RUN_DIR/korvane-runs.toml --calibrated repeats this "
      "run with it; on the desktop form, tick Calibrated model).",
      qualitative ? "cases and controls" : "the whole sample", qualitative ? "qual" : "quan"));
  return warnings;
}

std::vector<std::string> Evaluation::SpecifiedModelWarnings(const std::vector<const ReplicateResult*>& results) const {
  std::vector<std::string> warnings;
  const bool qualitative = context_.study == StudyKind::kQualitative;
  std::vector<double> lambdas, drawsCases, drawsControls, draws;
  for (const ReplicateResult* result : results) {
    lambdas.push_back(result->lambda);
    drawsCases.push_back(result->drawsOfCases);
    drawsControls.push_back(result->drawsOfControls);
    draws.push_back(result->draws);
  }
  const double lambda = Quantile(lambdas, 0.5);

  // Sampling cycles: a new population for every cycle until the sample is full.
  if (qualitative && MeanOf(drawsCases) > 1.05 * MeanOf(drawsControls)) {
    warnings.push_back(fmt::format(
        "Sampling cycles: the cases came from {:.1f} populations of the replicate attempt on average and the controls "
        "from {:.1f}. The specified sampling builds a new population in every cycle until the sample is full, so cases "
        "and controls differ in more than their status and the tests are inflated at unlinked loci (median lambda "
        "{:.3f} "
        "here; it grows with the sample size). A smaller sample or a larger prevalence takes fewer cycles.",
        MeanOf(drawsCases), MeanOf(drawsControls), lambda));
  } else if (!qualitative && MeanOf(draws) > 1.05) {
    warnings.push_back(fmt::format(
        "Sampling cycles: the sample came from {:.1f} populations of the replicate attempt on average (median lambda "
        "{:.3f} here).",
        MeanOf(draws), lambda));
  }

  // The penetrances' grid of thousandths.
  if (qualitative) {
    std::vector<double> applied, asked;
    for (const ReplicateResult* result : results) {
      if (const TraitLocusResult* locus = FindLocus(*result, "causal")) {
        applied.push_back(locus->appliedEffect);
        asked.push_back(locus->trueEffect);
      }
    }
    const double effective = MeanOf(applied), nominal = MeanOf(asked);
    if (!std::isnan(effective) && std::abs(effective - nominal) > 0.01 * nominal) {
      warnings.push_back(fmt::format(
          "Penetrance grid: a case is a draw in thousandths below the penetrance, so the penetrances act as multiples "
          "of "
          "0.001. At prevalence {} the heterozygotes' relative risk is {:.3f} on average instead of the {} asked. A "
          "larger prevalence keeps the penetrances clear of the grid; Truth.tsv lists f0 to f2 as derived and as "
          "applied.",
          context_.prevalence, effective, nominal));
    }
  }

  // The specified residual: the share of the variance used as a standard deviation.
  if (!qualitative && settings_.model.phenotypeVariance > 0) {
    const double vp = settings_.model.phenotypeVariance, r = settings_.model.residualShare;
    std::vector<double> expected, realized, asked;
    for (const ReplicateResult* result : results) {
      for (const TraitLocusResult& locus : result->traitLoci) {
        expected.push_back(locus.expectedShare);
        asked.push_back(locus.askedShare);
        if (locus.realizedShare) realized.push_back(*locus.realizedShare);
      }
    }
    warnings.push_back(fmt::format(
        "Residual: the specified model draws the residual with standard deviation r x Vp = {:.4g} (bounded to "
        "+-{:.4g}, "
        "variance {:.4g}) instead of variance r x Vp = {:.4g}, so the QTLs explain less than asked: {:.4f} asked on "
        "average, {:.4f} expected by the model's arithmetic, {:.4f} realized. Truth.tsv gives each QTL's realized "
        "share; "
        "the two agree only where r x Vp is about 1, so a phenotype variance near 1 / r brings the shares close to "
        "those asked.",
        r * vp, vp, SpecifiedResidualVariance(r * vp, vp), r * vp, MeanOf(asked), MeanOf(expected), MeanOf(realized)));
  }

  // Candidates: only the first of them can be chosen.
  const int candidates = context_.totalLoci - context_.nullLoci;
  const int choosable = qualitative ? 100 : 33;
  if (candidates > choosable) {
    warnings.push_back(fmt::format(
        "Trait loci: the specified model chooses {} among the first {} of the {} candidate loci (the loci that are not "
        "null loci) only, so they lie in the first regions of the catalogue. Fewer loci spread them further.",
        qualitative ? "the causal locus" : "the QTLs", choosable, candidates));
  }

  // The continuous model's sample in index order.
  if (!context_.discreteModel && context_.sampleSize < 1000) {
    warnings.push_back(fmt::format(
        "Sample order: the continuous model takes the sample's individuals in index order from each admixed population "
        "it builds, so a sample of {} (below 1000) is not a random sample of the population.",
        context_.sampleSize));
  }

  // Recombination below the draws' resolution: a fraction below 0.001 acts
  // as 0.001.
  std::int64_t below = 0, pairs = 0;
  double byMap = 0, drawn = 0;
  for (const ReplicateResult* result : results) {
    below += result->pairsBelowRecombinationFloor;
    pairs += result->neighbourPairs;
    byMap += result->crossoversByMap;
    drawn += result->crossoversDrawn;
  }
  if (pairs > 0 && below > pairs / 20 && drawn > 1.1 * byMap) {
    const auto replicates = static_cast<double>(results.size());
    warnings.push_back(fmt::format(
        "Recombination: {:.1f} % of neighbouring loci have a recombination fraction below 0.001, the resolution of the "
        "draws, where they recombine with probability 0.001: a transmission makes {:.3g} crossovers on average between "
        "the chosen loci instead of the map's {:.3g}, so linkage disequilibrium decays faster than the map says. Fewer "
        "loci keep them further apart.",
        100.0 * static_cast<double>(below) / static_cast<double>(pairs), drawn / replicates, byMap / replicates));
  }
  return warnings;
}

void Evaluation::Write(const std::filesystem::path& folder) const {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) throw std::runtime_error(fmt::format("{}: cannot be created ({})", folder.string(), ec.message()));
  const std::vector<const ReplicateResult*> results = Results();
  const bool qualitative = context_.study == StudyKind::kQualitative;
  const std::vector<std::string> roles = TraitRoles();

  // replicates.tsv
  std::string text =
      qualitative ? "replicate\tn_cases\tn_controls\tdraws_cases\tdraws_controls" : "replicate\tn\tdraws";
  text += "\tlambda_gc\tlambda_gc_pc\tlambda_gc_ancestry\tunlinked_loci";
  for (const char* series : {"type1", "type1_pc", "type1_gc"}) {
    for (const char* alpha : kAlphaNames) text += fmt::format("\t{}_{}", series, alpha);
  }
  text += "\tlinked_loci";
  for (const char* alpha : kAlphaNames) text += fmt::format("\tlinked_{}", alpha);
  text += qualitative ? "\tancestry_cases\tancestry_controls" : "\tancestry_sample\tphenotype_mean\tphenotype_variance";
  for (const std::string& role : roles) {
    for (const char* column : {"id", "chisq", "p", "rank", "p_pc", "p_ancestry", "p_gc"}) {
      text += fmt::format("\t{}_{}", role, column);
    }
    if (qualitative) {
      text += fmt::format("\t{0}_p_trend\t{0}_or\t{0}_rr_asked\t{0}_rr_applied\t{0}_ncp_model\t{0}_ncp_nominal", role);
    } else {
      text += fmt::format(
          "\t{0}_beta\t{0}_effect_a\t{0}_share_asked\t{0}_share_expected\t{0}_share_realized\t{0}_ncp_model\t{0}_ncp_"
          "nominal",
          role);
    }
  }
  text += "\n";
  for (const ReplicateResult* r : results) {
    text += qualitative ? fmt::format("{}\t{}\t{}\t{}\t{}", r->replicate, r->cases, r->controls, r->drawsOfCases,
                                      r->drawsOfControls)
                        : fmt::format("{}\t{}\t{}", r->replicate, r->n, r->draws);
    text += fmt::format("\t{}\t{}\t{}\t{}", Number(r->lambda), Number(r->lambdaPc), Number(r->lambdaAncestry),
                        r->unlinkedLoci);
    for (const auto* counts : {&r->type1, &r->type1Pc, &r->type1Gc}) {
      for (int count : *counts) {
        text += "\t" + (r->unlinkedLoci > 0 ? Number(static_cast<double>(count) / r->unlinkedLoci) : std::string("NA"));
      }
    }
    text += fmt::format("\t{}", r->linkedLoci);
    for (int count : r->linkedBelow) {
      text += "\t" + (r->linkedLoci > 0 ? Number(static_cast<double>(count) / r->linkedLoci) : std::string("NA"));
    }
    if (qualitative) {
      text += fmt::format("\t{}\t{}", Number(r->ancestryCases), Number(r->ancestryControls));
    } else {
      text += fmt::format("\t{}\t{}\t{}", Number(r->ancestrySample), Number(r->phenotypeMean),
                          Number(r->phenotypeVariance));
    }
    for (const std::string& role : roles) {
      const TraitLocusResult* l = FindLocus(*r, role);
      if (l == nullptr) {
        // A replicate without this trait locus: every column NA.
        for (int k = 0; k < (qualitative ? 13 : 14); ++k) text += "\tNA";
        continue;
      }
      text += fmt::format("\t{}\t{}\t{}\t{}\t{}\t{}\t{}", l->id, Number(l->chiSquare), Number(l->p), l->rank,
                          Number(l->pPc), Number(l->pAncestry), Number(l->pGc));
      if (qualitative) {
        text += fmt::format("\t{}\t{}\t{}\t{}\t{}\t{}", Number(l->pTrend), Number(l->estimate), Number(l->trueEffect),
                            Number(l->appliedEffect), Number(l->ncpModel), Number(l->ncpNominal));
      } else {
        text += fmt::format("\t{}\t{}\t{}\t{}\t{}\t{}\t{}", Number(l->estimate), Number(l->trueEffect),
                            Number(l->askedShare), Number(l->expectedShare),
                            l->realizedShare ? Number(*l->realizedShare) : std::string("NA"), Number(l->ncpModel),
                            Number(l->ncpNominal));
      }
    }
    text += "\n";
  }
  WriteText(folder / "replicates.tsv", text);

  // summary.tsv
  // Every row names the model that simulated the replicates, so that the
  // summaries of several runs can be stacked and told apart.
  text =
      "statistic\tlocus\talpha\tobserved\tlow\thigh\texpected_model\texpected_nominal\tcount\ttrials\t"
      "simulation\n";
  const std::string_view simulation = SimulationModelName(context_.calibrated);
  for (const SummaryRow& row : Summary()) {
    text +=
        fmt::format("{}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\n", row.statistic, row.locus.empty() ? "NA" : row.locus,
                    row.alpha.empty() ? "NA" : row.alpha, Number(row.observed), Number(row.low), Number(row.high),
                    Number(row.expectedModel), Number(row.expectedNominal), row.count, row.trials, simulation);
  }
  WriteText(folder / "summary.tsv", text);

  WriteReport(folder / "report.html", Report());

  // results.bin: the results themselves, from which the evaluations of
  // several shards of one run combine.
  WriteResultFile(folder / kResultFileName, settings_, results);

  // loci.tsv.gz
  if (settings_.keepLoci) {
    const std::filesystem::path path = folder / "loci.tsv.gz";
    gzFile file = gzopen(path.c_str(), "wb6");
    if (file == nullptr) throw std::runtime_error(fmt::format("{}: cannot be created", path.string()));
    bool ok = gzputs(file, "replicate\tid\tkind\tchisq\tp\tp_pc\tp_ancestry\tp_trend\n") >= 0;
    for (const ReplicateResult* r : results) {
      std::string lines;
      for (std::size_t l = 0; l < r->loci.size(); ++l) {
        const LocusResult& locus = r->loci[l];
        const char* kind = locus.kind == 't' ? "trait" : locus.kind == 'l' ? "linked" : "unlinked";
        lines +=
            fmt::format("{}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\n", r->replicate, r->locusIds[l], kind, Number(locus.chiSquare),
                        Number(locus.p), Number(locus.pPc), Number(locus.pAncestry), Number(locus.pTrend));
      }
      ok = ok && (lines.empty() || gzwrite(file, lines.data(), static_cast<unsigned>(lines.size())) > 0);
    }
    ok = gzclose(file) == Z_OK && ok;
    if (!ok) throw std::runtime_error(fmt::format("{}: cannot be written", path.string()));
  }
}

ReportData Evaluation::Report() const {
  ReportData report;
  const std::vector<const ReplicateResult*> results = Results();
  report.title = fmt::format("{}: {} replicates evaluated", context_.title, results.size());
  report.settings = context_.settings;
  report.settings.emplace(report.settings.begin(), "simulation", std::string(SimulationModelName(context_.calibrated)));
  report.settings.emplace_back("principal components of the adjusted tests",
                               std::to_string(settings_.principalComponents));
  report.warnings = Warnings();
  for (const SummaryRow& row : Summary()) {
    report.summary.push_back({row.locus.empty() ? row.statistic : row.statistic + " " + row.locus, row.alpha,
                              row.observed, row.low, row.high, row.expectedModel, row.expectedNominal});
    if (row.statistic == "power") {
      for (std::size_t a = 0; a < kAlphas.size(); ++a) {
        if (row.alpha != kAlphaNames[a]) continue;
        report.power.push_back(
            {row.locus, kAlphas[a], row.observed, row.low, row.high, row.expectedModel, row.expectedNominal});
      }
    }
  }
  const bool qualitative = context_.study == StudyKind::kQualitative;
  for (const ReplicateResult* result : results) {
    report.nullP.insert(report.nullP.end(), result->unlinkedP.begin(), result->unlinkedP.end());
    report.nullPAdjusted.insert(report.nullPAdjusted.end(), result->unlinkedPPc.begin(), result->unlinkedPPc.end());
    if (!std::isnan(result->lambda)) report.lambda.push_back(result->lambda);
    if (!std::isnan(result->lambdaPc)) report.lambdaAdjusted.push_back(result->lambdaPc);
    if (qualitative) {
      report.ancestryCases.insert(report.ancestryCases.end(), result->ancestryOfCases.begin(),
                                  result->ancestryOfCases.end());
      report.ancestryControls.insert(report.ancestryControls.end(), result->ancestryOfControls.begin(),
                                     result->ancestryOfControls.end());
    } else {
      report.ancestrySample.insert(report.ancestrySample.end(), result->ancestryOfSample.begin(),
                                   result->ancestryOfSample.end());
      report.phenotype.insert(report.phenotype.end(), result->phenotypes.begin(), result->phenotypes.end());
    }
  }
  return report;
}

std::string Evaluation::SummaryText() const {
  std::string text = fmt::format("replicates of the {}\n", SimulationModelName(context_.calibrated));
  text += fmt::format("{:<22} {:<8} {:<6} {:>10} {:>21} {:>10} {:>10}\n", "statistic", "locus", "alpha", "observed",
                      "interval", "expected", "nominal");
  for (const SummaryRow& row : Summary()) {
    const std::string interval =
        std::isnan(row.low) ? std::string("") : fmt::format("{} to {}", Number(row.low), Number(row.high));
    text += fmt::format("{:<22} {:<8} {:<6} {:>10} {:>21} {:>10} {:>10}\n", row.statistic, row.locus, row.alpha,
                        Number(row.observed), interval, Number(row.expectedModel), Number(row.expectedNominal));
  }
  return text;
}

}  // namespace korvane
