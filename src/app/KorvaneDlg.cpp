#include "app/KorvaneDlg.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "app/dialog_builder.h"

namespace korvane {

KorvaneDlg::KorvaneDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("KORVANE v1.0"));
  setFont(DialogFont(14));
  DialogBuilder b(this);
  setFixedSize(b.Units().Size(248, 106));

  b.Group(QString(), 7, 7, 234, 24);
  b.Text(-1, QStringLiteral("A Genetic Simulation Platform for Population-based Association Studies"),
         Qt::AlignHCenter | Qt::AlignTop, 14, 10, 221, 8);
  qualitative_ = b.Button(kQualitative, QStringLiteral("Qualitative Trait"), 51, 50, 62, 26);
  quantitative_ = b.Button(kQuantitative, QStringLiteral("Quantitative Trait"), 135, 50, 62, 26);
  qualitative_->setDefault(true);
  qualitative_->setFocus(Qt::OtherFocusReason);
  connect(qualitative_, &QPushButton::clicked, this, [this] { done(kQualitative); });
  connect(quantitative_, &QPushButton::clicked, this, [this] { done(kQuantitative); });
}

}  // namespace korvane
