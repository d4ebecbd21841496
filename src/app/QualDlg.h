#pragma once

// The qualitative study form: the case-control study's parameters, the
// population-structure model, OK to run, and the status line.

#include "app/bound_study_form.h"
#include "qual/QUAL.h"

namespace korvane {

class QualDlg : public BoundStudyForm<QualStudy> {
  Q_OBJECT

 public:
  explicit QualDlg(QWidget* parent = nullptr);
};

}  // namespace korvane
