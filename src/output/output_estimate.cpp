#include "output/output_estimate.h"

#include <fmt/format.h>

#include <cmath>
#include <iterator>

namespace korvane {
namespace {

// Bytes of `lines` lines of `width` characters each, their line ends
// included.
double Lines(const ReplicateShape& shape, double lines, double width) {
  return lines * (width + (shape.lineEnds == LineEnds::kCrlf ? 2 : 1));
}

double Genotypes(const ReplicateShape& shape) {
  return static_cast<double>(shape.individuals) * static_cast<double>(shape.loci);
}

std::uintmax_t Bytes(double value) { return static_cast<std::uintmax_t>(std::ceil(value)); }

}  // namespace

namespace estimate {

// A line per individual: identifier, pool, proportion.
std::uintmax_t Origin(const ReplicateShape& shape) {
  return Bytes(Lines(shape, static_cast<double>(shape.individuals), 16));
}

// A character per genotype and a line per locus, the locus and individual
// lists, the phenotype files.
std::uintmax_t Eigensoft(const ReplicateShape& shape) {
  const auto n = static_cast<double>(shape.individuals);
  const auto loci = static_cast<double>(shape.loci);
  const double phenotype = shape.study == StudyKind::kQualitative ? 1 : 8;
  return Bytes(Lines(shape, loci, n) + Lines(shape, loci, 32) + Lines(shape, n, 14) + n * phenotype +
               Lines(shape, 1, 3 * n));
}

// Seven characters per genotype ("\t\"1,2\""), a line per locus.
std::uintmax_t Admixmap(const ReplicateShape& shape) {
  const auto n = static_cast<double>(shape.individuals);
  return Bytes(Lines(shape, n, (7 + shape.missingRate) * static_cast<double>(shape.loci) + 28) +
               Lines(shape, static_cast<double>(shape.loci), 22) + Lines(shape, n + 1, 4));
}

// "1 2 " per genotype after six columns; a line per locus in Plink.map.
std::uintmax_t Plink(const ReplicateShape& shape) {
  return Bytes(Lines(shape, static_cast<double>(shape.individuals), 4 * static_cast<double>(shape.loci) + 24) +
               Lines(shape, static_cast<double>(shape.loci), 28));
}

// Two bits per genotype, each locus padded to a byte, with the three magic
// bytes; .bim and .fam are text.
std::uintmax_t PlinkBinary(const ReplicateShape& shape) {
  const auto n = static_cast<double>(shape.individuals);
  const auto loci = static_cast<double>(shape.loci);
  return Bytes(3 + loci * std::ceil(n / 4) + Lines(shape, loci, 32) + Lines(shape, n, 22));
}

// Compressed sizes measured on the shipped panels: 0.44 bytes per genotype
// in the VCF.gz (0.82 with the ancestry of each allele), 0.35 in the BCF
// (0.66), with a margin of a fifth; the records' fixed fields and the index
// take some 60 bytes per locus.
std::uintmax_t VcfGz(const ReplicateShape& shape) {
  return Bytes(Genotypes(shape) * (shape.localAncestry ? 1.0 : 0.55) + 60 * static_cast<double>(shape.loci) + 16384);
}

std::uintmax_t Bcf(const ReplicateShape& shape) {
  return Bytes(Genotypes(shape) * (shape.localAncestry ? 0.8 : 0.45) + 60 * static_cast<double>(shape.loci) + 16384);
}

// "1 2 " per genotype in both files (a missing one reads "-9 -9 "), the null
// loci in Structure.txt and the others in Strat.txt.
std::uintmax_t StructureStrat(const ReplicateShape& shape) {
  return Bytes(Lines(shape, static_cast<double>(shape.individuals),
                     (4 + 2 * shape.missingRate) * static_cast<double>(shape.loci) + 12));
}

// "1 2 " per genotype, a line per individual.
std::uintmax_t Gc(const ReplicateShape& shape) {
  return Bytes(Lines(shape, static_cast<double>(shape.individuals), 4 * static_cast<double>(shape.loci) + 12));
}

// Loci.tsv, Individuals.tsv and Truth.tsv.
std::uintmax_t Truth(const ReplicateShape& shape) {
  const double perIndividual = shape.study == StudyKind::kQualitative ? 44 : 56 + 8 * shape.qtls;
  return Bytes(Lines(shape, static_cast<double>(shape.loci), 84) +
               Lines(shape, static_cast<double>(shape.individuals), perIndividual) + 1024);
}

// About ten tracts of 24 characters per haplotype measured; twice that.
std::uintmax_t LocalAncestry(const ReplicateShape& shape) {
  return Bytes(Lines(shape, 2 * static_cast<double>(shape.individuals), 480));
}

}  // namespace estimate

std::string ByteCount(std::uintmax_t bytes) {
  if (bytes < 1000) return fmt::format("{} bytes", bytes);
  const char* units[] = {"kB", "MB", "GB", "TB", "PB"};
  double value = static_cast<double>(bytes) / 1000;
  std::size_t unit = 0;
  while (value >= 1000 && unit + 1 < std::size(units)) {
    value /= 1000;
    ++unit;
  }
  return value < 10 ? fmt::format("{:.1f} {}", value, units[unit]) : fmt::format("{:.0f} {}", value, units[unit]);
}

}  // namespace korvane
