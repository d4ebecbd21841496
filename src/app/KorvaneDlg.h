#pragma once

// The launcher: the program's first window, offering the two study types.
// Choosing one ends the launcher for good; its result says which was chosen.

#include <QDialog>

class QPushButton;

namespace korvane {

class KorvaneDlg : public QDialog {
  Q_OBJECT

 public:
  // The launcher's results besides QDialog::Rejected (Escape, the close box).
  enum Choice { kQualitative = 1000, kQuantitative = 1001 };

  explicit KorvaneDlg(QWidget* parent = nullptr);

  QPushButton* QualitativeButton() const { return qualitative_; }
  QPushButton* QuantitativeButton() const { return quantitative_; }

 private:
  QPushButton* qualitative_;
  QPushButton* quantitative_;
};

}  // namespace korvane
