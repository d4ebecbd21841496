#pragma once

// Estimates of the bytes a replicate's files take, from the replicate's
// shape alone, before anything is simulated: what a run announces before it
// starts and checks against the free space of its output directory. The
// text formats' sizes follow from their layouts (a genotype is "1 2 " in
// Plink.ped, one digit in Eigensoft_Pca.geno); the compressed files and the
// ancestry tracts depend on the data, and their estimates are the sizes
// measured on the shipped panels with a margin, so that a run is not
// started on a disk it would fill.

#include <cstdint>
#include <string>

#include "output/output_file.h"
#include "output/study_kind.h"

namespace korvane {

// What the size of a replicate's files depends on.
struct ReplicateShape {
  StudyKind study = StudyKind::kQualitative;
  std::int64_t individuals = 0;
  std::int64_t loci = 0;      // chosen loci
  std::int64_t nullLoci = 0;  // of them, the null loci (AIMs)
  int qtls = 0;               // the quantitative study's ticked QTLs
  double missingRate = 0;
  bool localAncestry = false;  // the VCF files carry the ancestry of each allele
  LineEnds lineEnds = LineEnds::kLf;
};

// Bytes of one format's files for a replicate of the given shape.
using ByteEstimate = std::uintmax_t (*)(const ReplicateShape& shape);

namespace estimate {
std::uintmax_t Origin(const ReplicateShape& shape);
std::uintmax_t Eigensoft(const ReplicateShape& shape);
std::uintmax_t Admixmap(const ReplicateShape& shape);
std::uintmax_t Plink(const ReplicateShape& shape);
std::uintmax_t PlinkBinary(const ReplicateShape& shape);
std::uintmax_t VcfGz(const ReplicateShape& shape);
std::uintmax_t Bcf(const ReplicateShape& shape);
std::uintmax_t StructureStrat(const ReplicateShape& shape);
std::uintmax_t Gc(const ReplicateShape& shape);
std::uintmax_t Truth(const ReplicateShape& shape);
std::uintmax_t LocalAncestry(const ReplicateShape& shape);
}  // namespace estimate

// "1.2 GB", "340 MB", "5.0 kB", "12 bytes" (powers of 1000).
std::string ByteCount(std::uintmax_t bytes);

}  // namespace korvane
