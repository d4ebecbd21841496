#pragma once

#include <QIcon>
#include <QPixmap>

namespace korvane {

// The application's 32 x 32 icon: two strands of a helix, one for each
// source population, crossing on a dark tile.
QPixmap DrawAppIcon();
QIcon AppIcon();

}  // namespace korvane
