#pragma once

// The admixed population of the continuous migration model: founders from
// both source populations, then generations of random mating in which the
// first MigrantCount children each receive one haplotype from a YRI
// reference individual, until the mean YRI ancestry reaches its target.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "population/bounds.h"
#include "population/transmission.h"
#include "refdata/haplotype_store.h"

namespace korvane {

struct AdmixedPopulation {
  AdmixedPopulation() = default;
  // With `localAncestry`, every haplotype keeps its ancestry row.
  explicit AdmixedPopulation(bool localAncestry) : trackAncestry(localAncestry) {}

  HaplotypeStore current;
  HaplotypeStore parental;
  std::vector<double> ancestry;  // expected YRI share of each current individual
  std::vector<double> parentalAncestry;
  bool trackAncestry = false;
};

// How a migrant child's YRI haplotype picks its reference individual: one
// for all ten regions (case-control study) or a new one for every region
// (quantitative study).
enum class MigrantPick { kPerIndividual, kPerRegion };

// PopulationSize x share, rounded half up.
int MigrantCount(double yriPerGeneration);

// Why a population without migrants can never reach a positive target, in
// the form's words; nothing when the target can be reached.
std::optional<std::string> UnreachableTargetReason(double yriPerGeneration, double yriFinal);

// The haplotypes of one generation from the parent table `parents` (two
// entries per child): child i < migrantCount gets haplotype 1 from its first
// parent and haplotype 2 from a YRI reference individual, picked once for
// all regions or once per region; every other child gets one haplotype from
// each parent. Within a child, haplotype 1 takes its draws before haplotype 2.
// Where `current` tracks ancestry, a migrant's YRI haplotype is all YRI and
// the others carry their parents' ancestry through the transmission.
void MateAdmixedGeneration(RandomGenerator& gen, Breeders& breeders, const ReferencePanel& panel,
                           const IndexPicker& panelPicker, int migrantCount, MigrantPick pick,
                           const std::vector<int>& parents, const HaplotypeStore& parental, HaplotypeStore& current);

// The expected YRI share of each child of a generation, from its parents'
// in `parental` (two entries of `parents` per child; child i < migrantCount
// has a YRI migrant as its second parent), into `children`; returns their sum.
double ChildAncestries(const std::vector<double>& parental, const std::vector<int>& parents, int migrantCount,
                       std::vector<double>& children);

// The failure of a population whose mean ancestry `ancestry` did not reach
// `target` within kMaxGenerations.
RunFailure TargetNotReached(double target, const std::vector<double>& ancestry);

// Builds one population of PopulationSize individuals. Refresh points: after
// the migrant founders and at the start of every generation. Throws
// RunFailure when the target is not reached within kMaxGenerations.
void BuildAdmixedPopulation(RandomGenerator& gen, const MarkerSet& markers, const ReferencePanel& panel,
                            const IndexPicker& panelPicker, int migrantCount, double target, MigrantPick pick,
                            AdmixedPopulation& population, const std::function<void()>& refresh, WorkTeam& team);

}  // namespace korvane
