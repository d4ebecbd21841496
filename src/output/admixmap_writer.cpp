#include "output/admixmap_writer.h"

namespace korvane {

using namespace output_detail;

namespace {

// Distances below this print as NA: they would read 0.000000.
constexpr double kSmallestDistance = 0.0000005;

}  // namespace

AdmixmapWriter::AdmixmapWriter(const std::filesystem::path& folder, LineEnds lineEnds)
    : loci_(CreateIn(folder, "Admixmap_loci.txt", lineEnds)),
      geno_(CreateIn(folder, "Admixmap_geno.txt", lineEnds)),
      phen_(CreateIn(folder, "Admixmap_phen.txt", lineEnds)) {}

void AdmixmapWriter::BeginLoci() {
  loci_.Write("\"LocusName\" \"NumberOfAlleles\" \"DistanceFromLast\"\n");
  geno_.Write("id ");
}

void AdmixmapWriter::Locus(const MapEntry& entry) {
  Append(line_, "\"snp");
  AppendInt(line_, entry.snpNumber);
  Append(line_, "\"  2");
  if (!entry.distance || *entry.distance < kSmallestDistance) {
    Append(line_, " NA\n");
  } else {
    Append(line_, " ");
    AppendFixed6(line_, *entry.distance);
    Append(line_, "\n");
  }
  WriteOut(loci_, line_);

  // The genotype header's names are collected and handed over in large pieces.
  Append(genoHeader_, "snp");
  AppendInt(genoHeader_, entry.snpNumber);
  Append(genoHeader_, " ");
  if (genoHeader_.size() >= 64 * 1024) WriteOut(geno_, genoHeader_);
}

void AdmixmapWriter::EndLoci() {
  Append(genoHeader_, "\n");
  WriteOut(geno_, genoHeader_);
  phen_.Write("trait\n");
}

void AdmixmapWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  AppendInt(line_, individual.id);
  Append(line_, " ");
  char* out = Extend(line_, 7 * row.genotypes.size());
  for (const Genotype& genotype : row.genotypes) {
    // ' "a,b" ', a quoted pair of codes; "0,0" when missing.
    const bool missing = genotype.Missing();
    out[0] = ' ';
    out[1] = '"';
    out[2] = missing ? '0' : AlleleCode(genotype.first);
    out[3] = ',';
    out[4] = missing ? '0' : AlleleCode(genotype.second);
    out[5] = '"';
    out[6] = ' ';
    out += 7;
  }
  EndAt(line_, out);
  Append(line_, "\n");
  WriteOut(geno_, line_);

  AppendInt(line_, individual.status - 1);
  Append(line_, "\n");
  WriteOut(phen_, line_);
}

void AdmixmapWriter::Close() { CloseInOrder({&geno_, &phen_, &loci_}); }

}  // namespace korvane
