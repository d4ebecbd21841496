#include "run/sampling.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "random/bulk_draws.h"

namespace korvane {

namespace {

ReplicateLoci ListLoci(AttemptContext& ctx, MarkerSet markers) {
  ReplicateLoci loci;
  loci.markers = std::move(markers);
  ctx.output.BeginLoci();
  for (const MapEntry& entry : BuildMarkerMap(loci.markers, ctx.data)) ctx.output.Locus(entry);
  ctx.output.EndLoci();
  loci.panel = LoadPanels(ctx.data, loci.markers);
  ctx.refresh();
  return loci;
}

}  // namespace

ReplicateLoci PrepareLoci(AttemptContext& ctx, int totalLoci) {
  ctx.gen.Seed(ctx.seed);
  return ListLoci(ctx, SelectMarkers(ctx.gen, totalLoci));
}

ReplicateLoci PrepareCalibratedLoci(AttemptContext& ctx, int totalLoci, LaneGenerator& gen) {
  return ListLoci(ctx, SelectMarkersUniformly(gen, totalLoci));
}

IndividualWriter::IndividualWriter(const MarkerSet& markers, double missingRate, OutputSet& output)
    : markers_(markers),
      missingBelow_(ScaledThreshold(ThousandthsBelow(missingRate))),
      missingThreshold_(ThresholdOf(missingRate)),
      output_(output),
      neverMissing_(WordsForLoci(markers.total), 0),
      missing_(WordsForLoci(markers.total), 0),
      row_(markers.total) {}

void IndividualWriter::SetNeverMissing(int global) { SetClassAt(neverMissing_.data(), global, 1); }

void IndividualWriter::Write(RandomGenerator& gen, const HaplotypeStore& population, int index, double ancestry,
                             SampleSource source, std::optional<Affection> affection, std::optional<double> phenotype) {
  const Sex sex = DrawThousandths(gen) >= 500 ? Sex::kFemale : Sex::kMale;
  // One missingness draw per chosen locus, also where the genotype is never
  // missing.
  DrawBelowBits(gen, missingBelow_, markers_.total, missing_.data());
  Emit(sex, population, index, ancestry, source, affection, phenotype);
}

void IndividualWriter::Write(LaneGenerator& gen, const HaplotypeStore& population, int index, double ancestry,
                             SampleSource source, std::optional<Affection> affection, std::optional<double> phenotype) {
  const Sex sex = (gen.Next() >> 63) != 0 ? Sex::kFemale : Sex::kMale;
  if (missingThreshold_ == 0) {
    std::fill(missing_.begin(), missing_.end(), 0);
  } else {
    DrawBelowBits(gen, missingThreshold_, markers_.total, missing_.data());
  }
  Emit(sex, population, index, ancestry, source, affection, phenotype);
}

void IndividualWriter::Emit(Sex sex, const HaplotypeStore& population, int index, double ancestry, SampleSource source,
                            std::optional<Affection> affection, std::optional<double> phenotype) {
  IndividualRecord record;
  record.id = nextId_++;
  record.affection = affection;
  record.phenotype = phenotype;
  record.ancestry = ancestry;
  record.source = source;
  record.populationDraw = populationDraw_;
  // Every allele of a source pool was copied from that pool's panel.
  if (source == SampleSource::kYriPool) record.realizedAncestry = 1.0;
  if (source == SampleSource::kSecondPool) record.realizedAncestry = 0.0;
  record.sex = sex;
  for (std::size_t w = 0; w < missing_.size(); ++w) missing_[w] &= ~neverMissing_[w];
  static_assert(sizeof(Genotype) == 2 && offsetof(Genotype, first) == 0 && offsetof(Genotype, second) == 1);
  UnpackGenotypePairs(population.Row(index, 0), population.Row(index, 1), missing_.data(), markers_.total,
                      reinterpret_cast<std::uint8_t*>(row_.data()));
  GenotypeRow row{row_, markers_.isNull};
  if (population.TracksAncestry()) {
    // Local ancestry: the rows themselves for the writers, and the share of
    // the individual's alleles (both haplotypes, every chosen locus, missing
    // or not) copied from YRI.
    row.ancestry = {population.AncestryRow(index, 0), population.AncestryRow(index, 1)};
    if (markers_.total > 0) {
      const int words = WordsForLoci(markers_.total);
      const int yri = CountOnes(row.ancestry[0], words) + CountOnes(row.ancestry[1], words);
      record.realizedAncestry = yri / (2.0 * markers_.total);
    }
  }
  output_.Individual(record, row);
}

}  // namespace korvane
