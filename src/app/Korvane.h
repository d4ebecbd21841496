#pragma once

// The application object: sets the look of every dialog window, shows the
// launcher, then the study form chosen in it; the program ends when that form
// is closed.

#include <QApplication>
#include <functional>

namespace korvane {

class StudyForm;

class KorvaneApp : public QApplication {
  Q_OBJECT

 public:
  KorvaneApp(int& argc, char** argv);

  // Shows the launcher and waits; when a study was chosen, shows its form
  // and waits until it is closed. The program's exit code, 0.
  int Run();

  // Called with each study form before it is shown (tests give it a data
  // folder and prompts that do not wait).
  void SetFormSetup(std::function<void(StudyForm&)> setup) { formSetup_ = std::move(setup); }

 private:
  std::function<void(StudyForm&)> formSetup_;
};

// The dialog colours: background RGB(238, 237, 230), text RGB(10, 10, 10).
QPalette DialogPalette(const QPalette& base);

}  // namespace korvane
