#include "evaluate/statistics.h"

#include <cmath>

namespace korvane {

double ChiSquare1UpperTail(double x) {
  if (!(x > 0)) return 1.0;
  return std::erfc(std::sqrt(x / 2));
}

}  // namespace korvane
