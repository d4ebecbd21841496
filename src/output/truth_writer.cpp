#include "output/truth_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <system_error>

#include "output/writer_support.h"
#include "refdata/region_catalogue.h"

namespace korvane {

using namespace output_detail;

namespace {

constexpr std::string_view kNa = "NA";

void AppendNumber(TextBuffer& text, double value) { fmt::format_to(fmt::appender(text), "{:.6f}", value); }

// A frequency of a per-locus table, NA where the table does not apply.
void AppendFrequency(TextBuffer& text, const std::vector<float>& table, std::size_t locus) {
  if (locus < table.size()) {
    AppendNumber(text, table[locus]);
  } else {
    Append(text, kNa);
  }
}

// The frequency of the risk class, from a table of class-1 frequencies.
void AppendRiskFrequency(TextBuffer& text, const std::vector<float>& table, std::size_t locus, int riskClass) {
  if (locus < table.size()) {
    const double classOne = table[locus];
    AppendNumber(text, riskClass == 1 ? classOne : 1.0 - classOne);
  } else {
    Append(text, kNa);
  }
}

std::string RoleName(const TraitLocusTruth& locus) {
  return locus.qtl == 0 ? std::string("causal") : fmt::format("qtl{}", locus.qtl);
}

}  // namespace

TruthWriter::TruthWriter(const std::filesystem::path& folder, StudyKind study, AncestryFormat ancestry,
                         LineEnds lineEnds)
    : study_(study),
      ancestry_(ancestry),
      loci_(CreateIn(folder, "Loci.tsv", lineEnds)),
      traitLoci_(CreateIn(folder, "Truth.tsv", lineEnds)),
      individuals_(CreateIn(folder, "Individuals.tsv", lineEnds)) {
  const bool qualitative = study_ == StudyKind::kQualitative;
  individuals_.Write(qualitative ? "id\tstatus\tsex\tsource\tpopulation_draw\torigin_ancestry\trealized_ancestry\n"
                                 : "id\tphenotype\tsex\tsource\tpopulation_draw\torigin_ancestry\trealized_ancestry\n");
}

void TruthWriter::Locus(const MapEntry& entry) { entries_.push_back(entry); }

void TruthWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  TextBuffer line;
  AppendInt(line, individual.id);
  Append(line, "\t");
  if (study_ == StudyKind::kQualitative) {
    Append(line, individual.CaseOrControl() == Affection::kAffected ? "case" : "control");
  } else if (individual.phenotype) {
    fmt::format_to(fmt::appender(line), "{}", *individual.phenotype);
  } else {
    Append(line, kNa);
  }
  Append(line, individual.sex == Sex::kFemale ? "\tfemale\t" : "\tmale\t");
  Append(line, SampleSourceName(individual.source));
  Append(line, "\t");
  AppendInt(line, individual.populationDraw);
  Append(line, "\t");
  // As Origin.txt prints it.
  if (ancestry_ == AncestryFormat::kSourcePool) {
    Append(line, individual.ancestry == 1.0 ? "1.0" : "0.0");
  } else {
    AppendFixed6(line, individual.ancestry);
  }
  Append(line, "\t");
  if (individual.realizedAncestry) {
    AppendNumber(line, *individual.realizedAncestry);
  } else {
    Append(line, kNa);
  }
  Append(line, "\n");
  WriteOut(individuals_, line);

  // The sample's class-1 frequency of every locus, over the genotypes written.
  if (alleles_.size() != row.genotypes.size()) {
    alleles_.assign(row.genotypes.size(), 0);
    classOneAlleles_.assign(row.genotypes.size(), 0);
  }
  for (std::size_t g = 0; g < row.genotypes.size(); ++g) {
    const Genotype genotype = row.genotypes[g];
    if (genotype.Missing()) continue;
    alleles_[g] += 2;
    classOneAlleles_[g] += genotype.ClassOneCount();
  }
}

void TruthWriter::Finish(const ReplicateTruth& truth) {
  WriteLoci(truth);
  WriteTraitLoci(truth);
}

void TruthWriter::WriteLoci(const ReplicateTruth& truth) {
  // The roles of the trait loci; a locus that two QTLs share lists both.
  std::map<int, std::string> roles;
  for (const TraitLocusTruth& locus : truth.traitLoci) {
    if (locus.position == 0) continue;
    std::string& role = roles[locus.position];
    role += (role.empty() ? "" : ",") + RoleName(locus);
  }
  TextBuffer text;
  Append(text,
         "id\tsnp_number\tregion\tregion_name\tposition_bp\tcm\trole\tclass1_freq_yri\tclass1_freq_second\t"
         "class1_freq_admixed\tclass1_freq_sample\n");
  RegionCentimorgans centimorgans;
  for (std::size_t j = 0; j < entries_.size(); ++j) {
    const MapEntry& entry = entries_[j];
    const double cm = centimorgans.Next(entry);
    fmt::format_to(fmt::appender(text), "snp{}\t{}\t{}\t{}\t", entry.snpNumber, entry.snpNumber, entry.regionNumber,
                   RegionCatalogue::Name(entry.regionNumber - 1));
    AppendFixed0(text, entry.position);
    Append(text, "\t");
    AppendNumber(text, cm);
    Append(text, "\t");
    const auto role = roles.find(entry.snpNumber);
    if (role != roles.end()) {
      Append(text, role->second);
    } else {
      Append(text, j < truth.isNull.size() && truth.isNull[j] != 0 ? "null" : "other");
    }
    Append(text, "\t");
    AppendFrequency(text, truth.classOneYri, j);
    Append(text, "\t");
    AppendFrequency(text, truth.classOneSecond, j);
    Append(text, "\t");
    AppendFrequency(text, truth.classOneAdmixed, j);
    Append(text, "\t");
    if (j < alleles_.size() && alleles_[j] > 0) {
      AppendNumber(text, static_cast<double>(classOneAlleles_[j]) / static_cast<double>(alleles_[j]));
    } else {
      Append(text, kNa);
    }
    Append(text, "\n");
    if (text.size() >= 64 * 1024) WriteOut(loci_, text);
  }
  WriteOut(loci_, text);
}

void TruthWriter::WriteTraitLoci(const ReplicateTruth& truth) {
  const bool qualitative = study_ == StudyKind::kQualitative;
  TextBuffer text;
  Append(text, "id\trole\trisk_allele_code\trisk_freq\trisk_freq_yri\trisk_freq_second\trisk_freq_admixed\t");
  Append(text, qualitative ? "prevalence\trelative_risk\tf0\tf1\tf2\tf0_applied\tf1_applied\tf2_applied\n"
                           : "effect_a\tgroup_mean_yri\tgroup_mean_second\tvariance_share\tvariance_share_realized\n");
  for (const TraitLocusTruth& locus : truth.traitLoci) {
    if (locus.position == 0) continue;
    const auto j = static_cast<std::size_t>(locus.position - 1);
    fmt::format_to(fmt::appender(text), "snp{}\t{}\t{}\t", locus.position, RoleName(locus), locus.riskClass);
    AppendNumber(text, locus.riskFrequency);
    for (const std::vector<float>* table : {&truth.classOneYri, &truth.classOneSecond, &truth.classOneAdmixed}) {
      Append(text, "\t");
      AppendRiskFrequency(text, *table, j, locus.riskClass);
    }
    if (qualitative && locus.appliedAsDerived) {
      // The penetrances as derived, and as applied: the same, but that a
      // probability acts within [0, 1].
      const auto applied = [](double f) { return std::clamp(f, 0.0, 1.0); };
      fmt::format_to(fmt::appender(text), "\t{}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\n", locus.prevalence, locus.relativeRisk,
                     locus.f0, locus.f1, locus.f2, applied(locus.f0), applied(locus.f1), applied(locus.f2));
    } else if (qualitative) {
      // The penetrances as derived, then as applied through the draw's grid
      // of thousandths.
      fmt::format_to(fmt::appender(text), "\t{}\t{}\t{}\t{}\t{}\t{:.3f}\t{:.3f}\t{:.3f}\n", locus.prevalence,
                     locus.relativeRisk, locus.f0, locus.f1, locus.f2, locus.t0 / 1000.0, locus.t1 / 1000.0,
                     locus.t2 / 1000.0);
    } else {
      fmt::format_to(fmt::appender(text), "\t{}\t", locus.effect);
      for (const std::optional<double>& mean : {truth.groupMeanYri, truth.groupMeanSecond}) {
        if (mean) {
          fmt::format_to(fmt::appender(text), "{}\t", *mean);
        } else {
          Append(text, "NA\t");
        }
      }
      AppendNumber(text, locus.varianceShare);
      Append(text, "\t");
      if (locus.realizedShare) {
        AppendNumber(text, *locus.realizedShare);
      } else {
        Append(text, kNa);
      }
      Append(text, "\n");
    }
  }
  WriteOut(traitLoci_, text);
}

void TruthWriter::Close() { CloseInOrder({&individuals_, &loci_, &traitLoci_}); }

TruthLociLog::TruthLociLog(const std::string& outputDirectory, LineEnds lineEnds) {
  const std::filesystem::path path = outputDirectory + "/Truth_Loci.tsv";
  std::error_code ec;
  const bool fresh = !std::filesystem::exists(path, ec) || std::filesystem::file_size(path, ec) == 0;
  file_ = OutputFile(path, OutputFile::Mode::kAppend, lineEnds);
  if (fresh) {
    file_.Write("replicate\trole\tid\tposition_all\tposition_candidate\n");
    file_.Flush();
  }
}

void TruthLociLog::Replicate(int n, StudyKind study, const std::vector<int>& positionsAll,
                             const std::vector<int>& positionsCandidate) {
  TextBuffer text;
  for (std::size_t k = 0; k < positionsAll.size(); ++k) {
    if (positionsAll[k] == 0) continue;
    const std::string role = study == StudyKind::kQualitative ? std::string("causal") : fmt::format("qtl{}", k + 1);
    fmt::format_to(fmt::appender(text), "{}\t{}\tsnp{}\t{}\t{}\n", n, role, positionsAll[k], positionsAll[k],
                   k < positionsCandidate.size() ? positionsCandidate[k] : 0);
  }
  WriteOut(file_, text);
  file_.Flush();
}

void TruthLociLog::Close() { file_.Close(); }

}  // namespace korvane
