#pragma once

// The quantitative study form: the phenotype, up to five QTLs, the
// population-structure model with its frequency-difference rows, OK to run,
// and the status line.

#include "app/bound_study_form.h"
#include "quan/QUAN.h"

namespace korvane {

class QuanDlg : public BoundStudyForm<QuanStudy> {
  Q_OBJECT

 public:
  explicit QuanDlg(QWidget* parent = nullptr);
};

}  // namespace korvane
