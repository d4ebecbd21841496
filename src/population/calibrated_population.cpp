#include "population/calibrated_population.h"

#include <utility>

#include "population/bounds.h"
#include "population/population_size.h"

namespace korvane {
namespace {

constexpr std::uint64_t kYriGroup = 0;
constexpr std::uint64_t kSecondGroup = 1;
constexpr std::uint64_t kAdmixedGroup = 2;

// The group of a generation's streams: the population and the generation.
constexpr std::uint64_t Group(std::uint64_t population, int generation) {
  return population << 32 | static_cast<std::uint32_t>(generation);
}

// Founders of a pool: each haplotype a recombinant of a reference individual
// picked uniformly from the panel.
void Founders(const CalibratedKeys& keys, CalibratedBreeders& breeders, std::uint64_t group,
              const HaplotypeStore& reference, int panelSize, HaplotypeStore& pool) {
  const int n = pool.IndividualCount();
  const auto panel = static_cast<std::uint64_t>(panelSize);
  breeders.ForParts(n, 2LL * breeders.transmitters.front().DrawsPerHaplotype(), [&](int part, int begin, int end) {
    CalibratedTransmitter& transmitter = breeders.transmitters[part];
    for (int i = begin; i < end; ++i) {
      LaneGenerator gen(keys.Key(CalibratedStream::kFounders, group, static_cast<std::uint64_t>(i)));
      for (int slot = 0; slot < 2; ++slot) {
        const auto j = static_cast<int>(UniformBelow(gen, panel));
        transmitter.Transmit(gen, reference, j, pool, i, slot);
      }
    }
  });
}

// One generation of random mating: child i of `current` from two parents of
// `previous` drawn uniformly and independently.
void Mate(const CalibratedKeys& keys, CalibratedBreeders& breeders, std::uint64_t group, const HaplotypeStore& previous,
          HaplotypeStore& current) {
  const int n = current.IndividualCount();
  const auto parents = static_cast<std::uint64_t>(previous.IndividualCount());
  breeders.ForParts(n, 2LL * breeders.transmitters.front().DrawsPerHaplotype(), [&](int part, int begin, int end) {
    CalibratedTransmitter& transmitter = breeders.transmitters[part];
    for (int i = begin; i < end; ++i) {
      LaneGenerator gen(keys.Key(CalibratedStream::kMating, group, static_cast<std::uint64_t>(i)));
      const auto a = static_cast<int>(UniformBelow(gen, parents));
      const auto b = static_cast<int>(UniformBelow(gen, parents));
      transmitter.Transmit(gen, previous, a, current, i, 0);
      transmitter.Transmit(gen, previous, b, current, i, 1);
    }
  });
}

void Reshape(HaplotypeStore& store, const MarkerSet& markers, bool trackAncestry) {
  if (store.IndividualCount() != kPopulationSize || store.LociCount() != markers.total ||
      store.TracksAncestry() != trackAncestry) {
    store = HaplotypeStore(kPopulationSize, markers.total, trackAncestry);
  }
}

}  // namespace

void BuildCalibratedPools(const CalibratedKeys& keys, const MarkerSet& markers, const ReferencePanel& panel,
                          int matings, SourcePools& pools, const std::function<void()>& refresh, WorkTeam& team) {
  for (SourcePool* pool : {&pools.second, &pools.yri}) {
    Reshape(pool->current, markers, pools.trackAncestry);
    Reshape(pool->previous, markers, pools.trackAncestry);
  }
  CalibratedBreeders breeders(team, markers);
  Founders(keys, breeders, Group(kSecondGroup, 0), panel.second, panel.panelSize, pools.second.current);
  refresh();
  Founders(keys, breeders, Group(kYriGroup, 0), panel.yri, panel.panelSize, pools.yri.current);
  for (int generation = 1; generation <= std::max(1, matings); ++generation) {
    refresh();
    for (auto [pool, group] : {std::pair{&pools.second, kSecondGroup}, std::pair{&pools.yri, kYriGroup}}) {
      std::swap(pool->current, pool->previous);
      Mate(keys, breeders, Group(group, generation), pool->previous, pool->current);
    }
  }
}

void BuildCalibratedAdmixed(const CalibratedKeys& keys, const MarkerSet& markers, const ReferencePanel& panel,
                            int migrantCount, double target, MigrantPick pick, AdmixedPopulation& population,
                            const std::function<void()>& refresh, WorkTeam& team) {
  constexpr int n = kPopulationSize;
  Reshape(population.current, markers, population.trackAncestry);
  Reshape(population.parental, markers, population.trackAncestry);
  population.ancestry.assign(n, 0.0);
  CalibratedBreeders breeders(team, markers);
  const auto panelSize = static_cast<std::uint64_t>(panel.panelSize);
  const long long perChild = 2LL * breeders.transmitters.front().DrawsPerHaplotype();

  // Founders: a migrant founder has a YRI and a second-population haplotype,
  // every other founder two second-population haplotypes.
  breeders.ForParts(n, perChild, [&](int part, int begin, int end) {
    CalibratedTransmitter& transmitter = breeders.transmitters[part];
    for (int i = begin; i < end; ++i) {
      LaneGenerator gen(keys.Key(CalibratedStream::kFounders, Group(kAdmixedGroup, 0), static_cast<std::uint64_t>(i)));
      const HaplotypeStore& first = i < migrantCount ? panel.yri : panel.second;
      transmitter.Transmit(gen, first, static_cast<int>(UniformBelow(gen, panelSize)), population.current, i, 0);
      transmitter.Transmit(gen, panel.second, static_cast<int>(UniformBelow(gen, panelSize)), population.current, i, 1);
    }
  });
  for (int i = 0; i < migrantCount && i < n; ++i) population.ancestry[i] = 0.5;
  refresh();

  std::vector<int> parents(2 * static_cast<std::size_t>(n));
  std::vector<double> childAncestry(n);
  for (int generation = 1;; ++generation) {
    if (generation > kMaxGenerations) throw TargetNotReached(target, population.ancestry);
    refresh();
    std::swap(population.current, population.parental);
    population.parentalAncestry = population.ancestry;
    const std::uint64_t group = Group(kAdmixedGroup, generation);
    // The parents of every child first (they give the ancestries), then the
    // transmissions in parts; both from the child's stream.
    for (int i = 0; i < n; ++i) {
      LaneGenerator gen(keys.Key(CalibratedStream::kMating, group, static_cast<std::uint64_t>(i)));
      parents[2 * i] = static_cast<int>(UniformBelow(gen, n));
      parents[2 * i + 1] = static_cast<int>(UniformBelow(gen, n));
    }
    const double sum = ChildAncestries(population.parentalAncestry, parents, migrantCount, childAncestry);
    population.ancestry = childAncestry;
    breeders.ForParts(n, perChild, [&](int part, int begin, int end) {
      CalibratedTransmitter& transmitter = breeders.transmitters[part];
      for (int i = begin; i < end; ++i) {
        LaneGenerator gen(keys.Key(CalibratedStream::kMatingTransmission, group, static_cast<std::uint64_t>(i)));
        transmitter.Transmit(gen, population.parental, parents[2 * i], population.current, i, 0);
        if (i >= migrantCount) {
          transmitter.Transmit(gen, population.parental, parents[2 * i + 1], population.current, i, 1);
        } else if (pick == MigrantPick::kPerIndividual) {
          transmitter.Transmit(gen, panel.yri, static_cast<int>(UniformBelow(gen, panelSize)), population.current, i,
                               1);
        } else {
          transmitter.TransmitPerRegion(
              gen, panel.yri, [&] { return static_cast<int>(UniformBelow(gen, panelSize)); },
              population.current.Row(i, 1));
          if (population.current.TracksAncestry()) population.current.SetAncestry(i, 1, SourcePopulation::kYri);
        }
      }
    });
    if (!(sum / n < target)) break;
  }
}

void BuildChildren(CalibratedBreeders& breeders, const HaplotypeStore& parents, std::span<const ChildPlan> children,
                   int forcedLocus, HaplotypeStore& batch) {
  const int count = static_cast<int>(children.size());
  breeders.ForParts(count, 2LL * breeders.transmitters.front().DrawsPerHaplotype(), [&](int part, int begin, int end) {
    CalibratedTransmitter& transmitter = breeders.transmitters[part];
    for (int k = begin; k < end; ++k) {
      const ChildPlan& child = children[static_cast<std::size_t>(k)];
      LaneGenerator gen(child.key);
      transmitter.Transmit(gen, parents, child.parentA, batch, k, 0, {forcedLocus, child.strandA});
      transmitter.Transmit(gen, parents, child.parentB, batch, k, 1, {forcedLocus, child.strandB});
    }
  });
}

}  // namespace korvane
