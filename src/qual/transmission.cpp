#include "qual/transmission.h"

namespace korvane {

IndexPicker::IndexPicker(int size) : size_(size) {
  for (int k = 0; k < 1000; ++k) {
    const double u = k / 1000.0;
    int found = -1;
    for (int i = 0; i < size; ++i) {
      if (static_cast<double>(i) / size <= u && u <= static_cast<double>(i + 1) / size) {
        found = i;
        break;
      }
    }
    table_[k] = found;
  }
}

}  // namespace korvane
