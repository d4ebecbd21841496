#pragma once

// A VCF or BCF file read back through htslib, for the tests of the VCF
// writer and of whole runs: the header's text, the samples and every record
// with its genotypes as allele classes (class 1 REF, class 2 ALT).

#include <htslib/hts.h>
#include <htslib/kstring.h>
#include <htslib/vcf.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "output/format_writer.h"

namespace korvane::testing {

struct VcfRecordRead {
  std::string chrom;
  std::int64_t pos = 0;  // 1-based
  std::string id;
  std::string ref;
  std::string alt;
  std::string role;  // INFO ROLE, empty when absent
  bool placeholder = false;
  // Per sample: the allele classes of haplotype 1 and 2 ({0, 0} missing).
  std::vector<Genotype> genotypes;
  // Per sample: whether the second allele is marked phased ('|').
  std::vector<bool> phased;
  // Per sample, when the record has them: AN1 and AN2.
  std::vector<std::array<int, 2>> ancestry;
};

struct VcfRead {
  std::string header;
  std::vector<std::string> samples;
  std::vector<VcfRecordRead> records;
};

inline VcfRead ReadVcf(const std::filesystem::path& path) {
  VcfRead out;
  htsFile* file = hts_open(path.c_str(), "r");
  if (file == nullptr) throw std::runtime_error(path.string() + ": htslib cannot open it");
  bcf_hdr_t* header = bcf_hdr_read(file);
  if (header == nullptr) {
    hts_close(file);
    throw std::runtime_error(path.string() + ": htslib reads no header");
  }
  kstring_t text = {0, 0, nullptr};
  bcf_hdr_format(header, 0, &text);
  out.header.assign(text.s, text.l);
  std::free(text.s);
  const int n = bcf_hdr_nsamples(header);
  for (int i = 0; i < n; ++i) out.samples.emplace_back(header->samples[i]);
  bcf1_t* record = bcf_init();
  int32_t* gt = nullptr;
  int ngt = 0;
  char* role = nullptr;
  int nrole = 0;
  int32_t* an[2] = {nullptr, nullptr};
  int nan[2] = {0, 0};
  int status = 0;
  while ((status = bcf_read(file, header, record)) == 0) {
    bcf_unpack(record, BCF_UN_ALL);
    VcfRecordRead r;
    r.chrom = bcf_hdr_id2name(header, record->rid);
    r.pos = record->pos + 1;
    r.id = record->d.id;
    r.ref = record->n_allele > 0 ? record->d.allele[0] : "";
    r.alt = record->n_allele > 1 ? record->d.allele[1] : "";
    if (bcf_get_info_string(header, record, "ROLE", &role, &nrole) > 0) r.role = role;
    r.placeholder = bcf_get_info_flag(header, record, "PLACEHOLDER_ALLELES", nullptr, nullptr) == 1;
    if (n > 0 && bcf_get_genotypes(header, record, &gt, &ngt) == 2 * n) {
      for (int i = 0; i < n; ++i) {
        const auto classOf = [](int32_t allele) {
          return bcf_gt_is_missing(allele) ? std::uint8_t{0} : static_cast<std::uint8_t>(bcf_gt_allele(allele) + 1);
        };
        r.genotypes.push_back(Genotype{classOf(gt[2 * i]), classOf(gt[2 * i + 1])});
        r.phased.push_back(bcf_gt_is_phased(gt[2 * i + 1]) != 0);
      }
    }
    if (n > 0 && bcf_get_format_int32(header, record, "AN1", &an[0], &nan[0]) == n &&
        bcf_get_format_int32(header, record, "AN2", &an[1], &nan[1]) == n) {
      for (int i = 0; i < n; ++i) r.ancestry.push_back({an[0][i], an[1][i]});
    }
    out.records.push_back(std::move(r));
  }
  std::free(gt);
  std::free(role);
  std::free(an[0]);
  std::free(an[1]);
  bcf_destroy(record);
  bcf_hdr_destroy(header);
  hts_close(file);
  if (status < -1) throw std::runtime_error(path.string() + ": htslib cannot read a record");
  return out;
}

}  // namespace korvane::testing
