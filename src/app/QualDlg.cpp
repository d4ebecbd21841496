#include "app/QualDlg.h"

#include <QLabel>
#include <QLineEdit>

#include "qual/qual_fields.h"

namespace korvane {
namespace {

// The form's size in dialog units, in Liberation Serif 14 points.
constexpr int kWidth = 295;
constexpr int kHeight = 246;
constexpr int kPointSize = 14;

}  // namespace

QualDlg::QualDlg(QWidget* parent)
    : BoundStudyForm(QStringLiteral("Qualitative Trait"), kPointSize, kWidth, kHeight, QualFields(), "qual", parent) {
  DialogBuilder& b = Builder();

  b.Group(QStringLiteral("Disease Model Parameters"), 7, 3, 281, 42);
  b.LabelBefore(QStringLiteral("Disease prevalence:"), b.Edit(1003, 75, 12, 29, 12));
  b.LabelBefore(QStringLiteral("Genotype relative risk:"), b.Edit(1006, 180, 12, 29, 12));
  b.LabelBefore(QStringLiteral("Frequency of disease susceptible allele:"),
                b.LabelBefore(QStringLiteral("min"), b.Edit(1010, 149, 27, 19, 12)));
  b.LabelBefore(QStringLiteral("max"), b.Edit(1009, 190, 27, 19, 12));

  b.Group(QStringLiteral("Population Structure Model Parameters"), 7, 46, 281, 85);
  b.Radio(controls::kContinuousModel, QStringLiteral("Continuous migration model:"), 14, 55, 95, 8);
  b.LabelBefore(QStringLiteral("Admixture proportion of YRI per generation:"), b.Edit(1016, 180, 62, 29, 12));
  b.LabelBefore(QStringLiteral("Admixture proportion of YRI in final population:"), b.Edit(1017, 180, 76, 29, 12));
  b.Radio(controls::kDiscreteModel, QStringLiteral("Discrete model:"), 14, 92, 56, 8);
  b.LabelBefore(QStringLiteral("Proportion of YRI in cases:"), b.Edit(1075, 108, 99, 29, 12));
  b.LabelBefore(QStringLiteral("Proportion of YRI in controls:"), b.Edit(1023, 252, 99, 29, 12));
  b.LabelBefore(QStringLiteral("Number of generation:"), b.Edit(1036, 108, 114, 29, 12));
  b.LabelBefore(QStringLiteral("Frequency difference:"),
                b.LabelBefore(QStringLiteral("min"), b.Edit(1013, 225, 114, 19, 12)));
  b.LabelBefore(QStringLiteral("max"), b.Edit(1012, 262, 114, 19, 12));

  b.Group(QStringLiteral("Simulation Parameters"), 7, 132, 281, 66);
  b.LabelBefore(QStringLiteral("Sample size:"), b.Edit(1034, 84, 139, 29, 12));
  b.LabelBefore(QStringLiteral("Proportion of cases in total sample:"), b.Edit(1025, 252, 139, 29, 12));
  b.LabelBefore(QStringLiteral("Output directory:"), b.Edit(controls::kOutputDirectory, 84, 153, 29, 12));
  b.LabelBefore(QStringLiteral("Simulating times:"), b.Edit(1024, 252, 153, 29, 12));
  b.LabelBefore(QStringLiteral("Total number of loci:"), b.Edit(1040, 84, 167, 29, 12));
  b.LabelBefore(QStringLiteral("Number of null locus/AIMs:"), b.Edit(1041, 252, 167, 29, 12));
  b.LabelBefore(QStringLiteral("Genotype missing rate:"), b.Edit(1079, 84, 181, 29, 12));
  b.LabelBefore(QStringLiteral("MAF of null locus/AIMs:"),
                b.LabelBefore(QStringLiteral("min"), b.Edit(1086, 225, 181, 19, 12)));
  b.LabelBefore(QStringLiteral("max"), b.Edit(1084, 262, 181, 19, 12));

  b.Group(QStringLiteral("File Formats"), 7, 199, 281, 20);
  b.Check(1028, QStringLiteral("PLINK"), 14, 208, 29, 10);
  b.Check(1029, QStringLiteral("STRUCTURE and STRAT"), 51, 208, 91, 10);
  b.Check(1039, QStringLiteral("ADMIXMAP"), 150, 208, 51, 10);
  b.Check(1037, QStringLiteral("GC"), 209, 208, 20, 10);
  b.Check(1030, QStringLiteral("EIGENSOFT"), 237, 208, 49, 10);

  // The status line's text stands at the top of its box; the progress bar
  // sits in the box's lower part, under the text.
  b.Text(controls::kStatusLine, QString(), Qt::AlignHCenter | Qt::AlignTop, 11, 225, 171, 11);
  b.Button(controls::kOk, QStringLiteral("OK"), 192, 224, 38, 14);
  b.Button(controls::kCancel, QStringLiteral("Cancel"), 245, 224, 38, 14);

  Bind();
  FinishForm(
      {controls::kOk, controls::kCancel,          1003, 1006, 1009, 1010, 1012, 1013, 1016, 1017, 1075, 1023, 1024,
       1025,          controls::kOutputDirectory, 1028, 1029, 1030, 1034, 1036, 1037, 1039, 1040, 1041, 1079, 1084,
       1086},
      QRect(11, 236, 171, 8), QRect(114, 153, 12, 12));
}

}  // namespace korvane
