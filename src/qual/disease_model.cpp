#include "qual/disease_model.h"

#include <fmt/format.h>

#include <cmath>

#include "population/bounds.h"

#include "refdata/marker_set.h"

namespace korvane {

std::optional<CausalCandidate> CandidateByFrequency(double m, const FrequencyRange& susceptibility, int locus) {
  if (susceptibility.Contains(m)) return CausalCandidate{1, static_cast<float>(m), locus};
  if (susceptibility.Contains(1.0 - m)) return CausalCandidate{2, static_cast<float>(1.0 - m), locus};
  return std::nullopt;
}

std::optional<CausalCandidate> IsCausalCandidate(float freqYri, float freqSecond, const FrequencyRange& susceptibility,
                                                 const FrequencyRange& difference, int locus) {
  const double d = std::fabs(static_cast<double>(freqYri) - static_cast<double>(freqSecond));
  if (!difference.Contains(d)) return std::nullopt;
  const double m = (static_cast<double>(freqYri) + static_cast<double>(freqSecond)) / 2;
  return CandidateByFrequency(m, susceptibility, locus);
}

const CausalCandidate& ChooseCausalLocus(RandomGenerator& gen, const std::vector<CausalCandidate>& candidates) {
  const double u = DrawUnit(gen);
  const int index = static_cast<int>(u * 100.0) % static_cast<int>(candidates.size());
  return candidates[index];
}

DiseaseModel DerivePenetrances(const CausalCandidate& candidate, double prevalence, float relativeRisk) {
  DiseaseModel model;
  model.chosen = true;
  model.locus = candidate.locus;
  model.riskClass = candidate.riskClass;
  model.riskFrequency = candidate.riskFrequency;
  const double p = candidate.riskFrequency;
  const double gamma = relativeRisk;
  model.f0 = prevalence / ((1 - 2 * p) + 2 * p * gamma);
  model.f1 = gamma * model.f0;
  model.f2 = 2 * gamma * model.f0 - model.f0;
  // The status compares the draw with the penetrance in single precision.
  model.t0 = ThousandthsBelow(static_cast<float>(model.f0));
  model.t1 = ThousandthsBelow(static_cast<float>(model.f1));
  model.t2 = ThousandthsBelow(static_cast<float>(model.f2));
  return model;
}

void CheckSampleCanFill(const DiseaseModel& model, bool casesShort, bool controlsShort) {
  const char* missing = casesShort && !CasesPossible(model)         ? "case"
                        : controlsShort && !ControlsPossible(model) ? "control"
                                                                    : nullptr;
  if (missing) {
    throw RunFailure(fmt::format("no {} can ever arise: the penetrances are f0 = {:.6g}, f1 = {:.6g}, f2 = {:.6g}",
                                 missing, model.f0, model.f1, model.f2));
  }
}

TraitLocusTruth CausalLocusTruth(const DiseaseModel& model, double prevalence, float relativeRisk) {
  TraitLocusTruth truth;
  truth.position = model.chosen ? model.locus + 1 : 0;
  truth.riskClass = model.riskClass;
  truth.riskFrequency = model.riskFrequency;
  truth.prevalence = prevalence;
  truth.relativeRisk = relativeRisk;
  truth.f0 = model.f0;
  truth.f1 = model.f1;
  truth.f2 = model.f2;
  truth.t0 = model.t0;
  truth.t1 = model.t1;
  truth.t2 = model.t2;
  return truth;
}

}  // namespace korvane
