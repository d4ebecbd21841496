#pragma once

// The reference panels and genetic maps of the ten regions, read and checked
// once per run.
//
// Every SNP is biallelic with one allele in each class: class 1 holds the
// letters A and T, class 2 the letters C and G. Once a file has passed the
// checks below it holds nothing but those four letters, so the panels are
// stored as classes, one bit per allele (refdata/packed_row.h), and every
// model and every output works on classes.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "parallel/work_team.h"
#include "refdata/packed_row.h"
#include "refdata/region_catalogue.h"

namespace korvane {

// A data file that cannot be used: the message names the file, the line or
// SNP and what is wrong.
class DataError : public std::runtime_error {
 public:
  explicit DataError(const std::string& what) : std::runtime_error(what) {}
};

struct MapRecord {
  double position = 0;              // base pairs
  double distanceFromPrevious = 0;  // centimorgans from the preceding SNP of the region
  double third = 0;                 // read and not used
};

// The letters of a SNP's alleles, one bit each, as a panel shows them.
enum LetterBit : std::uint8_t { kLetterA = 1, kLetterT = 2, kLetterC = 4, kLetterG = 8 };

// The letter of allele class `alleleClass` (1: A or T, 2: C or G) among the
// letters `letters` (LetterBit flags): 'A', 'T', 'C' or 'G' when the class
// shows exactly one of its two letters, 0 when it shows none or both.
char ClassLetter(std::uint8_t letters, AlleleClass alleleClass);

// The haplotypes of one panel file: individual j has haplotypes 0 and 1
// (lines 2j + 1 and 2j + 2 of the file), one packed row per haplotype with
// bit s standing for SNP s of the region.
struct HaplotypeTable {
  int individualCount = 0;
  int snpCount = 0;
  std::vector<std::uint64_t> words;  // row 2 * individual + haplotype, WordsPerRow() words each
  // The letters each SNP shows among the haplotypes (LetterBit flags); the
  // classes are what the models use, the letters only name the alleles in
  // files that need nucleotides (VCF). Empty for a table not read from a file.
  std::vector<std::uint8_t> letters{};

  int WordsPerRow() const { return WordsForLoci(snpCount); }
  const std::uint64_t* Row(int individual, int haplotype) const {
    return words.data() + static_cast<std::size_t>(2 * individual + haplotype) * WordsPerRow();
  }
};

struct RegionData {
  HaplotypeTable yri;     // "HaploBlack.txt"
  HaplotypeTable second;  // "HaploWhite.txt"
  std::vector<MapRecord> map;

  const HaplotypeTable& Panel(SourcePopulation population) const {
    return population == SourcePopulation::kYri ? yri : second;
  }
};

// Reads one haplotype file of a region with `snpCount` SNPs. Lines come in
// pairs, one pair per reference individual; a final unpaired line is ignored.
// Letters beyond the SNP count are ignored; a trailing carriage return is a
// line end, not a letter. A last line needs no line end, and a line end at
// the very end of the file starts no further line. A blank line (empty or
// white space only) between haplotype lines is refused, since every
// haplotype after it would be paired wrongly; blank lines after the last
// haplotype line hold nothing that could be misread and are ignored, so the
// final unpaired line is the last one before them.
// Throws DataError for a path that is not a regular file (a FIFO, a device or
// a directory, refused without being opened; a symbolic link is followed), a
// file that cannot be read, a blank line between haplotype lines, a line
// shorter than the SNP count, a letter other than A, C, G, T among the first
// `snpCount`, more than 200 lines, or no complete pair; the message names the
// first problem in the order of the file.
HaplotypeTable ReadHaplotypeFile(const std::filesystem::path& path, int snpCount);

// Reads exactly 3 x snpCount numbers (position in bp, distance from the
// previous SNP in cM, an ignored third) separated by white space. Throws
// DataError for a path that is not a regular file (as ReadHaplotypeFile), a
// file that cannot be read, a token that is not a finite number (after the
// last SNP's numbers too), more or fewer numbers than 3 x snpCount (with the
// line of the first surplus number), a position that is not positive, is
// above 2^31 - 1 bp or is not above the previous SNP's, or a distance that is
// negative or above 100 cM. A count that is off is reported before a
// position or distance out of bounds, with the first of those as a hint to
// where a number was added or lost.
std::vector<MapRecord> ReadMapRecords(const std::filesystem::path& path, int snpCount);

// All thirty files of a data folder, checked together: besides the checks of
// each file, every haplotype file must hold the same number of individuals.
class ReferenceData {
 public:
  // Reads the files on the team's members; the result and the first problem
  // reported are those of reading them one after the other.
  static ReferenceData Load(const std::filesystem::path& dataDir, WorkTeam& team);
  static ReferenceData Load(const std::filesystem::path& dataDir);

  const std::filesystem::path& Dir() const { return dir_; }
  const RegionData& Region(int r) const { return regions_[r]; }
  // The number of reference individuals every panel draw picks from.
  int PanelSize() const { return panelSize_; }

 private:
  std::filesystem::path dir_;
  std::vector<RegionData> regions_;
  int panelSize_ = 0;
};

}  // namespace korvane
