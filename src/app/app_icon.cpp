#include "app/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace korvane {

QPixmap DrawAppIcon() {
  constexpr int kSize = 32;
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);

  QLinearGradient tile(0, 0, 0, kSize);
  tile.setColorAt(0, QColor(44, 78, 120));
  tile.setColorAt(1, QColor(18, 34, 58));
  painter.setPen(QPen(QColor(10, 20, 36), 1));
  painter.setBrush(tile);
  painter.drawRoundedRect(QRectF(0.5, 0.5, kSize - 1, kSize - 1), 6, 6);

  // The strands x = 16 +- 8 sin(t) over one and a quarter turns, with rungs
  // where they are far apart.
  constexpr double kTop = 4;
  constexpr double kBottom = 28;
  constexpr double kTurns = 1.25;
  const auto phase = [&](double y) { return (y - kTop) / (kBottom - kTop) * 2 * std::numbers::pi * kTurns; };
  painter.setPen(QPen(QColor(200, 200, 190, 170), 1.2));
  for (double y = kTop + 2; y < kBottom; y += 3) {
    const double half = 8 * std::sin(phase(y));
    if (std::abs(half) > 2.5) painter.drawLine(QPointF(16 - half, y), QPointF(16 + half, y));
  }
  QPainterPath first;
  QPainterPath second;
  for (double y = kTop; y <= kBottom + 1e-9; y += 0.5) {
    const double half = 8 * std::sin(phase(y));
    if (y == kTop) {
      first.moveTo(16 + half, y);
      second.moveTo(16 - half, y);
    } else {
      first.lineTo(16 + half, y);
      second.lineTo(16 - half, y);
    }
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(240, 150, 40), 2.4, Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(first);
  painter.setPen(QPen(QColor(120, 200, 245), 2.4, Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(second);
  return pixmap;
}

QIcon AppIcon() { return QIcon(DrawAppIcon()); }

}  // namespace korvane
