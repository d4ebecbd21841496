#pragma once

// Dialog units: the coordinates in which the launcher and the study forms are
// laid out. A horizontal unit is a quarter of the dialog font's average
// character width, a vertical unit an eighth of its height, so a layout keeps
// its proportions at any font size or screen resolution.

#include <QFont>
#include <QRect>
#include <QSize>

namespace korvane {

// The font of every dialog window: Liberation Serif (metrically the serif face
// the layouts were drawn for) at `pointSize` points.
QFont DialogFont(int pointSize);

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c);

class DialogUnits {
 public:
  // The base units of `font`: the average width of the 52 letters A-Z a-z,
  // rounded, and the font's height, both in pixels.
  explicit DialogUnits(const QFont& font);
  DialogUnits(int baseWidth, int baseHeight) : baseWidth_(baseWidth), baseHeight_(baseHeight) {}

  int BaseWidth() const { return baseWidth_; }
  int BaseHeight() const { return baseHeight_; }

  int X(int units) const { return MulDiv(units, baseWidth_, 4); }
  int Y(int units) const { return MulDiv(units, baseHeight_, 8); }
  QSize Size(int width, int height) const { return {X(width), Y(height)}; }
  // Each of the four values is converted on its own, as a dialog template's
  // controls are.
  QRect Rect(int x, int y, int width, int height) const { return {X(x), Y(y), X(width), Y(height)}; }

 private:
  int baseWidth_;
  int baseHeight_;
};

}  // namespace korvane
