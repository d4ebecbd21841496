#include "run/version.h"

namespace korvane {

std::string_view Version() { return KORVANE_VERSION; }

}  // namespace korvane
