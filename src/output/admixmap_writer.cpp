#include "output/admixmap_writer.h"

namespace korvane {

using namespace output_detail;

namespace {

// Distances below this print as NA: they would read 0.000000.
constexpr double kSmallestDistance = 0.0000005;

// The phenotype file's trait: 1 for a case, 0 for a control.
int TraitCode(Affection affection) { return affection == Affection::kAffected ? 1 : 0; }

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
  // The identifier, a space, then ' "a,b" ' per locus: a quoted pair of codes, "0,0" when missing.
  char* out = geno_.Reserve(kIntRoom + 1 + QuotedPairsRoom(row.genotypes.size()) + 1);
  out = PutInt(out, individual.id);
  *out++ = ' ';
  out = PutQuotedPairs(out, row.genotypes);
  *out++ = '\n';
  geno_.Commit(out);

  out = phen_.Reserve(kIntRoom + 1);
  out = PutInt(out, TraitCode(individual.CaseOrControl()));
  *out++ = '\n';
  phen_.Commit(out);
}

void AdmixmapWriter::Close() { CloseInOrder({&geno_, &phen_, &loci_}); }

}  // namespace korvane
