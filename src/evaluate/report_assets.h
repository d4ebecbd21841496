#pragma once

// The scripts that the report page carries inside itself: the plotting
// libraries (from the npm packages pinned in third_party/vega) and the page's
// own script, compiled into the program by embed_assets.cmake so that a page
// opens without network access and an installed program needs no other file.

#include <span>
#include <string_view>

namespace korvane {

enum class ReportAsset {
  kVega,        // the Vega runtime
  kVegaLite,    // the Vega-Lite compiler
  kVegaEmbed,   // vegaEmbed(), which compiles and draws a plot's definition
  kPageScript,  // the page's own script: the plot definitions and the rendering hooks
};

// The asset's bytes, in pieces to be written one after the other.
std::span<const std::string_view> ReportAssetChunks(ReportAsset asset);

}  // namespace korvane
