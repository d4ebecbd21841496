#pragma once

// Genotype columns moved out of memory: the rows a GenotypeColumns held,
// stored in a SpillFile run after run, and read back a band of loci at a
// time to write the columns.
//
// File layout: each run (the rows held when it was added, whole blocks of 8
// individuals except in the last run) is stored locus by locus: for locus
// j, the run's word of every block in block order (the 16-bit words of
// GenotypeColumns, native byte order). So the words of loci j0 .. j1 - 1 of
// a run are one stretch of the file, and a band of loci is read with one
// read per run, each as large as the band's share of the run.
//
// A band of w loci takes w bytes per 4 individuals of memory; BandLoci
// chooses the widest band within a memory bound.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "output/genotype_columns.h"
#include "output/spill_file.h"

namespace korvane {

class SpilledColumns {
 public:
  // The file is `path`, created by the first Add.
  explicit SpilledColumns(std::filesystem::path path);

  // Stores the rows `held` holds as the next run. Every run but the last
  // must hold a multiple of 8 individuals, and all the same loci.
  void Add(const GenotypeColumns& held);

  std::size_t RunCount() const { return runs_.size(); }
  std::size_t IndividualCount() const { return individualCount_; }
  std::size_t LocusCount() const { return locusCount_; }

  // The loci of a band whose words take at most `memoryBound` bytes; at
  // least one, at most all.
  std::size_t BandLoci(std::size_t memoryBound) const;
  // Reads the words of loci first .. first + count - 1 of every individual.
  void ReadBand(std::size_t first, std::size_t count);
  // Appends the column of `locus`, one of the band's loci, as
  // GenotypeColumns::PutColumn does; `out` has room for IndividualCount().
  char* PutColumn(std::size_t locus, char* out) const;
  // The words of the column of `locus`, one of the band's loci: every run's
  // words in turn, one per block; `out` has room for a word per block.
  void PutWords(std::size_t locus, std::uint16_t* out) const;

  // Closes the file and gives the memory back.
  void Close() noexcept;

 private:
  struct Run {
    std::uint64_t offset = 0;  // where its words start in the file
    std::size_t blocks = 0;
    std::size_t individuals = 0;
  };

  std::filesystem::path path_;
  SpillFile file_;
  std::vector<Run> runs_;
  std::size_t locusCount_ = 0;
  std::size_t individualCount_ = 0;
  std::size_t blockCount_ = 0;
  // The band read: run by run, each run's words locus by locus.
  std::size_t bandFirst_ = 0;
  std::size_t bandCount_ = 0;
  std::vector<std::uint16_t> band_;
};

}  // namespace korvane
