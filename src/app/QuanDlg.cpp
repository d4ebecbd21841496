#include "app/QuanDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <array>

#include "quan/quan_fields.h"

namespace korvane {
namespace {

// The form's size in dialog units, in Liberation Serif 11 points.
constexpr int kWidth = 398;
constexpr int kHeight = 344;
constexpr int kPointSize = 11;

// One QTL row of the phenotype block: its check box and three fields.
struct QtlRowControls {
  int enabled, freqMin, freqMax, varianceExplained;
};
constexpr std::array<QtlRowControls, 5> kQtlRows{{
    {1048, 1053, 1054, 1056},
    {1049, 1057, 1061, 1065},
    {1050, 1058, 1062, 1066},
    {1051, 1059, 1063, 1067},
    {1052, 1060, 1064, 1068},
}};

// One frequency-difference row of the discrete model: its check box's place
// and the places of its "min" and "max" fields.
struct DifferenceRowControls {
  int enabled, checkX, checkY, checkWidth;
  int diffMin, minX, diffMax, maxX, fieldY;
};
constexpr std::array<DifferenceRowControls, 5> kDifferenceRows{{
    {1087, 22, 180, 27, 1092, 131, 1093, 178, 176},
    {1088, 207, 180, 28, 1095, 316, 1097, 360, 176},
    {1089, 22, 196, 29, 1104, 131, 1098, 178, 192},
    {1090, 207, 196, 28, 1105, 316, 1099, 360, 192},
    {1091, 22, 211, 29, 1096, 131, 1106, 178, 207},
}};

}  // namespace

QuanDlg::QuanDlg(QWidget* parent)
    : BoundStudyForm(QStringLiteral("Quantitative Trait"), kPointSize, kWidth, kHeight, QuanFields(), "quan", parent) {
  DialogBuilder& b = Builder();

  b.Group(QStringLiteral("Disease Model Parameters"), 7, 2, 383, 102);
  b.LabelBefore(QStringLiteral("Phenotype mean value:"), b.Edit(1045, 88, 11, 40, 12));
  b.LabelBefore(QStringLiteral("Phenotype variance:"), b.Edit(1046, 213, 10, 40, 12));
  for (std::size_t k = 0; k < kQtlRows.size(); ++k) {
    const QtlRowControls& row = kQtlRows[k];
    const int y = 28 + 16 * static_cast<int>(k);  // the row's label line
    b.Check(row.enabled, QStringLiteral("QTL%1").arg(k + 1), 13, y, 30, 8);
    b.Edit(row.freqMin, 178, y - 4, 26, 12);
    b.Edit(row.freqMax, 227, y - 4, 26, 12);
    b.Edit(row.varianceExplained, 360, y - 4, 26, 12);
    // The row's labels share the check box's line; its fields stand 4 units higher.
    b.LabelAt(QStringLiteral("Frequency of disease susceptible allele:"), 43, y, 8);
    b.LabelAt(QStringLiteral("min"), 163, y, 8);
    b.LabelAt(QStringLiteral("max"), 210, y, 8);
    b.LabelAt(QStringLiteral("Phenotype variance explained:"), 267, y, 8);
  }

  b.Group(QStringLiteral("Population structure Model Parameters"), 7, 105, 383, 119);
  b.Radio(controls::kContinuousModel, QStringLiteral("Continuous migration model:"), 13, 113, 91, 10);
  b.LabelBefore(QStringLiteral("Admixture proportion of YRI per generation:"), b.Edit(1016, 178, 120, 26, 12));
  b.LabelBefore(QStringLiteral("Admixture proportion of YRI in final population:"), b.Edit(1017, 360, 120, 26, 12));
  b.Radio(controls::kDiscreteModel, QStringLiteral("Discrete model:"), 13, 137, 65, 10);
  b.LabelBefore(QStringLiteral("Proportion of YRI in final population: "), b.Edit(1020, 178, 144, 26, 12));
  b.LabelBefore(QStringLiteral("Number of simulated generation:"), b.Edit(1036, 360, 144, 26, 12));
  b.LabelBefore(QStringLiteral("Variance explained by population stratification:"), b.Edit(1081, 178, 159, 26, 12));
  for (std::size_t k = 0; k < kDifferenceRows.size(); ++k) {
    const DifferenceRowControls& row = kDifferenceRows[k];
    b.Check(row.enabled, QStringLiteral("QTL%1").arg(k + 1), row.checkX, row.checkY, row.checkWidth, 8);
    const QString difference =
        k == 0 ? QStringLiteral("Frequency difference:") : QStringLiteral("Frequency difference: ");
    // As in the QTL rows, the labels stand on the check box's line.
    QLineEdit* diffMin = b.Edit(row.diffMin, row.minX, row.fieldY, 26, 12);
    b.LabelBefore(difference, b.LabelBefore(QStringLiteral("min"), diffMin, row.checkY, 8));
    b.LabelBefore(QStringLiteral("max"), b.Edit(row.diffMax, row.maxX, row.fieldY, 26, 12), row.checkY, 8);
  }

  b.Group(QStringLiteral("Simulation Parameters"), 7, 225, 383, 74);
  b.LabelBefore(QStringLiteral("Sample size:"), b.Edit(1034, 128, 233, 40, 12));
  b.LabelBefore(QStringLiteral("Genotype missing rate:"), b.Edit(1079, 346, 233, 40, 12));
  b.LabelBefore(QStringLiteral("Simulating times:"), b.Edit(1024, 128, 249, 40, 12));
  // The output directory's field gives the right end of its place to the
  // "…" button, which would otherwise stand outside the group frame.
  b.LabelBefore(QStringLiteral("Output directory:"), b.Edit(controls::kOutputDirectory, 346, 249, 27, 12));
  b.LabelBefore(QStringLiteral("Total number of loci:"), b.Edit(1040, 128, 265, 40, 12));
  b.LabelBefore(QStringLiteral("Number of null loci/AIMs:"), b.Edit(1041, 346, 265, 40, 12));
  b.LabelBefore(QStringLiteral("MAF of null locus/AIMs:"),
                b.LabelBefore(QStringLiteral("min"), b.Edit(1086, 109, 281, 26, 12)));
  b.LabelBefore(QStringLiteral("max"), b.Edit(1084, 156, 281, 26, 12));

  b.Group(QStringLiteral("File Formats"), 7, 299, 383, 18);
  b.Check(1028, QStringLiteral("PLINK"), 49, 305, 32, 10);
  b.Check(1037, QStringLiteral("GC"), 174, 305, 32, 10);
  b.Check(1030, QStringLiteral("EIGENSOFT"), 299, 305, 50, 10);

  // The status line's text stands at the top of its box (74, 324, 188 x 15);
  // the progress bar takes the box's lower part, under the text.
  b.Text(controls::kStatusLine, QString(), Qt::AlignHCenter | Qt::AlignTop, 74, 324, 188, 10);
  b.Button(controls::kOk, QStringLiteral("OK"), 282, 323, 50, 14);
  b.Button(controls::kCancel, QStringLiteral("Cancel"), 340, 322, 50, 14);

  Bind();
  std::vector<int> order{controls::kOk, controls::kCancel, 1045, 1046};
  for (int id = 1048; id <= 1052; ++id) order.push_back(id);
  order.insert(order.end(), {1053, 1054, 1056});
  for (int id = 1057; id <= 1068; ++id) order.push_back(id);
  order.insert(order.end(),
               {1016, 1017, 1020, 1024, controls::kOutputDirectory, 1028, 1030, 1034, 1036, 1037, 1040, 1041});
  for (int id = 1087; id <= 1091; ++id) order.push_back(id);
  order.insert(order.end(), {1092, 1093, 1095, 1096, 1097, 1098, 1099, 1104, 1105, 1106, 1079, 1081, 1086, 1084});
  FinishForm(order, QRect(74, 334, 188, 8), QRect(374, 249, 12, 12));
}

}  // namespace korvane
