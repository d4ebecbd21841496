#include "evaluate/evaluation_input.h"

#include <fmt/format.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

namespace {

// A tab-separated table with a header line, read whole; every problem names
// the file, and the line and column where there is one.
class TsvTable {
 public:
  explicit TsvTable(const std::filesystem::path& path) : name_(path.filename().string()) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("{}: cannot be read", path.string()));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw std::runtime_error(fmt::format("{}: cannot be read", path.string()));
    text_ = text.str();
    std::string_view rest(text_);
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      std::string_view line = rest.substr(0, end);
      if (line.ends_with('\r')) line.remove_suffix(1);
      rows_.push_back(Split(line));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    if (rows_.empty()) throw std::runtime_error(fmt::format("{}: the file is empty", name_));
    for (std::size_t c = 0; c < rows_[0].size(); ++c) columns_[std::string(rows_[0][c])] = c;
    for (std::size_t r = 1; r < rows_.size(); ++r) {
      if (rows_[r].size() != rows_[0].size()) {
        throw std::runtime_error(
            fmt::format("{} line {}: {} fields, the header has {}", name_, r + 1, rows_[r].size(), rows_[0].size()));
      }
    }
  }

  std::size_t Rows() const { return rows_.size() - 1; }
  bool Has(std::string_view column) const { return columns_.count(std::string(column)) != 0; }

  std::size_t Column(std::string_view column) const {
    const auto it = columns_.find(std::string(column));
    if (it == columns_.end()) throw std::runtime_error(fmt::format("{}: no column {}", name_, column));
    return it->second;
  }

  // Row r (from 0, after the header) of a column.
  std::string_view Text(std::size_t r, std::size_t column) const { return rows_[r + 1][column]; }

  std::optional<double> Number(std::size_t r, std::size_t column) const {
    const std::string_view text = Text(r, column);
    if (text == "NA") return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
      throw std::runtime_error(fmt::format("{} line {}: {} is not a number ({})", name_, r + 2, text, Header(column)));
    }
    return value;
  }

  double RequiredNumber(std::size_t r, std::size_t column) const {
    const std::optional<double> value = Number(r, column);
    if (!value) throw std::runtime_error(fmt::format("{} line {}: {} is NA", name_, r + 2, Header(column)));
    return *value;
  }

  int Integer(std::size_t r, std::size_t column) const {
    const std::string_view text = Text(r, column);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
      throw std::runtime_error(
          fmt::format("{} line {}: {} is not an integer ({})", name_, r + 2, text, Header(column)));
    }
    return value;
  }

  std::runtime_error Error(std::size_t r, const std::string& what) const {
    return std::runtime_error(fmt::format("{} line {}: {}", name_, r + 2, what));
  }

 private:
  static std::vector<std::string_view> Split(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
      const std::size_t tab = line.find('\t');
      fields.push_back(line.substr(0, tab));
      if (tab == std::string_view::npos) break;
      line.remove_prefix(tab + 1);
    }
    return fields;
  }
  std::string_view Header(std::size_t column) const { return rows_[0][column]; }

  std::string name_;
  std::string text_;
  std::vector<std::vector<std::string_view>> rows_;
  std::map<std::string, std::size_t> columns_;
};

void ReadLoci(const std::filesystem::path& folder, ReplicateInput& input) {
  const TsvTable loci(folder / "Loci.tsv");
  const GenotypeTable& g = input.genotypes;
  if (loci.Rows() != static_cast<std::size_t>(g.loci)) {
    throw std::runtime_error(fmt::format("Loci.tsv: {} loci, Plink.map has {}", loci.Rows(), g.loci));
  }
  const std::size_t id = loci.Column("id"), region = loci.Column("region"), cm = loci.Column("cm"),
                    role = loci.Column("role");
  for (std::size_t r = 0; r < loci.Rows(); ++r) {
    if (loci.Text(r, id) != g.locusIds[r]) {
      throw loci.Error(r, fmt::format("locus {} where Plink.map has {}", loci.Text(r, id), g.locusIds[r]));
    }
    input.region.push_back(loci.Integer(r, region));
    input.centimorgans.push_back(loci.RequiredNumber(r, cm));
    input.isNull.push_back(loci.Text(r, role) == "null" ? 1 : 0);
  }
}

void ReadIndividuals(const std::filesystem::path& folder, ReplicateInput& input) {
  const TsvTable table(folder / "Individuals.tsv");
  const GenotypeTable& g = input.genotypes;
  if (table.Rows() != static_cast<std::size_t>(g.individuals)) {
    throw std::runtime_error(
        fmt::format("Individuals.tsv: {} individuals, the PLINK files have {}", table.Rows(), g.individuals));
  }
  const bool qualitative = table.Has("status");
  input.study = qualitative ? StudyKind::kQualitative : StudyKind::kQuantitative;
  const std::size_t id = table.Column("id"), trait = table.Column(qualitative ? "status" : "phenotype"),
                    source = table.Column("source"), draw = table.Column("population_draw"),
                    origin = table.Column("origin_ancestry"), realized = table.Column("realized_ancestry");
  for (std::size_t r = 0; r < table.Rows(); ++r) {
    if (table.Text(r, id) != g.individualIds[r]) {
      throw table.Error(
          r, fmt::format("individual {} where the PLINK files have {}", table.Text(r, id), g.individualIds[r]));
    }
    EvaluatedIndividual individual;
    if (qualitative) {
      const std::string_view status = table.Text(r, trait);
      if (status != "case" && status != "control") throw table.Error(r, fmt::format("status {}", status));
      individual.affected = status == "case";
    } else {
      individual.phenotype = table.Number(r, trait);
    }
    const std::string_view from = table.Text(r, source);
    if (from == "YRI_pool") {
      individual.source = SampleSource::kYriPool;
    } else if (from == "second_pool") {
      individual.source = SampleSource::kSecondPool;
    } else if (from == "admixed") {
      individual.source = SampleSource::kAdmixed;
    } else {
      throw table.Error(r, fmt::format("source {}", from));
    }
    individual.populationDraw = table.Integer(r, draw);
    individual.originAncestry = table.RequiredNumber(r, origin);
    individual.realizedAncestry = table.Number(r, realized);
    input.individuals.push_back(individual);
  }
}

void ReadTraitLoci(const std::filesystem::path& folder, ReplicateInput& input) {
  const TsvTable table(folder / "Truth.tsv");
  std::unordered_map<std::string_view, int> index;
  for (int l = 0; l < input.genotypes.loci; ++l) index[input.genotypes.locusIds[static_cast<std::size_t>(l)]] = l;
  const bool qualitative = input.study == StudyKind::kQualitative;
  const std::size_t id = table.Column("id"), role = table.Column("role"), risk = table.Column("risk_allele_code"),
                    freq = table.Column("risk_freq"), yri = table.Column("risk_freq_yri"),
                    second = table.Column("risk_freq_second"), admixed = table.Column("risk_freq_admixed");
  for (std::size_t r = 0; r < table.Rows(); ++r) {
    EvaluatedTraitLocus locus;
    const auto at = index.find(table.Text(r, id));
    if (at == index.end()) throw table.Error(r, fmt::format("{} is not a locus of Plink.map", table.Text(r, id)));
    locus.locus = at->second;
    locus.role = std::string(table.Text(r, role));
    locus.riskClass = table.Integer(r, risk);
    locus.riskFrequency = table.RequiredNumber(r, freq);
    locus.riskFrequencyYri = table.Number(r, yri);
    locus.riskFrequencySecond = table.Number(r, second);
    locus.riskFrequencyAdmixed = table.Number(r, admixed);
    if (qualitative) {
      locus.prevalence = table.RequiredNumber(r, table.Column("prevalence"));
      locus.relativeRisk = table.RequiredNumber(r, table.Column("relative_risk"));
      const char* derived[] = {"f0", "f1", "f2"};
      const char* applied[] = {"f0_applied", "f1_applied", "f2_applied"};
      for (std::size_t k = 0; k < 3; ++k) {
        locus.penetrance[k] = table.RequiredNumber(r, table.Column(derived[k]));
        locus.penetranceApplied[k] = table.RequiredNumber(r, table.Column(applied[k]));
      }
    } else {
      locus.effect = table.RequiredNumber(r, table.Column("effect_a"));
      locus.varianceShare = table.RequiredNumber(r, table.Column("variance_share"));
      locus.realizedShare = table.Number(r, table.Column("variance_share_realized"));
      if (r == 0) {
        input.groupMeanYri = table.Number(r, table.Column("group_mean_yri"));
        input.groupMeanSecond = table.Number(r, table.Column("group_mean_second"));
      }
    }
    input.traitLoci.push_back(std::move(locus));
  }
}

}  // namespace

double AsPrintedWithSixDecimals(double value) {
  const std::string text = fmt::format("{:.6f}", value);
  return std::strtod(text.c_str(), nullptr);
}

ReplicateInput ReadReplicateFolder(const std::filesystem::path& folder, int replicate) {
  // The pedigree and map files, or else the binary files of the same
  // genotypes (a run written with --formats only=bed).
  namespace fs = std::filesystem;
  const bool text = fs::exists(folder / "Plink.ped") || fs::exists(folder / "Plink.map");
  const bool binary = !text && fs::exists(folder / "Plink.bed");
  static const std::vector<std::string> kText{"Plink.ped", "Plink.map"};
  static const std::vector<std::string> kBinary{"Plink.bed", "Plink.bim", "Plink.fam"};
  for (const std::string& name : binary ? kBinary : kText) {
    if (!fs::exists(folder / name)) {
      throw std::runtime_error(fmt::format(
          "{}: no {}; the evaluation reads the PLINK files (--write-plink 1) or the PLINK binary files (--formats "
          "bed)",
          folder.string(), name));
    }
  }
  for (const char* name : {"Loci.tsv", "Truth.tsv", "Individuals.tsv"}) {
    if (!std::filesystem::exists(folder / name)) {
      throw std::runtime_error(
          fmt::format("{}: no {}; the evaluation reads the truth files (--truth 1)", folder.string(), name));
    }
  }
  ReplicateInput input;
  input.replicate = replicate;
  input.genotypes = binary ? ReadPlinkBinary(folder / "Plink.bed", folder / "Plink.bim", folder / "Plink.fam")
                           : ReadPlinkText(folder / "Plink.ped", folder / "Plink.map", nullptr);
  ReadLoci(folder, input);
  ReadIndividuals(folder, input);
  ReadTraitLoci(folder, input);
  return input;
}

}  // namespace korvane
