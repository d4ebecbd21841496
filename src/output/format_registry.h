#pragma once

// The formats a replicate can be written in: one row per format, from which
// OutputSet builds the writers of every replicate attempt. OutputSet knows
// no format by name; what a format is, when it is written and where its
// files come in the orders of a set is all in its row.
//
// How to add a format:
//  1. The writer: one file pair src/output/<format>_writer.{h,cpp} with a
//     FormatWriter that creates its files in the folder it is given (text
//     files with CreateIn, binary ones with CreateBinaryIn, so that a run's
//     CRLF line ends never touch their bytes), takes the events it needs,
//     maps the domain's values (Sex, Affection, ...) to its own format's
//     codes, and closes its files in Close(). A writer with a step that can
//     take minutes calls the checkpoint handed to SetCheckpoint during it.
//  2. The row: one entry in the table of format_registry.cpp with the
//     format's name, the studies it applies to, its form switch if the
//     study form has one, the factory, and its places in the three orders
//     (positions are spaced by ten, so that a row slots in between the
//     others without renumbering them). Add the source file to
//     src/output/CMakeLists.txt.
//  3. The tests: the writer's files byte by byte, as in
//     tests/output/writers_test.cpp; the registry's expected lists in
//     tests/output/format_registry_test.cpp (the formats of each study and
//     the three orders) gain the new name.
// A format whose files are written locus by locus at the end (.geno, .bed)
// is marked locusMajor: its factory gets the attempt's shared GenotypeStore
// in WriterSettings::genotypes, so the genotypes are held once for all such
// formats; its writer reads them in Finish (GenotypeStore::ForEachLocus).
// One that writes the haplotypes apart (VCF) is marked phased too, and the
// store then keeps the phase for it.
// A format with a form switch is also a flag field of its study's record,
// whose tick the study's Run turns into the format's name in its
// FormatSelection, and its files are listed in tests/form_switches.h; a
// format without one is chosen by its name alone.

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "output/format_writer.h"
#include "output/output_estimate.h"
#include "output/output_file.h"
#include "output/study_kind.h"

namespace korvane {

class GenotypeStore;

// What a writer is created with, besides the folder of its files.
struct WriterSettings {
  AncestryFormat ancestry = AncestryFormat::kSourcePool;
  LineEnds lineEnds = LineEnds::kLf;
  StudyKind study = StudyKind::kQualitative;
  // The attempt's shared genotype store, which the OutputSet fills, for a
  // locus-major format's writer (FormatRow::locusMajor); null otherwise.
  GenotypeStore* genotypes = nullptr;
};

// Creates a format's writer, whose files are created in `folder` (the
// opening of them may throw OutputError).
using WriterFactory = std::unique_ptr<FormatWriter> (*)(const std::filesystem::path& folder,
                                                        const WriterSettings& settings);

// Makes the writer that a front end attaches to every attempt of replicate
// `replicate`, whose folder is `folder` (see OutputSet::Attach).
using AttachedWriterFactory = std::function<std::unique_ptr<FormatWriter>(
    int replicate, const std::filesystem::path& folder, const WriterSettings& settings)>;

// The studies a format applies to.
struct Studies {
  bool qualitative = true;
  bool quantitative = true;

  constexpr bool Has(StudyKind study) const { return study == StudyKind::kQualitative ? qualitative : quantitative; }
};
inline constexpr Studies kEveryStudy{true, true};
// The case-control formats: a quantitative study has no case-control status to write.
inline constexpr Studies kCaseControlStudy{true, false};

struct FormatRow {
  // The format's name in a FormatSelection and on the command line: "plink".
  std::string_view name;
  Studies studies;
  // Written whatever is chosen (the ancestry file).
  bool always = false;
  // The flag field of the study form, the record and the command line that
  // ticks the format ("write-plink"); empty for a format that is written
  // always or chosen by its name alone.
  std::string_view formSwitch;
  WriterFactory create = nullptr;
  // Whether the format's files are written locus by locus once the sample
  // is complete: its writer reads the genotypes from the attempt's shared
  // GenotypeStore (output/genotype_store.h) instead of keeping its own.
  bool locusMajor = false;
  // Whether a locus-major format writes each haplotype's allele (VCF): the
  // shared store then keeps the phase too (GenotypeStore::PutGenotypes).
  bool phased = false;
  // Chosen by a run option of its own (--truth, --local-ancestry) rather
  // than among the genotype formats.
  bool byRunOption = false;
  // The bytes of the format's files for a replicate of a given shape, which
  // a run adds up before it starts (output/output_estimate.h).
  ByteEstimate estimate = nullptr;
  // The places of the format's writer among the writers of a set, in
  // ascending order: where its files are opened (and the events reach it),
  // where they are closed, and when its work is handed to a member of a
  // work team, largest files first so that the members finish together.
  int opening = 0;
  int closing = 0;
  int sharing = 0;
};

// The formats this program writes.
std::span<const FormatRow> FormatRegistry();

// The names of the genotype formats a run can choose by name (those neither
// written always nor chosen by a run option of their own), in table order:
// "eigensoft", "admixmap", ...
std::vector<std::string_view> ChoosableFormatNames(std::span<const FormatRow> registry = FormatRegistry());

// The formats chosen for a run, by name: the ticks of the study form, and
// formats named on the command line. A format that is written always needs
// no choosing; one chosen for a study it does not apply to is not written.
class FormatSelection {
 public:
  FormatSelection() = default;
  FormatSelection(std::initializer_list<std::string_view> names);

  // Adds `name` when `chosen`: a record's switches read as one chain,
  //   formats.Choose("plink", p.writePlink == 1).Choose("gc", p.writeGc == 1);
  FormatSelection& Choose(std::string_view name, bool chosen = true);
  bool Has(std::string_view name) const;
  // Each chosen name once, in the order chosen.
  const std::vector<std::string>& Names() const { return names_; }

 private:
  std::vector<std::string> names_;
};

// The rows of `registry` written for `formats` in a study of kind `study`,
// in table order. Throws std::invalid_argument for a chosen name that no row
// has, before anything is written.
std::vector<const FormatRow*> RowsWritten(std::span<const FormatRow> registry, const FormatSelection& formats,
                                          StudyKind study);

// The bytes the files of `rows` take for one replicate of `shape`: the sum
// of their estimates.
std::uintmax_t EstimatedBytes(std::span<const FormatRow* const> rows, const ReplicateShape& shape);

// The rows in ascending order of one of their positions (&FormatRow::opening,
// &FormatRow::closing or &FormatRow::sharing); equal positions keep the
// order given.
std::vector<const FormatRow*> OrderedBy(std::span<const FormatRow* const> rows, int FormatRow::*position);

}  // namespace korvane
