#pragma once

// Distributions and intervals of the association statistics.

namespace korvane {

// The upper tail P(X >= x) of a chi-square with one degree of freedom.
double ChiSquare1UpperTail(double x);

}  // namespace korvane
