#pragma once

// The causal locus of a case-control replicate: the candidate test on the
// simulated allele frequencies, the choice among candidates, the
// penetrances and the affection status of an individual.

#include <optional>
#include <vector>

#include "output/format_writer.h"
#include "population/allele_frequencies.h"
#include "random/random_generator.h"
#include "refdata/haplotype_store.h"

namespace korvane {

// 1 = unaffected (control), 2 = affected (case).
using DiseaseStatus = int;
inline constexpr DiseaseStatus kControl = 1;
inline constexpr DiseaseStatus kCase = 2;

struct CausalCandidate {
  int riskClass = 1;        // allele class of the susceptible allele
  float riskFrequency = 0;  // the frequency that qualified the locus
  int locus = 0;            // global index among the chosen loci
};

struct FrequencyRange {
  double min = 0;
  double max = 0;
  bool Contains(double x) const { return min <= x && x <= max; }
};

struct DiseaseModel {
  bool chosen = false;
  int locus = 0;  // global index
  int riskClass = 1;
  float riskFrequency = 0;
  double f0 = 0, f1 = 0, f2 = 0;
  // The number of U(0,1) draws (in thousandths) below each penetrance, taken
  // in single precision: a draw makes a case exactly when it is below.
  int t0 = 0, t1 = 0, t2 = 0;
};

// The number of class-1 alleles of an individual at a locus.
inline int CountClassOne(AlleleClass a, AlleleClass b) { return (a == 1) + (b == 1); }

// The frequency step of the candidate test on a frequency m: class 1 when
// m lies in the range, else class 2 when 1 - m does.
std::optional<CausalCandidate> CandidateByFrequency(double m, const FrequencyRange& susceptibility, int locus);

// The discrete model's test on the two pools' class-1 frequencies: the
// difference |pY - pS| must lie in its range, then the frequency step on
// their mean, all in double precision.
std::optional<CausalCandidate> IsCausalCandidate(float freqYri, float freqSecond, const FrequencyRange& susceptibility,
                                                 const FrequencyRange& difference, int locus);

// Draws u = U(0,1) and returns trunc(u x 100) mod n: only the first 100
// candidates can be chosen.
const CausalCandidate& ChooseCausalLocus(RandomGenerator& gen, const std::vector<CausalCandidate>& candidates);

// Penetrances of 0, 1 and 2 susceptible alleles for prevalence K, genotype
// relative risk gamma and susceptible-allele frequency p.
DiseaseModel DerivePenetrances(const CausalCandidate& candidate, double prevalence, float relativeRisk);

// The status of an individual with alleles a and b at the causal locus, for a
// fresh draw of `thousandths` = 1000 u.
inline DiseaseStatus DiseaseStatusOf(const DiseaseModel& model, AlleleClass a, AlleleClass b, int thousandths) {
  const int susceptible = (a == model.riskClass) + (b == model.riskClass);
  const int threshold = susceptible == 2 ? model.t2 : susceptible == 0 ? model.t0 : model.t1;
  return thousandths < threshold ? kCase : kControl;
}

// Whether any individual can become a case, or a control, under the model.
inline bool CasesPossible(const DiseaseModel& m) { return m.t0 > 0 || m.t1 > 0 || m.t2 > 0; }
inline bool ControlsPossible(const DiseaseModel& m) { return m.t0 < 1000 || m.t1 < 1000 || m.t2 < 1000; }

// The check made right after the penetrances are derived: a draw u is one of
// 0.000 ... 0.999, so no case can arise when every penetrance is at most 0
// and no control when every penetrance exceeds 0.999. Throws RunFailure
// (with the penetrances) when a group that is still short can never fill.
// The truth of the causal locus of a chosen model, for the truth files.
TraitLocusTruth CausalLocusTruth(const DiseaseModel& model, double prevalence, float relativeRisk);

void CheckSampleCanFill(const DiseaseModel& model, bool casesShort, bool controlsShort);

}  // namespace korvane
