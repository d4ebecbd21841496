#include "qual/admixture.h"

#include <fmt/format.h>

#include <utility>

#include "qual/attempt.h"
#include "qual/qual_parameters.h"

namespace korvane {

int MigrantCount(double yriPerGeneration) {
  const double product = QualParameters::kPopulationSize * yriPerGeneration;
  const int t = static_cast<int>(product);
  return t + 0.5 <= product ? t + 1 : t;
}

void MateAdmixedGeneration(RandomGenerator& gen, HaplotypeTransmitter& transmitter, const ReferencePanel& panel,
                           const IndexPicker& panelPicker, int migrantCount, MigrantPick pick,
                           const std::vector<int>& parents, const HaplotypeStore& parental, HaplotypeStore& current) {
  for (int i = 0; i < current.IndividualCount(); ++i) {
    transmitter.Transmit(gen, parental, parents[2 * i], current, i, 0);
    if (i >= migrantCount) {
      transmitter.Transmit(gen, parental, parents[2 * i + 1], current, i, 1);
    } else if (pick == MigrantPick::kPerIndividual) {
      transmitter.Transmit(gen, panel.yri, panelPicker.Pick(gen), current, i, 1);
    } else {
      std::uint64_t* out = current.Row(i, 1);
      for (int r = 0; r < MarkerSet::kRegions; ++r) {
        const int j = panelPicker.Pick(gen);
        transmitter.TransmitRegions(gen, r, r + 1, panel.yri.Row(j, 0), panel.yri.Row(j, 1), out);
      }
    }
  }
}

std::optional<std::string> UnreachableTargetReason(double yriPerGeneration, double yriFinal) {
  if (MigrantCount(yriPerGeneration) != 0 || !(yriFinal > 0)) return std::nullopt;
  return fmt::format(
      "Admixture proportion of YRI per generation: {} gives no migrant in a population of {}, so "
      "Admixture proportion of YRI in final population: {} can never be reached",
      yriPerGeneration, QualParameters::kPopulationSize, yriFinal);
}

void BuildAdmixedPopulation(RandomGenerator& gen, const MarkerSet& markers, const ReferencePanel& panel,
                            const IndexPicker& panelPicker, int migrantCount, double target, MigrantPick pick,
                            AdmixedPopulation& population, const std::function<void()>& refresh) {
  constexpr int n = QualParameters::kPopulationSize;
  if (population.current.IndividualCount() != n || population.current.LociCount() != markers.total) {
    population.current = HaplotypeStore(n, markers.total);
    population.parental = HaplotypeStore(n, markers.total);
  }
  population.ancestry.assign(n, 0.0);
  population.parentalAncestry.assign(n, 0.0);
  HaplotypeStore& current = population.current;
  HaplotypeTransmitter transmitter(markers);

  // Migrant founders: a YRI haplotype and a second-population haplotype.
  for (int i = 0; i < migrantCount; ++i) {
    transmitter.Transmit(gen, panel.yri, panelPicker.Pick(gen), current, i, 0);
    transmitter.Transmit(gen, panel.second, panelPicker.Pick(gen), current, i, 1);
    population.ancestry[i] = 0.5;
  }
  refresh();
  for (int i = migrantCount; i < n; ++i) {
    for (int slot = 0; slot < 2; ++slot) {
      transmitter.Transmit(gen, panel.second, panelPicker.Pick(gen), current, i, slot);
    }
  }
  population.parental.CopyFrom(current);
  population.parentalAncestry = population.ancestry;

  const IndexPicker parentPicker(n);
  std::vector<int> parents(2 * n);
  std::vector<double> childAncestry(n);
  for (int generation = 1;; ++generation) {
    if (generation > kMaxGenerations) {
      double mean = 0;
      for (double a : population.ancestry) mean += a;
      throw RunFailure(fmt::format("the admixed population did not reach the target YRI proportion {} in {} "
                                   "generations (mean ancestry reached: {:.6f})",
                                   target, kMaxGenerations, mean / n));
    }
    refresh();
    for (int& parent : parents) parent = parentPicker.Pick(gen);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
      const double fromFirst = population.parentalAncestry[parents[2 * i]];
      childAncestry[i] = i < migrantCount ? (fromFirst + 1) / 2
                                          : (fromFirst + population.parentalAncestry[parents[2 * i + 1]]) / 2;
      sum += childAncestry[i];
    }
    const bool last = !(sum / n < target);
    population.ancestry = childAncestry;
    population.parentalAncestry = childAncestry;

    MateAdmixedGeneration(gen, transmitter, panel, panelPicker, migrantCount, pick, parents, population.parental,
                          current);
    if (last) break;
    std::swap(population.current, population.parental);
  }
}

}  // namespace korvane
