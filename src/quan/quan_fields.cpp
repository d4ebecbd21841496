#include "quan/quan_fields.h"

#include <fmt/format.h>

#include <array>
#include <vector>

namespace korvane {
namespace {

using P = QuanParameters;
constexpr FieldRange kShare{0, 1};

// Control ids of the five QTL rows and the five frequency-difference rows.
struct QtlRowControls {
  int enabled, freqMax, freqMin, varianceExplained;
};
constexpr std::array<QtlRowControls, 5> kQtlControls{{
    {1048, 1054, 1053, 1056},
    {1049, 1061, 1057, 1065},
    {1050, 1062, 1058, 1066},
    {1051, 1063, 1059, 1067},
    {1052, 1064, 1060, 1068},
}};
struct DifferenceRowControls {
  int enabled, diffMax, diffMin;
};
constexpr std::array<DifferenceRowControls, 5> kDifferenceControls{{
    {1087, 1093, 1092},
    {1088, 1097, 1095},
    {1089, 1098, 1104},
    {1090, 1099, 1105},
    {1091, 1106, 1096},
}};

void AddQtlRows(std::vector<Field<P>>& fields) {
  for (std::size_t k = 0; k < kQtlControls.size(); ++k) {
    const QtlRowControls& c = kQtlControls[k];
    const std::string qtl = fmt::format("qtl{}", k + 1);
    const std::string name = fmt::format("QTL{}", k + 1);
    const std::string frequency = name + " Frequency of disease susceptible allele: ";
    fields.push_back(
        {FlagField(qtl + "-enabled", name, c.enabled), [k](P& p) -> FieldRef { return &p.qtlRows[k].enabled; }});
    fields.push_back({RealField(qtl + "-freq-max", frequency + "max", c.freqMax, kShare),
                      [k](P& p) -> FieldRef { return &p.qtlRows[k].freqMax; }});
    fields.push_back({RealField(qtl + "-freq-min", frequency + "min", c.freqMin, kShare),
                      [k](P& p) -> FieldRef { return &p.qtlRows[k].freqMin; }});
    fields.push_back(
        {RealField(qtl + "-variance-explained", name + " Phenotype variance explained:", c.varianceExplained, kShare),
         [k](P& p) -> FieldRef { return &p.qtlRows[k].varianceExplained; }});
  }
}

void AddDifferenceRows(std::vector<Field<P>>& fields) {
  for (std::size_t k = 0; k < kDifferenceControls.size(); ++k) {
    const DifferenceRowControls& c = kDifferenceControls[k];
    const std::string qtl = fmt::format("qtl{}", k + 1);
    const std::string difference = fmt::format("QTL{} Frequency difference: ", k + 1);
    // The row's check box is labelled "QTLk" on the form like the upper row's;
    // its block is named here so that the two can be told apart.
    fields.push_back({FlagField(qtl + "-diff-enabled", fmt::format("QTL{} (Frequency difference)", k + 1), c.enabled),
                      [k](P& p) -> FieldRef { return &p.qtlDifferenceRows[k].enabled; }});
    fields.push_back({RealField(qtl + "-diff-max", difference + "max", c.diffMax, kShare),
                      [k](P& p) -> FieldRef { return &p.qtlDifferenceRows[k].diffMax; }});
    fields.push_back({RealField(qtl + "-diff-min", difference + "min", c.diffMin, kShare),
                      [k](P& p) -> FieldRef { return &p.qtlDifferenceRows[k].diffMin; }});
  }
}

std::vector<Field<P>> BuildFields() {
  std::vector<Field<P>> f;
  f.push_back({FlagField("write-eigensoft", "EIGENSOFT", 1030), [](P& p) -> FieldRef { return &p.writeEigensoft; }});
  f.push_back({FlagField("write-gc", "GC", 1037), [](P& p) -> FieldRef { return &p.writeGc; }});
  f.push_back({IntegerField("generation-count", "Number of simulated generation:", 1036, 0, 10000),
               [](P& p) -> FieldRef { return &p.generationCount; }});
  f.push_back({RealField("phenotype-mean", "Phenotype mean value:", 1045, std::nullopt),
               [](P& p) -> FieldRef { return &p.phenotypeMean; }});
  f.push_back({IntegerField("null-locus-count", "Number of null loci/AIMs:", 1041, 0, 12867),
               [](P& p) -> FieldRef { return &p.nullLocusCount; }});
  f.push_back(
      {TextField("output-directory", "Output directory:", 1027), [](P& p) -> FieldRef { return &p.outputDirectory; }});
  f.push_back({FlagField("write-plink", "PLINK", 1028), [](P& p) -> FieldRef { return &p.writePlink; }});
  f.push_back({RealField("yri-per-generation", "Admixture proportion of YRI per generation:", 1016, kShare),
               [](P& p) -> FieldRef { return &p.yriPerGeneration; }});
  AddQtlRows(f);
  f.push_back(
      {IntegerField("sample-size", "Sample size:", 1034, 0, 1000000), [](P& p) -> FieldRef { return &p.sampleSize; }});
  f.push_back({IntegerField("replicate-count", "Simulating times:", 1024, 0, 10000),
               [](P& p) -> FieldRef { return &p.replicateCount; }});
  f.push_back({IntegerField("total-locus-count", "Total number of loci:", 1040, 1, 12867),
               [](P& p) -> FieldRef { return &p.totalLocusCount; }});
  f.push_back({RealField("yri-final", "Admixture proportion of YRI in final population:", 1017, kShare),
               [](P& p) -> FieldRef { return &p.yriFinal; }});
  AddDifferenceRows(f);
  f.push_back({RealField("phenotype-variance", "Phenotype variance:", 1046, FieldRange{0, 10000000}),
               [](P& p) -> FieldRef { return &p.phenotypeVariance; }});
  f.push_back({RealField("yri-final-discrete", "Proportion of YRI in final population: ", 1020, kShare),
               [](P& p) -> FieldRef { return &p.yriFinalDiscrete; }});
  f.push_back({StatusLineField(), [](P& p) -> FieldRef { return &p.statusText; }});
  f.push_back({RealField("missing-rate", "Genotype missing rate:", 1079, kShare),
               [](P& p) -> FieldRef { return &p.missingRate; }});
  f.push_back({RealField("stratification-variance", "Variance explained by population stratification:", 1081, kShare),
               [](P& p) -> FieldRef { return &p.stratificationVariance; }});
  f.push_back({ShortRealField("null-maf-max", "MAF of null locus/AIMs: max", 1084, FieldRange{0, 0.5}),
               [](P& p) -> FieldRef { return &p.nullMafMax; }});
  f.push_back({ShortRealField("null-maf-min", "MAF of null locus/AIMs: min", 1086, FieldRange{0, 0.5}),
               [](P& p) -> FieldRef { return &p.nullMafMin; }});
  return f;
}

}  // namespace

FieldTable<QuanParameters> QuanFields() {
  static const std::vector<Field<P>> kFields = BuildFields();
  return kFields;
}

}  // namespace korvane
