#pragma once

// A replicate's genotypes in memory, read from Korvane's PLINK text files.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace korvane {

struct GenotypeTable {
  std::vector<std::string> individualIds;  // the pedigree file's IID column, in file order
  std::vector<std::string> locusIds;       // the map file's SNP column, in file order
  std::vector<int> chromosome;
  std::vector<std::int64_t> positionBp;
  int individuals = 0;
  int loci = 0;
  // Locus-major: dosage[l * individuals + i] is the count of allele class 1
  // (allele code 1 in the files) of individual i at locus l, 0..2, or -1
  // when the genotype is missing.
  std::vector<std::int8_t> dosage;

  // The dosages of locus l, one per individual.
  std::span<const std::int8_t> Locus(int l) const {
    return {dosage.data() + static_cast<std::size_t>(l) * static_cast<std::size_t>(individuals),
            static_cast<std::size_t>(individuals)};
  }
  std::int8_t At(int l, int i) const {
    return dosage[static_cast<std::size_t>(l) * static_cast<std::size_t>(individuals) + static_cast<std::size_t>(i)];
  }
};

// Reads Plink.ped and Plink.map as Korvane writes them (see
// output/plink_writer.h): map lines "chromosome snp-id cM bp"; pedigree
// lines "FID IID PAT MAT SEX PHENO" and two allele codes per map locus,
// "1" or "2", "0" missing (a genotype with a 0 code is missing). Fields are
// separated by spaces or tabs; CRLF line ends and blank lines are accepted.
// When `phenotypeColumn` is given, it receives the sixth column of each
// individual as read (case-control: 2 affected, 1 unaffected; quantitative:
// the value; text that is not a number gives NaN).
// Throws std::runtime_error naming the file and the line for a file that
// cannot be read or a line that does not fit
// ("Plink.ped line 12: 803 allele codes, expected 800").
GenotypeTable ReadPlinkText(const std::filesystem::path& ped, const std::filesystem::path& map,
                            std::vector<double>* phenotypeColumn = nullptr);

// Reads Plink.bed, Plink.bim and Plink.fam as Korvane writes them (see
// output/plink_binary_writer.h) into the same table ReadPlinkText gives for
// the pedigree and map files of the same replicate: the .bed's 2-bit codes
// (SNP-major, after the three magic bytes) counted as copies of allele code
// "1", whichever column of the .bim holds it. Throws std::runtime_error
// naming the file, and the line where there is one, for a file that is not
// such a file or does not fit the others ("Plink.bed: 1204 bytes, expected
// 1203 for 12 loci of 400 individuals").
GenotypeTable ReadPlinkBinary(const std::filesystem::path& bed, const std::filesystem::path& bim,
                              const std::filesystem::path& fam);

}  // namespace korvane
