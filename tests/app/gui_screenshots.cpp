// Saves pictures of the program's windows to the folder given (docs/ of the
// repository): launcher.png, qualitative-form.png and quantitative-form.png as
// they open, and qualitative-form-running.png during a small run on the
// shipped data. Run with QT_QPA_PLATFORM=offscreen.

#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>

#include "app/Korvane.h"
#include "app/KorvaneDlg.h"
#include "app/QualDlg.h"
#include "app/QuanDlg.h"

namespace {

bool SaveGrab(QWidget& window, const QString& path) {
  const bool saved = window.grab().save(path);
  std::printf("%s %s (%dx%d)\n", saved ? "wrote" : "could not write", qPrintable(path), window.width(),
              window.height());
  return saved;
}

bool Save(QWidget& window, const QDir& folder, const QString& name) {
  window.show();
  QApplication::processEvents();
  const bool saved = SaveGrab(window, folder.filePath(name));
  window.hide();
  return saved;
}

// The form while replicate 2 of 3 of a small study is under way.
bool SaveRunning(const QDir& folder) {
  QTemporaryDir out;
  korvane::QualDlg form;
  form.SetThreads(1);
  form.SetPrompts({[](QWidget*, const QString& message) { std::fprintf(stderr, "%s\n", qPrintable(message)); },
                   [](QWidget*, const QString&) { return QString(); },
                   [](QWidget*, const QString& question) {
                     std::fprintf(stderr, "%s\n", qPrintable(question));
                     return false;
                   }});
  const auto type = [&form](int id, const QString& text) { qobject_cast<QLineEdit*>(form.Control(id))->setText(text); };
  type(korvane::controls::kOutputDirectory, out.filePath(QStringLiteral("results")));
  type(1040, QStringLiteral("60"));
  type(1041, QStringLiteral("10"));
  type(1034, QStringLiteral("40"));
  type(1003, QStringLiteral("0.2"));
  type(1024, QStringLiteral("3"));
  form.show();
  bool saved = false;
  QObject::connect(&form, &korvane::StudyForm::refreshed, [&](const korvane::RunProgress& progress) {
    if (progress.completed == 1 && !saved) saved = SaveGrab(form, folder.filePath("qualitative-form-running.png"));
  });
  form.OkButton()->click();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  korvane::KorvaneApp app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: gui_screenshots FOLDER\n");
    return 2;
  }
  const QDir folder(args[1]);
  korvane::KorvaneDlg launcher;
  korvane::QualDlg qual;
  korvane::QuanDlg quan;
  const bool saved = Save(launcher, folder, QStringLiteral("launcher.png")) &&
                     Save(qual, folder, QStringLiteral("qualitative-form.png")) &&
                     Save(quan, folder, QStringLiteral("quantitative-form.png")) && SaveRunning(folder);
  return saved ? 0 : 1;
}
