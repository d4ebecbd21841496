#pragma once

// The record of everything a user sets for a quantitative-trait study: the
// phenotype's mean and variance, up to five QTLs, the population model and
// the sample, with the form's defaults.

#include <array>
#include <string>

#include "population/population_size.h"
#include "run/model_kind.h"

namespace korvane {

struct QtlRow {
  int enabled = 1;
  double freqMax = 0.3;
  double freqMin = 0.1;
  double varianceExplained = 0;
};

struct QtlDifferenceRow {
  int enabled = 1;
  double diffMax = 0.3;
  double diffMin = 0.1;
};

struct QuanParameters {
  int writeAdmixmap = 0;  // no form field: a quantitative run never writes ADMIXMAP files
  int writeEigensoft = 1;
  int writeGc = 1;
  int generationCount = 5;
  double phenotypeMean = 20;
  int nullLocusCount = 50;
  std::string outputDirectory = "korvane-output";
  int writePlink = 1;
  double yriPerGeneration = 0.04;
  std::array<QtlRow, 5> qtlRows{
      {{1, 0.3, 0.1, 0.02}, {1, 0.3, 0.1, 0.01}, {1, 0.3, 0.1, 0.005}, {0, 0.3, 0.1, 0}, {0, 0.3, 0.1, 0}}};
  int sampleSize = 200;
  int replicateCount = 1;
  int writeStructureStrat = 0;  // no form field: never written by a quantitative run
  int totalLocusCount = 400;
  double yriFinal = 0.1;
  std::array<QtlDifferenceRow, 5> qtlDifferenceRows{
      {{1, 0.3, 0.1}, {1, 0.3, 0.1}, {1, 0.3, 0.1}, {0, 0.3, 0.1}, {0, 0.3, 0.1}}};
  double phenotypeVariance = 10;
  double yriFinalDiscrete = 0.3;
  std::string statusText = "Press OK to start simulation.";
  double missingRate = 0;
  double stratificationVariance = 0.1;
  float nullMafMax = 0.5f;
  float nullMafMin = 0.1f;

  // No form field: the size of every simulated population.
  static constexpr int kPopulationSize = korvane::kPopulationSize;
  ModelKind modelKind = ModelKind::kDiscrete;
};

}  // namespace korvane
