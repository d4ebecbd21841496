#include "qual/sampling.h"

namespace korvane {

ReplicateLoci PrepareLoci(AttemptContext& ctx, int totalLoci) {
  ctx.gen.Seed(ctx.seed);
  ReplicateLoci loci;
  loci.markers = SelectMarkers(ctx.gen, totalLoci);
  ctx.output.BeginLoci();
  for (const MapEntry& entry : BuildMarkerMap(loci.markers, ctx.data)) ctx.output.Locus(entry);
  ctx.output.EndLoci();
  loci.panel = LoadPanels(ctx.data, loci.markers);
  ctx.refresh();
  return loci;
}

IndividualWriter::IndividualWriter(const MarkerSet& markers, double missingRate, OutputSet& output)
    : markers_(markers),
      missingBelow_(ThousandthsBelow(missingRate)),
      output_(output),
      neverMissing_(markers.total, 0),
      row_(markers.total) {}

void IndividualWriter::Write(RandomGenerator& gen, const HaplotypeStore& population, int index, double ancestry,
                             int status, std::optional<double> phenotype) {
  IndividualRecord record;
  record.id = nextId_++;
  record.status = status;
  record.phenotype = phenotype;
  record.ancestry = ancestry;
  record.sex = DrawThousandths(gen) >= 500 ? Sex::kFemale : Sex::kMale;
  const AlleleClass* first = population.Haplotype(index, 0);
  const AlleleClass* second = population.Haplotype(index, 1);
  for (int g = 0; g < markers_.total; ++g) {
    const bool missing = DrawThousandths(gen) < missingBelow_ && !neverMissing_[g];
    row_[g] = missing ? Genotype{} : Genotype{first[g], second[g]};
  }
  output_.Individual(record, GenotypeRow{row_, markers_.isNull});
}

}  // namespace korvane
