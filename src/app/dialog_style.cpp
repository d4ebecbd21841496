#include "app/dialog_style.h"

#include <QStyleFactory>

namespace korvane {
namespace {

constexpr int kIndicatorSize = 13;
constexpr int kIndicatorSpacing = 4;

}  // namespace

DialogStyle::DialogStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

int DialogStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
  switch (metric) {
    case PM_IndicatorWidth:
    case PM_IndicatorHeight:
    case PM_ExclusiveIndicatorWidth:
    case PM_ExclusiveIndicatorHeight:
      return kIndicatorSize;
    case PM_CheckBoxLabelSpacing:
    case PM_RadioButtonLabelSpacing:
      return kIndicatorSpacing;
    default:
      return QProxyStyle::pixelMetric(metric, option, widget);
  }
}

}  // namespace korvane
