#include "qual/qual_fields.h"

#include <vector>

namespace korvane {

FieldTable<QualParameters> QualFields() {
  using P = QualParameters;
  constexpr FieldRange kShare{0, 1};
  static const std::vector<Field<P>> kFields = {
      {FlagField("write-eigensoft", "EIGENSOFT", 1030), [](P& p) -> FieldRef { return &p.writeEigensoft; }},
      {IntegerField("generation-count", "Number of generation:", 1036, 0, 100000),
       [](P& p) -> FieldRef { return &p.generationCount; }},
      {RealField("susceptibility-freq-min", "Frequency of disease susceptible allele: min", 1010, FieldRange{0, 0.5}),
       [](P& p) -> FieldRef { return &p.susceptibilityFreqMin; }},
      {RealField("freq-difference-min", "Frequency difference: min", 1013, kShare),
       [](P& p) -> FieldRef { return &p.freqDifferenceMin; }},
      {TextField("output-directory", "Output directory:", 1027), [](P& p) -> FieldRef { return &p.outputDirectory; }},
      {FlagField("write-plink", "PLINK", 1028), [](P& p) -> FieldRef { return &p.writePlink; }},
      {RealField("prevalence", "Disease prevalence:", 1003, kShare), [](P& p) -> FieldRef { return &p.prevalence; }},
      {RealField("yri-per-generation", "Admixture proportion of YRI per generation:", 1016, kShare),
       [](P& p) -> FieldRef { return &p.yriPerGeneration; }},
      {IntegerField("sample-size", "Sample size:", 1034, 0, 10000000), [](P& p) -> FieldRef { return &p.sampleSize; }},
      {IntegerField("replicate-count", "Simulating times:", 1024, 0, 1000000),
       [](P& p) -> FieldRef { return &p.replicateCount; }},
      {FlagField("write-structure-strat", "STRUCTURE and STRAT", 1029),
       [](P& p) -> FieldRef { return &p.writeStructureStrat; }},
      {RealField("susceptibility-freq-max", "Frequency of disease susceptible allele: max", 1009, kShare),
       [](P& p) -> FieldRef { return &p.susceptibilityFreqMax; }},
      {RealField("freq-difference-max", "Frequency difference: max", 1012, kShare),
       [](P& p) -> FieldRef { return &p.freqDifferenceMax; }},
      {RealField("yri-final", "Admixture proportion of YRI in final population:", 1017, kShare),
       [](P& p) -> FieldRef { return &p.yriFinal; }},
      {RealField("case-proportion", "Proportion of cases in total sample:", 1025, kShare),
       [](P& p) -> FieldRef { return &p.caseProportion; }},
      {FlagField("write-gc", "GC", 1037), [](P& p) -> FieldRef { return &p.writeGc; }},
      {FlagField("write-admixmap", "ADMIXMAP", 1039), [](P& p) -> FieldRef { return &p.writeAdmixmap; }},
      {IntegerField("null-locus-count", "Number of null locus/AIMs:", 1041, 0, 12867),
       [](P& p) -> FieldRef { return &p.nullLocusCount; }},
      {IntegerField("total-locus-count", "Total number of loci:", 1040, 0, 12867),
       [](P& p) -> FieldRef { return &p.totalLocusCount; }},
      {RealField("yri-in-cases", "Proportion of YRI in cases:", 1075, kShare),
       [](P& p) -> FieldRef { return &p.yriInCases; }},
      {RealField("yri-in-controls", "Proportion of YRI in controls:", 1023, kShare),
       [](P& p) -> FieldRef { return &p.yriInControls; }},
      {StatusLineField(), [](P& p) -> FieldRef { return &p.statusText; }},
      {RealField("missing-rate", "Genotype missing rate:", 1079, kShare),
       [](P& p) -> FieldRef { return &p.missingRate; }},
      {ShortRealField("null-maf-max", "MAF of null locus/AIMs: max", 1084, kShare),
       [](P& p) -> FieldRef { return &p.nullMafMax; }},
      {ShortRealField("null-maf-min", "MAF of null locus/AIMs: min", 1086, kShare),
       [](P& p) -> FieldRef { return &p.nullMafMin; }},
      {ShortRealField("relative-risk", "Genotype relative risk:", 1006, FieldRange{1, 5}),
       [](P& p) -> FieldRef { return &p.relativeRisk; }},
  };
  return kFields;
}

}  // namespace korvane
