#pragma once

// Helpers shared by the format writers. Genotype rows are formatted
// straight into their file's buffer (genotype_text.h); the short texts of
// loci and individuals are built in a reusable memory buffer. Numbers are
// formatted by hand (number_text.h); fixed-point values the quick path
// cannot decide go through {fmt}, whose output is likewise the exactly
// rounded decimal value: both give the C library's "%f", "%.2f" and "%.0f"
// text, independent of the locale.

#include <fmt/format.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

#include "output/format_writer.h"
#include "output/genotype_text.h"
#include "output/number_text.h"
#include "output/output_file.h"

namespace korvane::output_detail {

using TextBuffer = fmt::memory_buffer;

// The genetic position of each locus within its region, from the region's
// first chosen locus: the map distances added up, afresh at every new
// region. Fed the loci in map order.
class RegionCentimorgans {
 public:
  double Next(const MapEntry& entry) {
    position_ = entry.regionNumber == region_ ? position_ + entry.distance.value_or(0.0) : 0.0;
    region_ = entry.regionNumber;
    return position_;
  }

 private:
  int region_ = 0;  // none yet: region numbers start at 1
  double position_ = 0;
};

inline void Append(TextBuffer& text, std::string_view piece) { text.append(piece.data(), piece.data() + piece.size()); }

// "%d"
inline void AppendInt(TextBuffer& text, int value) {
  char digits[kIntRoom];
  text.append(digits, PutInt(digits, value));
}
// "%.<decimals>f": the quick exact path where it can decide, else {fmt}.
inline void AppendFixed(TextBuffer& text, double value, int decimals) {
  char digits[kFixedRoom];
  if (const char* end = PutFixedOrNull(digits, value, decimals)) {
    text.append(digits, end);
  } else {
    fmt::format_to(fmt::appender(text), "{:.{}f}", value, decimals);
  }
}
// "%f": six decimals.
inline void AppendFixed6(TextBuffer& text, double value) { AppendFixed(text, value, 6); }
// "%.2f"
inline void AppendFixed2(TextBuffer& text, double value) { AppendFixed(text, value, 2); }
// "%.0f"
inline void AppendFixed0(TextBuffer& text, double value) { AppendFixed(text, value, 0); }

// Copies `text` to `out`; returns the new end.
inline char* PutText(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// Hands the whole buffer to the file and empties the buffer.
inline void WriteOut(OutputFile& file, TextBuffer& text) {
  file.Write(std::string_view(text.data(), text.size()));
  text.clear();
}

// Opens the text file `name` in `folder` for writing, emptied.
inline OutputFile CreateIn(const std::filesystem::path& folder, const char* name, LineEnds lineEnds) {
  return OutputFile(folder / name, OutputFile::Mode::kTruncate, lineEnds);
}

// Opens the binary file `name` in `folder` for writing, emptied: its bytes
// are stored as written, whatever the run's line ends.
inline OutputFile CreateBinaryIn(const std::filesystem::path& folder, const char* name) {
  return OutputFile::Binary(folder / name, OutputFile::Mode::kTruncate);
}

// Runs every step in order, also after one has failed, then rethrows the
// first failure: a file that cannot be closed does not keep the others open.
class FirstFailure {
 public:
  template <typename Step>
  void Run(Step&& step) {
    try {
      step();
    } catch (...) {
      if (!first_) first_ = std::current_exception();
    }
  }
  void Rethrow() const {
    if (first_) std::rethrow_exception(first_);
  }

 private:
  std::exception_ptr first_;
};

// Closes the files in the given order; throws the first failure after trying all.
inline void CloseInOrder(std::initializer_list<OutputFile*> files) {
  FirstFailure failure;
  for (OutputFile* file : files) failure.Run([file] { file->Close(); });
  failure.Rethrow();
}

// Throws std::invalid_argument unless the row has one null-locus flag per genotype.
inline void CheckRow(const GenotypeRow& row) {
  if (row.isNull.size() != row.genotypes.size()) {
    throw std::invalid_argument(
        fmt::format("genotype row: {} genotypes but {} null-locus flags", row.genotypes.size(), row.isNull.size()));
  }
}

}  // namespace korvane::output_detail
