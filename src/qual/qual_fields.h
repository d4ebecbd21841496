#pragma once

// The fields of the qualitative study's record in the form's exchange order.

#include "qual/qual_parameters.h"
#include "run/exchange.h"

namespace korvane {

// The 26 fields, from writeEigensoft to relativeRisk; the status line
// (statusText) is among them but is not an option.
FieldTable<QualParameters> QualFields();

}  // namespace korvane
