#include "app/Korvane.h"

#include <QPalette>
#include <QStyle>
#include <memory>

#include "app/KorvaneDlg.h"
#include "app/QualDlg.h"
#include "app/QuanDlg.h"
#include "app/app_icon.h"
#include "app/dialog_style.h"

namespace korvane {

QPalette DialogPalette(const QPalette& base) {
  QPalette palette = base;
  const QColor background(238, 237, 230);
  const QColor text(10, 10, 10);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Window, background);
  }
  // Disabled controls keep the style's greyed text.
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::WindowText, text);
    palette.setColor(group, QPalette::Text, text);
    palette.setColor(group, QPalette::ButtonText, text);
  }
  return palette;
}

KorvaneApp::KorvaneApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("korvane-gui"));
  setApplicationDisplayName(QStringLiteral("KORVANE"));
  setStyle(new DialogStyle);
  setPalette(DialogPalette(style()->standardPalette()));
  setWindowIcon(AppIcon());
}

int KorvaneApp::Run() {
  int choice = QDialog::Rejected;
  {
    KorvaneDlg launcher;
    choice = launcher.exec();
  }
  std::unique_ptr<StudyForm> form;
  if (choice == KorvaneDlg::kQualitative) {
    form = std::make_unique<QualDlg>();
  } else if (choice == KorvaneDlg::kQuantitative) {
    form = std::make_unique<QuanDlg>();
  } else {
    return 0;
  }
  if (formSetup_) formSetup_(*form);
  form->exec();
  return 0;
}

}  // namespace korvane
