#include "population/admixture.h"

#include <fmt/format.h>

#include <utility>

#include "population/bounds.h"
#include "population/generation_parts.h"
#include "population/population_size.h"

namespace korvane {

int MigrantCount(double yriPerGeneration) {
  const double product = kPopulationSize * yriPerGeneration;
  const int t = static_cast<int>(product);
  return t + 0.5 <= product ? t + 1 : t;
}

void MateAdmixedGeneration(RandomGenerator& gen, Breeders& breeders, const ReferencePanel& panel,
                           const IndexPicker& panelPicker, int migrantCount, MigrantPick pick,
                           const std::vector<int>& parents, const HaplotypeStore& parental, HaplotypeStore& current) {
  // A child takes two transmissions; a migrant also one pick, or one per region.
  const auto perChild = 2 * static_cast<std::uint64_t>(breeders.DrawsPerHaplotype());
  const std::uint64_t perMigrant = perChild + (pick == MigrantPick::kPerIndividual ? 1 : MarkerSet::kRegions);
  const auto migrants = static_cast<std::uint64_t>(migrantCount);
  auto drawsBefore = [&](int child) {
    const auto i = static_cast<std::uint64_t>(child);
    return i <= migrants ? i * perMigrant : migrants * perMigrant + (i - migrants) * perChild;
  };
  const int n = current.IndividualCount();
  BuildInParts(breeders.team, breeders.Parts(migrantCount == 0 || panelPicker.OneDrawPerPick(), n), gen, n, drawsBefore,
               [&](int part, RandomGenerator& own, int begin, int end) {
                 HaplotypeTransmitter& transmitter = breeders.transmitters[part];
                 for (int i = begin; i < end; ++i) {
                   transmitter.Transmit(own, parental, parents[2 * i], current, i, 0);
                   if (i >= migrantCount) {
                     transmitter.Transmit(own, parental, parents[2 * i + 1], current, i, 1);
                   } else if (pick == MigrantPick::kPerIndividual) {
                     transmitter.Transmit(own, panel.yri, panelPicker.Pick(own), current, i, 1);
                   } else {
                     std::uint64_t* out = current.Row(i, 1);
                     for (int r = 0; r < MarkerSet::kRegions; ++r) {
                       const int j = panelPicker.Pick(own);
                       transmitter.TransmitRegions(own, r, r + 1, panel.yri.Row(j, 0), panel.yri.Row(j, 1), out);
                     }
                     if (current.TracksAncestry()) current.SetAncestry(i, 1, SourcePopulation::kYri);
                   }
                 }
               });
}

double ChildAncestries(const std::vector<double>& parental, const std::vector<int>& parents, int migrantCount,
                       std::vector<double>& children) {
  double sum = 0;
  for (std::size_t i = 0; i < children.size(); ++i) {
    const double fromFirst = parental[static_cast<std::size_t>(parents[2 * i])];
    children[i] = static_cast<int>(i) < migrantCount
                      ? (fromFirst + 1) / 2
                      : (fromFirst + parental[static_cast<std::size_t>(parents[2 * i + 1])]) / 2;
    sum += children[i];
  }
  return sum;
}

RunFailure TargetNotReached(double target, const std::vector<double>& ancestry) {
  double mean = 0;
  for (double a : ancestry) mean += a;
  return RunFailure(
      fmt::format("the admixed population did not reach the target YRI proportion {} in {} generations (mean ancestry "
                  "reached: {:.6f})",
                  target, kMaxGenerations, mean / static_cast<double>(ancestry.size())));
}

std::optional<std::string> UnreachableTargetReason(double yriPerGeneration, double yriFinal) {
  if (MigrantCount(yriPerGeneration) != 0 || !(yriFinal > 0)) return std::nullopt;
  return fmt::format(
      "Admixture proportion of YRI per generation: {} gives no migrant in a population of {}, so "
      "Admixture proportion of YRI in final population: {} can never be reached",
      yriPerGeneration, kPopulationSize, yriFinal);
}

void BuildAdmixedPopulation(RandomGenerator& gen, const MarkerSet& markers, const ReferencePanel& panel,
                            const IndexPicker& panelPicker, int migrantCount, double target, MigrantPick pick,
                            AdmixedPopulation& population, const std::function<void()>& refresh, WorkTeam& team) {
  constexpr int n = kPopulationSize;
  if (population.current.IndividualCount() != n || population.current.LociCount() != markers.total ||
      population.current.TracksAncestry() != population.trackAncestry) {
    population.current = HaplotypeStore(n, markers.total, population.trackAncestry);
    population.parental = HaplotypeStore(n, markers.total, population.trackAncestry);
  }
  population.ancestry.assign(n, 0.0);
  population.parentalAncestry.assign(n, 0.0);
  HaplotypeStore& current = population.current;
  Breeders breeders(team, markers);

  // Founders, each haplotype a pick and a transmission. Migrant founders (a
  // YRI haplotype and a second-population haplotype) come first, with a
  // refresh point after them.
  const std::uint64_t perFounder = 2 * (1 + static_cast<std::uint64_t>(breeders.DrawsPerHaplotype()));
  auto founders = [&](int begin, int end) {
    BuildInParts(
        breeders.team, breeders.Parts(panelPicker.OneDrawPerPick(), end - begin), gen, end - begin,
        [&](int i) { return perFounder * static_cast<std::uint64_t>(i); },
        [&](int part, RandomGenerator& own, int from, int to) {
          HaplotypeTransmitter& transmitter = breeders.transmitters[part];
          for (int i = begin + from; i < begin + to; ++i) {
            const bool migrant = i < migrantCount;
            transmitter.Transmit(own, migrant ? panel.yri : panel.second, panelPicker.Pick(own), current, i, 0);
            transmitter.Transmit(own, panel.second, panelPicker.Pick(own), current, i, 1);
          }
        });
  };
  founders(0, migrantCount);
  for (int i = 0; i < migrantCount; ++i) population.ancestry[i] = 0.5;
  refresh();
  founders(migrantCount, n);
  population.parental.CopyFrom(current);
  population.parentalAncestry = population.ancestry;

  const IndexPicker parentPicker(n);
  std::vector<int> parents(2 * n);
  std::vector<double> childAncestry(n);
  for (int generation = 1;; ++generation) {
    if (generation > kMaxGenerations) throw TargetNotReached(target, population.ancestry);
    refresh();
    for (int& parent : parents) parent = parentPicker.Pick(gen);
    const double sum = ChildAncestries(population.parentalAncestry, parents, migrantCount, childAncestry);
    const bool last = !(sum / n < target);
    population.ancestry = childAncestry;
    population.parentalAncestry = childAncestry;

    MateAdmixedGeneration(gen, breeders, panel, panelPicker, migrantCount, pick, parents, population.parental, current);
    if (last) break;
    std::swap(population.current, population.parental);
  }
}

}  // namespace korvane
