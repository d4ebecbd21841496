#pragma once

// Where a run finds the reference data when it is not told.

#include <filesystem>

namespace korvane {

// The data shipped with the program: share/korvane/data of the installation
// the running program belongs to (found from the program's own location, so
// an installed or moved tree works from any folder), else the data folder of
// the source tree the program was built from.
std::filesystem::path ShippedDataDir();

// The data folder of a run that names none: ./data of the working folder when
// it is a folder, else the shipped data.
struct DataFolder {
  std::filesystem::path dir;
  bool fromWorkingFolder = false;  // ./data was taken
};
DataFolder DefaultDataFolder(const std::filesystem::path& shipped);

}  // namespace korvane
