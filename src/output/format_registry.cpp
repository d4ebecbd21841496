#include "output/format_registry.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

#include "output/admixmap_writer.h"
#include "output/eigensoft_writer.h"
#include "output/gc_writer.h"
#include "output/genotype_store.h"
#include "output/local_ancestry_writer.h"
#include "output/origin_writer.h"
#include "output/plink_binary_writer.h"
#include "output/plink_writer.h"
#include "output/structure_strat_writer.h"
#include "output/truth_writer.h"
#include "output/vcf_writer.h"

namespace korvane {
namespace {

// The factory of a writer made from its folder and the run's line ends.
template <typename Writer>
std::unique_ptr<FormatWriter> Create(const std::filesystem::path& folder, const WriterSettings& settings) {
  return std::make_unique<Writer>(folder, settings.lineEnds);
}

// The factory of a locus-major writer, which reads the attempt's shared
// genotype store when it has one.
template <typename Writer>
std::unique_ptr<FormatWriter> CreateLocusMajor(const std::filesystem::path& folder, const WriterSettings& settings) {
  if (settings.genotypes != nullptr) return std::make_unique<Writer>(folder, settings.lineEnds, *settings.genotypes);
  return std::make_unique<Writer>(folder, settings.lineEnds);
}

// The factory of a VCF writer, which reads the attempt's shared (phased)
// genotype store when it has one.
template <VcfKind kind>
std::unique_ptr<FormatWriter> CreateVcf(const std::filesystem::path& folder, const WriterSettings& settings) {
  if (settings.genotypes != nullptr) return std::make_unique<VcfWriter>(folder, kind, *settings.genotypes);
  return std::make_unique<VcfWriter>(folder, kind);
}

std::unique_ptr<FormatWriter> CreateTruth(const std::filesystem::path& folder, const WriterSettings& settings) {
  return std::make_unique<TruthWriter>(folder, settings.study, settings.ancestry, settings.lineEnds);
}

std::unique_ptr<FormatWriter> CreateOrigin(const std::filesystem::path& folder, const WriterSettings& settings) {
  return std::make_unique<OriginWriter>(folder, settings.ancestry, settings.lineEnds);
}

// The orders, as they read down each column:
//   opening: origin, eigensoft, admixmap, plink, bed, vcf.gz, bcf,
//            structure-strat, gc, truth, local-ancestry;
//   closing: origin, structure-strat, eigensoft, admixmap, plink, bed,
//            vcf.gz, bcf, gc, truth, local-ancestry;
//   sharing: vcf.gz, bcf (four characters per genotype, compressed),
//            admixmap, plink, gc (the genotype tables of a line per
//            individual), structure-strat, eigensoft (a character per
//            genotype), bed (2 bits per genotype, from the same store as
//            eigensoft and after it), local-ancestry (a few lines per
//            haplotype), origin, truth.
// The truth files and then the local-ancestry tracts follow the specified
// files in the opening and closing orders, which stay as they were
// without them; no form has a switch for either: the run chooses them.
constexpr FormatRow kRows[] = {
    {.name = "origin",
     .studies = kEveryStudy,
     .always = true,
     .formSwitch = "",
     .create = CreateOrigin,
     .estimate = estimate::Origin,
     .opening = 10,
     .closing = 10,
     .sharing = 60},
    {.name = "eigensoft",
     .studies = kEveryStudy,
     .always = false,
     .formSwitch = "write-eigensoft",
     .create = CreateLocusMajor<EigensoftWriter>,
     .locusMajor = true,
     .estimate = estimate::Eigensoft,
     .opening = 20,
     .closing = 30,
     .sharing = 50},
    {.name = "admixmap",
     .studies = kCaseControlStudy,
     .always = false,
     .formSwitch = "write-admixmap",
     .create = Create<AdmixmapWriter>,
     .estimate = estimate::Admixmap,
     .opening = 30,
     .closing = 40,
     .sharing = 10},
    {.name = "plink",
     .studies = kEveryStudy,
     .always = false,
     .formSwitch = "write-plink",
     .create = Create<PlinkWriter>,
     .estimate = estimate::Plink,
     .opening = 40,
     .closing = 50,
     .sharing = 20},
    // PLINK 1 binary files, chosen by name (--formats bed).
    {.name = "bed",
     .studies = kEveryStudy,
     .always = false,
     .formSwitch = "",
     .create = CreateLocusMajor<PlinkBinaryWriter>,
     .locusMajor = true,
     .estimate = estimate::PlinkBinary,
     .opening = 45,
     .closing = 55,
     .sharing = 52},
    // Phased VCF and BCF through htslib, chosen by name (--formats vcf.gz,bcf).
    {.name = "vcf.gz",
     .studies = kEveryStudy,
     .always = false,
     .formSwitch = "",
     .create = CreateVcf<VcfKind::kVcfGz>,
     .locusMajor = true,
     .phased = true,
     .estimate = estimate::VcfGz,
     .opening = 46,
     .closing = 56,
     .sharing = 4},
    {.name = "bcf",
     .studies = kEveryStudy,
     .always = false,
     .formSwitch = "",
     .create = CreateVcf<VcfKind::kBcf>,
     .locusMajor = true,
     .phased = true,
     .estimate = estimate::Bcf,
     .opening = 47,
     .closing = 57,
     .sharing = 6},
    {.name = "structure-strat",
     .studies = kCaseControlStudy,
     .always = false,
     .formSwitch = "write-structure-strat",
     .create = Create<StructureStratWriter>,
     .estimate = estimate::StructureStrat,
     .opening = 50,
     .closing = 20,
     .sharing = 40},
    {.name = "gc",
     .studies = kEveryStudy,
     .always = false,
     .formSwitch = "write-gc",
     .create = Create<GcWriter>,
     .estimate = estimate::Gc,
     .opening = 60,
     .closing = 60,
     .sharing = 30},
    // The truth files, chosen by the run (on unless asked otherwise).
    {.name = "truth",
     .studies = kEveryStudy,
     .always = false,
     .formSwitch = "",
     .create = CreateTruth,
     .byRunOption = true,
     .estimate = estimate::Truth,
     .opening = 70,
     .closing = 70,
     .sharing = 70},
    {.name = "local-ancestry",
     .studies = kEveryStudy,
     .always = false,
     .formSwitch = "",
     .create = Create<LocalAncestryWriter>,
     .byRunOption = true,
     .estimate = estimate::LocalAncestry,
     .opening = 80,
     .closing = 80,
     .sharing = 55},
};

}  // namespace

std::span<const FormatRow> FormatRegistry() { return kRows; }

std::vector<std::string_view> ChoosableFormatNames(std::span<const FormatRow> registry) {
  std::vector<std::string_view> names;
  for (const FormatRow& row : registry) {
    if (!row.always && !row.byRunOption) names.push_back(row.name);
  }
  return names;
}

FormatSelection::FormatSelection(std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) Choose(name);
}

FormatSelection& FormatSelection::Choose(std::string_view name, bool chosen) {
  if (chosen && !Has(name)) names_.emplace_back(name);
  return *this;
}

bool FormatSelection::Has(std::string_view name) const {
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

std::vector<const FormatRow*> RowsWritten(std::span<const FormatRow> registry, const FormatSelection& formats,
                                          StudyKind study) {
  for (const std::string& name : formats.Names()) {
    const bool known =
        std::any_of(registry.begin(), registry.end(), [&name](const FormatRow& row) { return row.name == name; });
    if (!known) throw std::invalid_argument(fmt::format("no output format is named \"{}\"", name));
  }
  std::vector<const FormatRow*> rows;
  for (const FormatRow& row : registry) {
    if (row.studies.Has(study) && (row.always || formats.Has(row.name))) rows.push_back(&row);
  }
  return rows;
}

std::uintmax_t EstimatedBytes(std::span<const FormatRow* const> rows, const ReplicateShape& shape) {
  std::uintmax_t bytes = 0;
  for (const FormatRow* row : rows) {
    if (row->estimate != nullptr) bytes += row->estimate(shape);
  }
  return bytes;
}

std::vector<const FormatRow*> OrderedBy(std::span<const FormatRow* const> rows, int FormatRow::*position) {
  std::vector<const FormatRow*> ordered(rows.begin(), rows.end());
  std::stable_sort(ordered.begin(), ordered.end(),
                   [position](const FormatRow* a, const FormatRow* b) { return a->*position < b->*position; });
  return ordered;
}

}  // namespace korvane
