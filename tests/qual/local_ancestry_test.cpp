// Local ancestry in case-control replicates: what the routines hand the
// writers (the ancestry rows and the realized YRI share of every written
// individual), LocalAncestry.bp read back against both, and the files of a
// run with tracking against those without it, for any number of threads
// and either kernel.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "breakpoint_file.h"
#include "output/output_set.h"
#include "qual/QUAL.h"
#include "qual/case_control.h"
#include "random/cpu_features.h"
#include "recording_host.h"
#include "refdata/haplotype_store.h"
#include "run/attempt.h"
#include "synthetic_data.h"
#include "test_files.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

// What one written individual carried to the writers.
struct Written {
  IndividualRecord record;
  bool tracked = false;
  std::vector<std::uint64_t> ancestry[2];  // copies of the packed rows
};

// A writer that keeps every individual's record and ancestry rows; the
// attempt under test points `sink` at its list.
class CapturingWriter : public FormatWriter {
 public:
  static inline std::vector<Written>* sink = nullptr;

  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override {
    Written written{individual, row.ancestry[0] != nullptr, {}};
    const int words = WordsForLoci(static_cast<int>(row.genotypes.size()));
    for (std::size_t h = 0; h < 2 && written.tracked; ++h)
      written.ancestry[h].assign(row.ancestry[h], row.ancestry[h] + words);
    sink->push_back(std::move(written));
  }
  void Close() override {}
};

std::unique_ptr<FormatWriter> CreateCapturing(const fs::path&, const WriterSettings&) {
  return std::make_unique<CapturingWriter>();
}

// The registry of an attempt under test: PLINK (for the map), the capturing
// writer and the program's own local-ancestry row.
std::vector<FormatRow> TestRegistry() {
  std::vector<FormatRow> rows;
  for (const FormatRow& row : FormatRegistry()) {
    if (row.name == "plink" || row.name == "local-ancestry") rows.push_back(row);
  }
  rows.push_back({.name = "capture",
                  .studies = kEveryStudy,
                  .always = true,
                  .formSwitch = "",
                  .create = CreateCapturing,
                  .opening = 100,
                  .closing = 100,
                  .sharing = 100});
  return rows;
}

class QualLocalAncestryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteSyntheticData(tmp_ / "data", 20);
    data_.emplace(ReferenceData::Load(tmp_ / "data"));
    params_.totalLocusCount = 300;
    params_.nullLocusCount = 10;
    params_.sampleSize = 120;
    params_.prevalence = 0.2;
  }

  // One attempt of the model's routine, its files in `name`, every written
  // individual captured.
  std::vector<Written> Attempt(ModelKind model, bool localAncestry, const std::string& name) {
    std::vector<Written> written;
    CapturingWriter::sink = &written;
    const fs::path folder = tmp_ / name;
    fs::create_directories(folder);
    const std::vector<FormatRow> registry = TestRegistry();
    FormatSelection formats{"plink"};
    formats.Choose("local-ancestry", localAncestry);
    OutputSet output(folder, formats, StudyKind::kQualitative, AncestryFormat::kExact, LineEnds::kLf, registry);
    RandomGenerator gen;
    WorkTeam team(1);
    AttemptContext ctx{gen, 20261209, *data_, output, [] {}, team, localAncestry};
    const AttemptResult result = model == ModelKind::kDiscrete ? SimulateDiscreteCaseControl(params_, ctx)
                                                               : SimulateContinuousCaseControl(params_, ctx);
    output.Close();
    CapturingWriter::sink = nullptr;
    EXPECT_TRUE(result.complete) << result.reason;
    EXPECT_EQ(static_cast<int>(written.size()), params_.sampleSize);
    return written;
  }

  TempDir tmp_;
  std::optional<ReferenceData> data_;
  QualParameters params_;
};

// The YRI alleles of an individual's two ancestry rows.
int YriAlleles(const Written& w) {
  return CountOnes(w.ancestry[0].data(), static_cast<int>(w.ancestry[0].size())) +
         CountOnes(w.ancestry[1].data(), static_cast<int>(w.ancestry[1].size()));
}

// LocalAncestry.bp of an attempt read back: every haplotype under its
// individual's header, its tracts giving every locus the population of its
// ancestry bit, and the YRI share of its loci the individual's realized
// ancestry.
void CheckTractsAgainstTheBits(const fs::path& folder, const std::vector<Written>& written) {
  const std::vector<testing::MapLocus> loci = testing::LociOfPlinkMap(ReadFile(folder / "Plink.map"));
  const auto haplotypes = testing::ReadBreakpoints(ReadFile(folder / "LocalAncestry.bp"));
  ASSERT_EQ(haplotypes.size(), 2 * written.size());
  const int n = static_cast<int>(loci.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    const Written& w = written[i];
    ASSERT_TRUE(w.tracked);
    int yri = 0;
    for (std::size_t h = 0; h < 2; ++h) {
      const testing::BreakpointHaplotype& haplotype = haplotypes[2 * i + h];
      ASSERT_EQ(haplotype.header, std::to_string(w.record.id) + "_" + std::to_string(h + 1));
      const auto populations = testing::ExpandTracts(haplotype, loci);
      ASSERT_TRUE(populations.has_value());
      for (int g = 0; g < n; ++g) {
        ASSERT_EQ((*populations)[g], testing::LabelAt(w.ancestry[h].data(), g)) << haplotype.header << " locus " << g;
        yri += (*populations)[g] == "YRI";
      }
    }
    ASSERT_TRUE(w.record.realizedAncestry.has_value());
    EXPECT_EQ(*w.record.realizedAncestry, yri / (2.0 * n)) << "individual " << w.record.id;
    EXPECT_EQ(yri, YriAlleles(w));
  }
}

// Discrete model: with tracking, an individual's realized ancestry is
// counted from its bits, and it is its pool's: 1 for YRI, 0 for the second
// population, every allele so; the tracts say the same, a single tract per
// region. Without tracking no rows are handed on and the pool's value stays.
TEST_F(QualLocalAncestryTest, DiscreteRealizedAncestryIsThePoolsFromTheBits) {
  const std::vector<Written> tracked = Attempt(ModelKind::kDiscrete, true, "on");
  int yriPool = 0;
  for (const Written& w : tracked) {
    ASSERT_TRUE(w.tracked);
    const bool yri = w.record.source == SampleSource::kYriPool;
    yriPool += yri;
    ASSERT_TRUE(w.record.source == SampleSource::kYriPool || w.record.source == SampleSource::kSecondPool);
    EXPECT_EQ(w.record.realizedAncestry, yri ? 1.0 : 0.0) << "individual " << w.record.id;
    EXPECT_EQ(YriAlleles(w), yri ? 2 * params_.totalLocusCount : 0) << "individual " << w.record.id;
  }
  EXPECT_GT(yriPool, 0);
  EXPECT_LT(yriPool, params_.sampleSize);
  CheckTractsAgainstTheBits(tmp_ / "on", tracked);
  for (const auto& haplotype : testing::ReadBreakpoints(ReadFile(tmp_ / "on" / "LocalAncestry.bp"))) {
    EXPECT_EQ(haplotype.tracts.size(), 10u) << haplotype.header;
  }

  const std::vector<Written> plain = Attempt(ModelKind::kDiscrete, false, "off");
  ASSERT_EQ(plain.size(), tracked.size());
  for (std::size_t i = 0; i < plain.size(); ++i) {
    EXPECT_FALSE(plain[i].tracked);
    EXPECT_EQ(plain[i].record.source, tracked[i].record.source);
    EXPECT_EQ(plain[i].record.realizedAncestry, tracked[i].record.realizedAncestry);
  }
  EXPECT_FALSE(fs::exists(tmp_ / "off" / "LocalAncestry.bp"));
  EXPECT_EQ(ReadFile(tmp_ / "off" / "Plink.ped"), ReadFile(tmp_ / "on" / "Plink.ped"));
}

// Continuous model: the tracts reproduce every ancestry bit and the realized
// share; the individuals and their genotypes are those of an attempt without
// tracking, which leaves the realized share unknown.
TEST_F(QualLocalAncestryTest, ContinuousTractsReproduceTheBitsAndTheRealizedShare) {
  params_.modelKind = ModelKind::kContinuous;
  const std::vector<Written> tracked = Attempt(ModelKind::kContinuous, true, "on");
  CheckTractsAgainstTheBits(tmp_ / "on", tracked);
  int mixed = 0;
  for (const Written& w : tracked) {
    EXPECT_EQ(w.record.source, SampleSource::kAdmixed);
    mixed += *w.record.realizedAncestry > 0 && *w.record.realizedAncestry < 1;
  }
  EXPECT_GT(mixed, 0) << "some individuals of mixed ancestry";

  const std::vector<Written> plain = Attempt(ModelKind::kContinuous, false, "off");
  ASSERT_EQ(plain.size(), tracked.size());
  for (std::size_t i = 0; i < plain.size(); ++i) {
    EXPECT_FALSE(plain[i].record.realizedAncestry.has_value());
    EXPECT_EQ(plain[i].record.ancestry, tracked[i].record.ancestry);
  }
  EXPECT_EQ(ReadFile(tmp_ / "off" / "Plink.ped"), ReadFile(tmp_ / "on" / "Plink.ped"));
}

// Whole runs on the shipped data.
class QualLocalAncestryRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options_.dataDir = fs::path(KORVANE_SOURCE_DIR) / "data";
    options_.seed = 31;
    study_.parameters.totalLocusCount = 400;
    study_.parameters.nullLocusCount = 20;
    study_.parameters.sampleSize = 100;
    study_.parameters.prevalence = 0.1;
    study_.parameters.replicateCount = 3;
  }
  std::map<std::string, std::string> Run(const std::string& name) {
    const fs::path out = tmp_ / name;
    study_.parameters.outputDirectory = out.string();
    testing::RecordingHost host;
    const RunOutcome outcome = study_.Run(options_, host);
    EXPECT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
    auto files = testing::ReadTree(out);
    files.erase("korvane-runs.toml");  // the record holds the time and the options
    return files;
  }

  TempDir tmp_;
  QualStudy study_;
  RunOptions options_;
};

// Individuals.tsv without local ancestry against the same with it: every
// column is the same but realized_ancestry, which the continuous model only
// knows from the tracked rows (NA without them); a source pool's share is
// known either way.
void ExpectSameButRealizedAncestry(const std::string& plain, const std::string& tracked, ModelKind model) {
  const auto plainLines = testing::SplitLines(plain);
  const auto trackedLines = testing::SplitLines(tracked);
  ASSERT_EQ(plainLines.size(), trackedLines.size());
  ASSERT_FALSE(plainLines.empty());
  const auto header = testing::Fields(plainLines[0]);
  const auto column = std::find(header.begin(), header.end(), "realized_ancestry") - header.begin();
  ASSERT_LT(static_cast<std::size_t>(column), header.size());
  for (std::size_t i = 0; i < plainLines.size(); ++i) {
    auto a = testing::Fields(plainLines[i]);
    auto b = testing::Fields(trackedLines[i]);
    ASSERT_EQ(a.size(), b.size()) << "line " << i + 1;
    if (i > 0) {
      EXPECT_EQ(a[column], model == ModelKind::kContinuous ? std::string("NA") : b[column]) << "line " << i + 1;
      EXPECT_NE(b[column], "NA") << "line " << i + 1;
      a.erase(a.begin() + column);
      b.erase(b.begin() + column);
    }
    EXPECT_EQ(a, b) << "line " << i + 1;
  }
}

// The tracts are the same whatever the threads (replicates side by side or a
// replicate's generations in parts) and the kernel, and tracking them leaves
// every other file as it is without them.
TEST_F(QualLocalAncestryRunTest, TractsAreTheSameForAnyThreadsAndKernel) {
  const DrawKernel before = ActiveDrawKernel();
  for (const ModelKind model : {ModelKind::kDiscrete, ModelKind::kContinuous}) {
    SCOPED_TRACE(model == ModelKind::kDiscrete ? "discrete" : "continuous");
    study_.parameters.modelKind = model;
    const std::string prefix = model == ModelKind::kDiscrete ? "d" : "c";
    options_.localAncestry = false;
    options_.threads = 1;
    const auto plain = Run(prefix + "plain");
    options_.localAncestry = true;
    std::map<std::string, std::map<std::string, std::string>> runs;
    for (const int threads : {1, 2, 3}) {
      options_.threads = threads;
      runs[std::to_string(threads)] = Run(prefix + "threads" + std::to_string(threads));
    }
    SelectDrawKernel(DrawKernel::kPortable);
    options_.threads = 1;
    runs["portable"] = Run(prefix + "portable");
    SelectDrawKernel(before);

    const auto& reference = runs["1"];
    EXPECT_EQ(reference.size(), plain.size() + 3);
    for (const auto& [name, files] : runs) EXPECT_TRUE(files == reference) << name;
    for (const auto& [path, bytes] : plain) {
      const auto it = reference.find(path);
      ASSERT_NE(it, reference.end()) << path;
      if (path.ends_with("Individuals.tsv")) {
        ExpectSameButRealizedAncestry(bytes, it->second, model);
      } else {
        EXPECT_TRUE(it->second == bytes) << path << " changed with local ancestry";
      }
    }
    for (int n = 1; n <= 3; ++n) {
      const std::string bp = std::to_string(n) + "/LocalAncestry.bp";
      ASSERT_EQ(reference.count(bp), 1u) << bp;
      EXPECT_EQ(testing::ReadBreakpoints(reference.at(bp)).size(), 2u * 100u);
    }
  }
}

// The file alone against Origin.txt: in the discrete model each individual's
// tracts are all of the population its Origin.txt line gives; in the
// continuous model the mean YRI share of the sample's alleles tracks the
// mean expected ancestry of Origin.txt. The two means differ by the
// segregation of the parents' segments, which the 400 individuals share
// through their pedigrees: over 52 seeds of this study the difference had
// a root mean square of 0.0036 and never passed 0.009 (the means were near
// 0.15); 0.02 is five and a half of those.
constexpr double kContinuousTolerance = 0.02;

TEST_F(QualLocalAncestryRunTest, TractsAgreeWithOrigin) {
  options_.localAncestry = true;
  study_.parameters.replicateCount = 1;
  study_.parameters.sampleSize = 400;
  for (const ModelKind model : {ModelKind::kDiscrete, ModelKind::kContinuous}) {
    SCOPED_TRACE(model == ModelKind::kDiscrete ? "discrete" : "continuous");
    study_.parameters.modelKind = model;
    const auto files = Run(model == ModelKind::kDiscrete ? "d" : "c");
    const auto loci = testing::LociOfPlinkMap(files.at("1/Plink.map"));
    const auto haplotypes = testing::ReadBreakpoints(files.at("1/LocalAncestry.bp"));
    const auto origin = testing::SplitLines(files.at("1/Origin.txt"));
    ASSERT_EQ(haplotypes.size(), 2 * (origin.size() - 1));
    double expected = 0, realized = 0;
    for (std::size_t i = 1; i < origin.size(); ++i) {
      const double ancestry = std::stod(testing::Fields(origin[i]).at(1));
      int yri = 0;
      for (std::size_t h = 0; h < 2; ++h) {
        const auto populations = testing::ExpandTracts(haplotypes[2 * (i - 1) + h], loci);
        ASSERT_TRUE(populations.has_value());
        yri += static_cast<int>(std::count(populations->begin(), populations->end(), "YRI"));
      }
      const double share = yri / (2.0 * static_cast<double>(loci.size()));
      if (model == ModelKind::kDiscrete) {
        ASSERT_EQ(share, ancestry) << "individual " << i;
      }
      expected += ancestry;
      realized += share;
    }
    const double count = static_cast<double>(origin.size() - 1);
    if (model == ModelKind::kContinuous) {
      EXPECT_NEAR(realized / count, expected / count, kContinuousTolerance);
    }
  }
}

}  // namespace
}  // namespace korvane
