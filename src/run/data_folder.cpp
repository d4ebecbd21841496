#include "run/data_folder.h"

#include <system_error>

namespace korvane {

std::filesystem::path ShippedDataDir() {
  std::error_code ec;
  // bin/korvane (or bin/korvane-gui) of a prefix whose share/korvane/data
  // holds the data; in a build tree the program lies elsewhere.
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    std::filesystem::path installed = program.parent_path().parent_path() / "share" / "korvane" / "data";
    if (std::filesystem::is_directory(installed, ec)) return installed;
  }
  return KORVANE_SOURCE_DATA_DIR;
}

DataFolder DefaultDataFolder(const std::filesystem::path& shipped) {
  std::error_code ec;
  if (std::filesystem::is_directory("data", ec)) return {"data", true};
  return {shipped, false};
}

}  // namespace korvane
