#pragma once

#include <string_view>

namespace korvane {

// The release of the engine, recorded with every run.
std::string_view Version();

}  // namespace korvane
