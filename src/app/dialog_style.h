#pragma once

// The style of the program's windows: Fusion, which follows the palette on
// every platform, with the check box and radio button metrics of classic
// dialogs (a 13-pixel indicator, 4 pixels to its text), for which the forms'
// layouts were made.

#include <QProxyStyle>

namespace korvane {

class DialogStyle : public QProxyStyle {
  Q_OBJECT

 public:
  DialogStyle();
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
};

}  // namespace korvane
