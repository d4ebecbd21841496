#pragma once

// Writing one accepted individual: the sex draw, one missingness draw per
// chosen locus, and the hand-over of the whole record to every open file.

#include <optional>
#include <vector>

#include "output/output_set.h"
#include "random/lane_generator.h"
#include "random/random_generator.h"
#include "refdata/haplotype_store.h"
#include "refdata/marker_set.h"
#include "run/attempt.h"

namespace korvane {

// The loci of an attempt and the reference panels restricted to them.
struct ReplicateLoci {
  MarkerSet markers;
  ReferencePanel panel;
};

// The start of every simulation routine: seeds the generator, chooses the
// loci, hands the locus listing to the map writers, keeps the panels' classes
// of the chosen loci, then a refresh point.
ReplicateLoci PrepareLoci(AttemptContext& ctx, int totalLoci);

// The same for the calibrated model: the loci chosen uniformly (refdata/
// marker_set.h, SelectMarkersUniformly) from the stream `gen`.
ReplicateLoci PrepareCalibratedLoci(AttemptContext& ctx, int totalLoci, LaneGenerator& gen);

class IndividualWriter {
 public:
  IndividualWriter(const MarkerSet& markers, double missingRate, OutputSet& output);

  // Loci whose genotype is never missing (the causal locus, the QTLs). Their
  // missingness draw is still made.
  void SetNeverMissing(int global);

  // The IndividualId the next individual gets.
  int NextId() const { return nextId_; }
  int Written() const { return nextId_ - 1; }

  // A new population was built to draw individuals from (re-founded pools
  // or a new admixed population): the individuals written from now on carry
  // its number, from 1, in the truth files.
  void NextPopulation() { ++populationDraw_; }

  // Writes individual `index` of `population`, drawn from `source`, a case or
  // a control of a case-control study or an individual with a phenotype
  // value: draws the sex (female when u >= 0.5) and, per chosen locus in
  // catalogue order, whether the genotype is missing (u below the missing
  // rate). Where `population` tracks ancestry, the individual's ancestry
  // rows go with its genotypes and its realized YRI share is counted from them.
  void Write(RandomGenerator& gen, const HaplotypeStore& population, int index, double ancestry, SampleSource source,
             std::optional<Affection> affection, std::optional<double> phenotype = std::nullopt);

  // The same with the calibrated model's draws at full resolution: the sex a
  // fair bit, each locus missing when u is below the missing rate as a 64-bit
  // threshold (no draw at all when the rate is 0).
  void Write(LaneGenerator& gen, const HaplotypeStore& population, int index, double ancestry, SampleSource source,
             std::optional<Affection> affection, std::optional<double> phenotype = std::nullopt);

 private:
  // Writes the individual with the sex drawn and missing_ filled.
  void Emit(Sex sex, const HaplotypeStore& population, int index, double ancestry, SampleSource source,
            std::optional<Affection> affection, std::optional<double> phenotype);

  const MarkerSet& markers_;
  std::int32_t missingBelow_;       // scaled threshold of the missingness draw
  std::uint64_t missingThreshold_;  // its full-resolution threshold (calibrated model)
  OutputSet& output_;
  std::vector<std::uint64_t> neverMissing_;  // packed by locus, like a haplotype row
  std::vector<std::uint64_t> missing_;       // the current individual's missing loci
  std::vector<Genotype> row_;
  int nextId_ = 1;
  int populationDraw_ = 0;
};

}  // namespace korvane
