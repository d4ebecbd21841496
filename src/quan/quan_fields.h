#pragma once

// The fields of the quantitative study's record in the form's exchange order.
// writeAdmixmap and writeStructureStrat have no control and are not fields.

#include "quan/quan_parameters.h"
#include "run/exchange.h"

namespace korvane {

// 54 fields: the QTL rows field by field (enabled, freqMax, freqMin,
// varianceExplained for QTL1 to QTL5) where the record holds them, then the
// difference rows (enabled, diffMax, diffMin), each under keys "qtlK-...".
FieldTable<QuanParameters> QuanFields();

}  // namespace korvane
