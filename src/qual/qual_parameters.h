#pragma once

// The record of everything a user sets for a qualitative-trait
// (case-control) study, with the form's defaults. Front ends fill it through
// the field exchange (exchange.h); the run reads it and changes nothing but
// `statusText`.

#include <string>

#include "population/population_size.h"
#include "run/model_kind.h"

namespace korvane {

struct QualParameters {
  int writeEigensoft = 1;
  int generationCount = 5;
  double susceptibilityFreqMin = 0.1;
  double freqDifferenceMin = 0.1;
  std::string outputDirectory = "korvane-output";
  int writePlink = 1;
  double prevalence = 0.01;
  double yriPerGeneration = 0.04;
  int sampleSize = 200;
  int replicateCount = 1;
  int writeStructureStrat = 1;
  double susceptibilityFreqMax = 0.3;
  double freqDifferenceMax = 0.3;
  double yriFinal = 0.1;
  double caseProportion = 0.5;
  int writeGc = 1;
  int writeAdmixmap = 1;
  int nullLocusCount = 50;
  int totalLocusCount = 400;
  double yriInCases = 0.4;
  double yriInControls = 0.6;
  std::string statusText = "Press OK to start simulation.";
  double missingRate = 0;
  float nullMafMax = 0.5f;
  float nullMafMin = 0.1f;
  float relativeRisk = 1.5f;

  // No form field: the size of every simulated population.
  static constexpr int kPopulationSize = korvane::kPopulationSize;
  ModelKind modelKind = ModelKind::kDiscrete;
};

}  // namespace korvane
