#include "output/vcf_writer.h"

#include <fmt/format.h>
#include <htslib/hts.h>
#include <htslib/vcf.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "output/output_file.h"
#include "refdata/region_catalogue.h"

namespace korvane {

namespace {

// The class-1 and class-2 letters written where the panels show no single
// letter of a class: one of each class, so REF and ALT still differ.
constexpr char kClassOnePlaceholder = 'A';
constexpr char kClassTwoPlaceholder = 'C';

// Both files are compressed at level 1 ("wz1", "wb1"): a replicate of 2000
// individuals at 12867 loci is written five times faster than at zlib's
// default level, for a file about 30 % larger (bench/writer_bench).

// The index's smallest bin, 2^14 bp: CSI's usual bins, those of a tabix index.
constexpr int kCsiMinShift = 14;

std::string SystemMessage() {
  const int error = errno != 0 ? errno : EIO;
  return std::generic_category().message(error);
}

}  // namespace

// The open file, its header and one record, freed whatever happens.
struct VcfWriter::Hts {
  htsFile* file = nullptr;
  bcf_hdr_t* header = nullptr;
  bcf1_t* record = nullptr;

  Hts() = default;
  Hts(const Hts&) = delete;
  Hts& operator=(const Hts&) = delete;
  ~Hts() {
    if (record != nullptr) bcf_destroy(record);
    if (header != nullptr) bcf_hdr_destroy(header);
    if (file != nullptr) static_cast<void>(hts_close(file));
  }
};

std::string VcfWriter::FileName(VcfKind kind) { return kind == VcfKind::kVcfGz ? kVcfGzName : kBcfName; }

std::string VcfWriter::IndexName(VcfKind kind) { return FileName(kind) + (kind == VcfKind::kVcfGz ? ".tbi" : ".csi"); }

VcfWriter::VcfWriter(const std::filesystem::path& folder, VcfKind kind, std::size_t memoryBound)
    : VcfWriter(folder, kind, std::make_unique<GenotypeStore>(folder, memoryBound, true), nullptr) {}

VcfWriter::VcfWriter(const std::filesystem::path& folder, VcfKind kind, GenotypeStore& shared)
    : VcfWriter(folder, kind, nullptr, &shared) {}

VcfWriter::VcfWriter(const std::filesystem::path& folder, VcfKind kind, std::unique_ptr<GenotypeStore> own,
                     GenotypeStore* shared)
    : kind_(kind),
      path_(folder / FileName(kind)),
      hts_(std::make_unique<Hts>()),
      own_(std::move(own)),
      store_(shared != nullptr ? shared : own_.get()) {
  if (!store_->Phased()) throw std::logic_error("VCF: the genotype store does not keep the phase");
  errno = 0;
  hts_->file = hts_open(path_.c_str(), kind == VcfKind::kVcfGz ? "wz1" : "wb1");
  if (hts_->file == nullptr) {
    throw OutputError(fmt::format("{}: cannot create: {}", path_.string(), SystemMessage()));
  }
}

VcfWriter::~VcfWriter() = default;

void VcfWriter::SetCompressionThreads(int threads) {
  if (threads <= 0 || hts_->file == nullptr) return;
  if (hts_set_threads(hts_->file, threads) != 0) {
    throw OutputError(fmt::format("{}: cannot start {} compression threads", path_.string(), threads));
  }
}

void VcfWriter::Locus(const MapEntry& entry) {
  if (!samples_.empty()) throw std::logic_error("VCF: a locus after the first individual");
  // A VCF position is 1-based; the maps' positions are positive whole
  // numbers, and a record out of order would make the file unindexable.
  if (!(entry.position >= 1 && entry.position <= 2147483647.0) || std::floor(entry.position) != entry.position) {
    throw std::invalid_argument(fmt::format("VCF: snp{}: position {} is not a whole number of base pairs from 1",
                                            entry.snpNumber, entry.position));
  }
  if (!entries_.empty() && entries_.back().regionNumber == entry.regionNumber &&
      entries_.back().position >= entry.position) {
    throw std::invalid_argument(fmt::format("VCF: snp{}: position {} is not after the previous locus's {}",
                                            entry.snpNumber, entry.position, entries_.back().position));
  }
  entries_.push_back(entry);
  if (own_) own_->AddLocus();
}

void VcfWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  if (own_) own_->Append(row.genotypes, row.ancestry);
  samples_.push_back(fmt::format("{}_{}", individual.id, individual.id));
}

std::vector<std::string> VcfWriter::Roles(const ReplicateTruth& truth) const {
  std::vector<std::string> roles(entries_.size());
  for (std::size_t j = 0; j < entries_.size(); ++j) {
    roles[j] = j < truth.isNull.size() && truth.isNull[j] != 0 ? "null" : "other";
  }
  // A trait locus's role replaces the default; a locus two QTLs share lists both.
  std::map<std::size_t, std::string> traits;
  for (const TraitLocusTruth& locus : truth.traitLoci) {
    if (locus.position <= 0 || static_cast<std::size_t>(locus.position) > entries_.size()) continue;
    std::string& role = traits[static_cast<std::size_t>(locus.position) - 1];
    role += (role.empty() ? "" : ",") + (locus.qtl == 0 ? std::string("causal") : fmt::format("qtl{}", locus.qtl));
  }
  for (auto& [j, role] : traits) roles[j] = std::move(role);
  return roles;
}

void VcfWriter::WriteHeader() {
  bcf_hdr_t*& header = hts_->header;
  header = bcf_hdr_init("w");
  if (header == nullptr) throw OutputError(fmt::format("{}: cannot make the VCF header", path_.string()));
  // The last chosen position of every region, the length of its contig.
  std::map<int, double> lastPosition;
  for (const MapEntry& entry : entries_) lastPosition[entry.regionNumber] = entry.position;
  std::vector<std::string> lines = {
      fmt::format("##source=korvane {}", KORVANE_VERSION),
  };
  for (int r = 1; r <= RegionCatalogue::kCount; ++r) {
    const auto last = lastPosition.find(r);
    lines.push_back(last == lastPosition.end() ? fmt::format("##contig=<ID={}>", r)
                                               : fmt::format("##contig=<ID={},length={:.0f}>", r, last->second));
  }
  for (int r = 1; r <= RegionCatalogue::kCount; ++r) {
    lines.push_back(fmt::format("##korvane_region=<ID={},Name={}>", r, RegionCatalogue::Name(r - 1)));
  }
  lines.emplace_back(
      "##INFO=<ID=ROLE,Number=.,Type=String,Description=\"The locus's role in the replicate: causal, qtl1 to qtl5, "
      "null (a null locus or AIM) or other\">");
  lines.emplace_back(
      "##INFO=<ID=PLACEHOLDER_ALLELES,Number=0,Type=Flag,Description=\"The reference panels show no single letter of "
      "allele class 1 (A or T) or of class 2 (C or G): REF A or ALT C stands for that class\">");
  lines.emplace_back(
      "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Phased genotype, haplotype 1 first: 0 allele class 1 (REF), "
      "1 allele class 2 (ALT)\">");
  if (store_->HasAncestry()) {
    lines.emplace_back("##ANCESTRY=<YRI=0,SECOND=1>");
    for (const int h : {1, 2}) {
      lines.push_back(fmt::format(
          "##FORMAT=<ID=AN{},Number=1,Type=Integer,Description=\"The population haplotype {}'s allele was copied "
          "from: 0 YRI, 1 the second population (SECOND)\">",
          h, h));
    }
  }
  for (const std::string& line : lines) {
    if (bcf_hdr_append(header, line.c_str()) != 0) {
      throw OutputError(fmt::format("{}: the VCF header refuses the line {}", path_.string(), line));
    }
  }
  for (const std::string& sample : samples_) {
    if (bcf_hdr_add_sample(header, sample.c_str()) != 0) {
      throw OutputError(fmt::format("{}: the VCF header refuses the sample {}", path_.string(), sample));
    }
  }
  if (bcf_hdr_sync(header) != 0) throw OutputError(fmt::format("{}: cannot make the VCF header", path_.string()));
  errno = 0;
  if (bcf_hdr_write(hts_->file, header) != 0) {
    throw OutputError(fmt::format("{}: cannot write: {}", path_.string(), SystemMessage()));
  }
  // The index follows the records as they are written: a tabix index
  // (min_shift 0) for VCF, a CSI index for BCF.
  // htslib keeps the name's pointer, not a copy: it lives in the writer.
  indexPath_ = (path_.parent_path() / IndexName(kind_)).string();
  if (bcf_idx_init(hts_->file, header, kind_ == VcfKind::kVcfGz ? 0 : kCsiMinShift, indexPath_.c_str()) != 0) {
    throw OutputError(fmt::format("{}: cannot start the index {}", path_.string(), indexPath_));
  }
}

void VcfWriter::Finish(const ReplicateTruth& truth) {
  if (store_->IndividualCount() != samples_.size()) {
    throw std::logic_error(fmt::format("VCF: {} individuals written but {} in the genotype store", samples_.size(),
                                       store_->IndividualCount()));
  }
  if (entries_.size() != store_->LocusCount()) {
    throw std::invalid_argument(
        fmt::format("VCF: {} loci listed but genotypes of {} loci", entries_.size(), store_->LocusCount()));
  }
  WriteHeader();
  WriteRecords(truth);
  finished_ = true;
}

void VcfWriter::WriteRecords(const ReplicateTruth& truth) {
  bcf_hdr_t* header = hts_->header;
  hts_->record = bcf_init();
  bcf1_t* record = hts_->record;
  if (record == nullptr) throw OutputError(fmt::format("{}: cannot make a VCF record", path_.string()));
  const std::vector<std::string> roles = Roles(truth);
  const std::size_t n = samples_.size();
  std::vector<Genotype> column(n);
  std::vector<std::int32_t> gt(2 * n);
  // Local ancestry: per individual, whether each haplotype's allele came
  // from YRI, and the AN1 and AN2 values (0 YRI, 1 SECOND).
  const bool ancestry = store_->HasAncestry();
  std::vector<std::uint8_t> yri(ancestry ? 2 * n : 0);
  std::vector<std::int32_t> an1(ancestry ? n : 0);
  std::vector<std::int32_t> an2(ancestry ? n : 0);
  const auto fail = [this](std::string_view what) {
    throw OutputError(fmt::format("{}: cannot {}: {}", path_.string(), what, SystemMessage()));
  };
  store_->ForEachLocus([&](std::size_t j) {
    if (checkpoint_ && j % kCheckpointLoci == 0) checkpoint_();
    const MapEntry& entry = entries_[j];
    bcf_clear(record);
    record->rid = bcf_hdr_name2id(header, std::to_string(entry.regionNumber).c_str());
    record->pos = static_cast<hts_pos_t>(entry.position) - 1;
    bcf_float_set_missing(record->qual);
    const std::string id = fmt::format("snp{}", entry.snpNumber);
    if (bcf_update_id(header, record, id.c_str()) != 0) fail("set a record's ID");
    const bool placeholder = entry.classOneLetter == 0 || entry.classTwoLetter == 0;
    const char alleles[] = {entry.classOneLetter != 0 ? entry.classOneLetter : kClassOnePlaceholder, ',',
                            entry.classTwoLetter != 0 ? entry.classTwoLetter : kClassTwoPlaceholder, '\0'};
    if (bcf_update_alleles_str(header, record, alleles) != 0) fail("set a record's alleles");
    if (bcf_update_info_string(header, record, "ROLE", roles[j].c_str()) != 0) fail("set a record's ROLE");
    if (placeholder && bcf_update_info_flag(header, record, "PLACEHOLDER_ALLELES", nullptr, 1) != 0) {
      fail("set a record's PLACEHOLDER_ALLELES");
    }
    if (n != 0) {
      store_->PutGenotypes(j, column.data());
      for (std::size_t t = 0; t < n; ++t) {
        const Genotype g = column[t];
        if (g.Missing()) {
          gt[2 * t] = bcf_gt_missing;
          gt[2 * t + 1] = bcf_gt_phased(-1);
        } else {
          gt[2 * t] = bcf_gt_unphased(g.first - 1);
          gt[2 * t + 1] = bcf_gt_phased(g.second - 1);
        }
      }
      if (bcf_update_genotypes(header, record, gt.data(), static_cast<int>(gt.size())) != 0) {
        fail("set a record's genotypes");
      }
    }
    if (n != 0 && ancestry) {
      store_->PutAncestry(j, yri.data());
      for (std::size_t t = 0; t < n; ++t) {
        an1[t] = yri[2 * t] != 0 ? 0 : 1;
        an2[t] = yri[2 * t + 1] != 0 ? 0 : 1;
      }
      if (bcf_update_format_int32(header, record, "AN1", an1.data(), static_cast<int>(n)) != 0 ||
          bcf_update_format_int32(header, record, "AN2", an2.data(), static_cast<int>(n)) != 0) {
        fail("set a record's ancestry");
      }
    }
    errno = 0;
    if (bcf_write(hts_->file, header, record) != 0) fail("write");
  });
}

void VcfWriter::Close() {
  if (own_) own_->Close();
  if (hts_->file == nullptr) return;
  htsFile* file = std::exchange(hts_->file, nullptr);
  // The index of a finished file is saved (it flushes the file first); an
  // unfinished one has none.
  if (!finished_ && file->idx != nullptr) {
    hts_idx_destroy(file->idx);
    file->idx = nullptr;
  }
  errno = 0;
  const bool indexSaved = !finished_ || bcf_idx_save(file) == 0;
  const std::string indexError = indexSaved ? std::string() : SystemMessage();
  errno = 0;
  const bool closed = hts_close(file) == 0;
  if (!indexSaved) {
    throw OutputError(fmt::format("{}: cannot write the index {}: {}", path_.string(), indexPath_, indexError));
  }
  if (!closed) throw OutputError(fmt::format("{}: cannot close: {}", path_.string(), SystemMessage()));
}

}  // namespace korvane
