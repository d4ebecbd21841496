#include "evaluate/result_file.h"

#include <fmt/format.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvane {
namespace {

constexpr std::string_view kMagic = "KORVANE-EVALUATION\n";
constexpr std::uint32_t kVersion = 1;

// The bytes of a file being made.
class Encoder {
 public:
  void U8(std::uint8_t value) { bytes_.push_back(static_cast<char>(value)); }
  void U32(std::uint32_t value) {
    for (int k = 0; k < 4; ++k) U8(static_cast<std::uint8_t>(value >> (8 * k)));
  }
  void U64(std::uint64_t value) {
    for (int k = 0; k < 8; ++k) U8(static_cast<std::uint8_t>(value >> (8 * k)));
  }
  void I32(int value) { U32(static_cast<std::uint32_t>(value)); }
  void F64(double value) { U64(std::bit_cast<std::uint64_t>(value)); }
  void F32(float value) { U32(std::bit_cast<std::uint32_t>(value)); }
  void Text(std::string_view text) {
    U64(text.size());
    bytes_.append(text);
  }
  void Floats(const std::vector<float>& values) {
    U64(values.size());
    for (const float value : values) F32(value);
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// A cursor over a file's bytes; reading past the end is an error naming the
// file.
class Decoder {
 public:
  Decoder(const std::string& bytes, std::string name) : bytes_(bytes), name_(std::move(name)) {}

  std::uint8_t U8() {
    Need(1);
    return static_cast<std::uint8_t>(bytes_[pos_++]);
  }
  std::uint32_t U32() {
    std::uint32_t value = 0;
    for (int k = 0; k < 4; ++k) value |= std::uint32_t{U8()} << (8 * k);
    return value;
  }
  std::uint64_t U64() {
    std::uint64_t value = 0;
    for (int k = 0; k < 8; ++k) value |= std::uint64_t{U8()} << (8 * k);
    return value;
  }
  int I32() { return static_cast<int>(U32()); }
  double F64() { return std::bit_cast<double>(U64()); }
  float F32() { return std::bit_cast<float>(U32()); }
  // A count of items of at least `itemBytes` each, checked against the bytes
  // left so that a damaged count cannot ask for more memory than the file.
  std::size_t Count(std::size_t itemBytes) {
    const std::uint64_t count = U64();
    if (itemBytes != 0 && count > (bytes_.size() - pos_) / itemBytes) Fail("a list longer than the file");
    return static_cast<std::size_t>(count);
  }
  std::string Text() {
    const std::size_t size = Count(1);
    std::string text = bytes_.substr(pos_, size);
    pos_ += size;
    return text;
  }
  std::vector<float> Floats() {
    std::vector<float> values(Count(4));
    for (float& value : values) value = F32();
    return values;
  }
  bool AtEnd() const { return pos_ == bytes_.size(); }
  [[noreturn]] void Fail(std::string_view what) const {
    throw std::runtime_error(fmt::format("{}: not an evaluation's results file: {} (at byte {})", name_, what, pos_));
  }

 private:
  void Need(std::size_t count) {
    if (bytes_.size() - pos_ < count) Fail("it ends early");
  }
  const std::string& bytes_;
  std::string name_;
  std::size_t pos_ = 0;
};

void Encode(Encoder& out, const ReplicateResult& r) {
  out.I32(r.replicate);
  out.U8(r.study == StudyKind::kQualitative ? 0 : 1);
  for (const int value : {r.n, r.cases, r.controls, r.unlinkedLoci, r.linkedLoci}) out.I32(value);
  for (const double value : {r.lambda, r.lambdaPc, r.lambdaAncestry}) out.F64(value);
  for (const auto* counts : {&r.type1, &r.type1Pc, &r.type1Gc, &r.linkedBelow}) {
    for (const int count : *counts) out.I32(count);
  }
  out.U64(r.traitLoci.size());
  for (const TraitLocusResult& l : r.traitLoci) {
    out.Text(l.role);
    out.Text(l.id);
    for (const double value : {l.chiSquare, l.p, l.pGc, l.pPc, l.pAncestry, l.pTrend}) out.F64(value);
    out.I32(l.rank);
    for (const double value : {l.estimate, l.trueEffect, l.appliedEffect}) out.F64(value);
    out.U8(l.realizedShare ? 1 : 0);
    out.F64(l.realizedShare.value_or(0));
    for (const double value : {l.expectedShare, l.askedShare, l.ncpModel, l.ncpNominal}) out.F64(value);
  }
  for (const double value : {r.phenotypeMean, r.phenotypeVariance, r.expectedPhenotypeVariance, r.ancestryCases,
                             r.ancestryControls, r.ancestrySample}) {
    out.F64(value);
  }
  for (const int value : {r.drawsOfCases, r.drawsOfControls, r.draws}) out.I32(value);
  out.U64(r.hardyWeinbergBelow005.size());
  for (const auto& [name, share] : r.hardyWeinbergBelow005) {
    out.Text(name);
    out.F64(share);
  }
  for (const auto* values :
       {&r.unlinkedP, &r.unlinkedPPc, &r.ancestryOfCases, &r.ancestryOfControls, &r.ancestryOfSample, &r.phenotypes}) {
    out.Floats(*values);
  }
  out.U64(r.loci.size());
  for (const LocusResult& locus : r.loci) {
    for (const double value : {locus.chiSquare, locus.p, locus.pPc, locus.pAncestry, locus.pTrend}) out.F64(value);
    out.U8(static_cast<std::uint8_t>(locus.kind));
  }
  out.U64(r.locusIds.size());
  for (const std::string& id : r.locusIds) out.Text(id);
  out.I32(r.pairsBelowRecombinationFloor);
  out.I32(r.neighbourPairs);
  out.F64(r.crossoversByMap);
  out.F64(r.crossoversDrawn);
}

ReplicateResult Decode(Decoder& in) {
  ReplicateResult r;
  r.replicate = in.I32();
  const std::uint8_t study = in.U8();
  if (study > 1) in.Fail("a study that is neither case-control nor quantitative");
  r.study = study == 0 ? StudyKind::kQualitative : StudyKind::kQuantitative;
  for (int* value : {&r.n, &r.cases, &r.controls, &r.unlinkedLoci, &r.linkedLoci}) *value = in.I32();
  for (double* value : {&r.lambda, &r.lambdaPc, &r.lambdaAncestry}) *value = in.F64();
  for (auto* counts : {&r.type1, &r.type1Pc, &r.type1Gc, &r.linkedBelow}) {
    for (int& count : *counts) count = in.I32();
  }
  r.traitLoci.resize(in.Count(16));
  for (TraitLocusResult& l : r.traitLoci) {
    l.role = in.Text();
    l.id = in.Text();
    for (double* value : {&l.chiSquare, &l.p, &l.pGc, &l.pPc, &l.pAncestry, &l.pTrend}) *value = in.F64();
    l.rank = in.I32();
    for (double* value : {&l.estimate, &l.trueEffect, &l.appliedEffect}) *value = in.F64();
    const bool realized = in.U8() != 0;
    const double share = in.F64();
    if (realized) l.realizedShare = share;
    for (double* value : {&l.expectedShare, &l.askedShare, &l.ncpModel, &l.ncpNominal}) *value = in.F64();
  }
  for (double* value : {&r.phenotypeMean, &r.phenotypeVariance, &r.expectedPhenotypeVariance, &r.ancestryCases,
                        &r.ancestryControls, &r.ancestrySample}) {
    *value = in.F64();
  }
  for (int* value : {&r.drawsOfCases, &r.drawsOfControls, &r.draws}) *value = in.I32();
  r.hardyWeinbergBelow005.resize(in.Count(16));
  for (auto& [name, share] : r.hardyWeinbergBelow005) {
    name = in.Text();
    share = in.F64();
  }
  for (auto* values :
       {&r.unlinkedP, &r.unlinkedPPc, &r.ancestryOfCases, &r.ancestryOfControls, &r.ancestryOfSample, &r.phenotypes}) {
    *values = in.Floats();
  }
  r.loci.resize(in.Count(41));
  for (LocusResult& locus : r.loci) {
    for (double* value : {&locus.chiSquare, &locus.p, &locus.pPc, &locus.pAncestry, &locus.pTrend}) *value = in.F64();
    locus.kind = static_cast<char>(in.U8());
  }
  r.locusIds.resize(in.Count(8));
  for (std::string& id : r.locusIds) id = in.Text();
  r.pairsBelowRecombinationFloor = in.I32();
  r.neighbourPairs = in.I32();
  r.crossoversByMap = in.F64();
  r.crossoversDrawn = in.F64();
  return r;
}

}  // namespace

void WriteResultFile(const std::filesystem::path& path, const EvaluationSettings& settings,
                     std::span<const ReplicateResult* const> results) {
  Encoder out;
  for (const char c : kMagic) out.U8(static_cast<std::uint8_t>(c));
  out.U32(kVersion);
  out.I32(settings.principalComponents);
  out.U8(settings.keepLoci ? 1 : 0);
  out.U64(results.size());
  for (const ReplicateResult* result : results) Encode(out, *result);
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) throw std::runtime_error(fmt::format("{}: cannot be created", path.string()));
  const std::string& bytes = out.Bytes();
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  if (!written || std::fflush(file.get()) != 0 || std::ferror(file.get()) != 0) {
    throw std::runtime_error(fmt::format("{}: cannot be written", path.string()));
  }
}

ResultFile ReadResultFile(const std::filesystem::path& path) {
  std::string bytes;
  {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) throw std::runtime_error(fmt::format("{}: cannot be opened", path.string()));
    char buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
    if (std::ferror(file.get()) != 0) throw std::runtime_error(fmt::format("{}: cannot be read", path.string()));
  }
  Decoder in(bytes, path.string());
  for (const char c : kMagic) {
    if (in.U8() != static_cast<std::uint8_t>(c)) in.Fail("its first bytes are not KORVANE-EVALUATION");
  }
  if (const std::uint32_t version = in.U32(); version != kVersion) {
    in.Fail(fmt::format("format version {}, this program reads version {}", version, kVersion));
  }
  ResultFile file;
  file.principalComponents = in.I32();
  file.keepLoci = in.U8() != 0;
  file.results.resize(in.Count(64));
  for (ReplicateResult& result : file.results) result = Decode(in);
  if (!in.AtEnd()) in.Fail("bytes after the last replicate");
  return file;
}

}  // namespace korvane
