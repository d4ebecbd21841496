#pragma once

// What the two study forms share: the window (caption, dialog font, size in
// dialog units, a sunken client edge), the foot with the status line, the
// progress bar, OK and Cancel, the two model radio buttons, and the form's
// part in a run. The form is the run's host. The run is started on the
// user-interface thread and calls back on it: at every refresh point the form
// writes the record into its fields and processes the events that are
// pending, so the window keeps painting and its radio buttons and close box
// keep working while a run is under way. (With several workers the
// replicates are simulated on their threads and the user-interface thread
// refreshes the form while it waits for them.)
//
// OK takes the values from the fields through the study's exchange; the
// first field that is refused is reported (its label, then the exchange's
// message) and gets the focus with its whole text selected, and no run
// starts. When the output directory holds replicate folders of the numbers
// the run would write, the user is asked whether to replace them; no run
// starts unless they agree. Otherwise the study runs in the open form, with a
// seed from the system's entropy source, OK and Cancel disabled and the
// fields read-only until it ends; a run that is refused or fails shows its
// message. Cancel, Escape and the close box end the form when it is idle.
//
// Below the client area, outside the laid-out form, a strip holds the
// "Calibrated model" check box (the runs started while it is ticked simulate
// the calibrated model instead of the specified one), the run line (the
// seed, data folder and output directory of the last run started, kept after
// it ends so that the seed can be noted) and the Stop button, which asks the
// run under way to stop at its next refresh point and leaves the form open.
// The close box during a run asks first; when the user agrees the run stops
// at its next refresh point and the form ends once it has.

#include <QDialog>
#include <QString>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_builder.h"
#include "app/field_binding.h"
#include "qual/qual_parameters.h"
#include "run/exchange.h"
#include "run/study_run.h"

class QCheckBox;
class QCloseEvent;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

namespace korvane {

// Control ids the two forms share.
namespace controls {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kContinuousModel = 1014;
inline constexpr int kDiscreteModel = 1015;
inline constexpr int kOutputDirectory = 1027;
inline constexpr int kStatusLine = 1076;
}  // namespace controls

// The reference data folder of a run started from a form: ./data when it is a
// folder, else the data shipped with the program.
std::filesystem::path DefaultDataDir();

class StudyForm : public QDialog, public FormHost {
  Q_OBJECT

 public:
  // How the form asks and tells outside its own window. Tests replace them so
  // that nothing waits for a person.
  struct Prompts {
    // A message box with the exclamation icon.
    std::function<void(QWidget* parent, const QString& message)> warn;
    // A directory chooser starting at `current`; empty when nothing was chosen.
    std::function<QString(QWidget* parent, const QString& current)> chooseDirectory;
    // A question answered Yes (true) or No.
    std::function<bool(QWidget* parent, const QString& question)> confirm;
  };
  static Prompts DefaultPrompts();

  ~StudyForm() override;

  void SetPrompts(Prompts prompts);
  // Replaces DefaultDataDir() for the runs of this form.
  void SetDataDir(std::filesystem::path dir);
  // Replicates simulated at once; 0 (the default) is one per processor core.
  // With one, the run's refresh points are those of the simulations
  // themselves; with more, the form is refreshed while it waits for its
  // workers, about ten times a second.
  void SetThreads(int threads);

  // The control with the given id, or null.
  QWidget* Control(int id) const;
  QPushButton* OkButton() const;
  QPushButton* CancelButton() const;
  QPushButton* BrowseButton() const { return browse_; }
  QProgressBar* ProgressBar() const { return progress_; }
  QLabel* StatusLine() const;
  // The strip under the client area: the run line (elided in the middle when
  // too long, the whole text in its tooltip) and the Stop button.
  QLabel* RunLine() const { return runLine_; }
  QPushButton* StopButton() const { return stop_; }
  // The strip's "Calibrated model" box: RunOptions::calibrated of the runs
  // started while it is ticked; greyed during a run like the form's boxes.
  QCheckBox* CalibratedBox() const { return calibrated_; }
  // The strip's "Formats" button: a menu of the formats that have no switch
  // on the form (PLINK binary, phased VCF and BCF), each ticked on its own;
  // the ticked ones are written besides the form's. Greyed during a run.
  QPushButton* FormatsButton() const { return formats_; }
  // The names of the formats ticked in the Formats menu, in its order.
  std::vector<std::string> ChosenFormats() const;
  // True from OK until the run has ended (refused, failed, stopped or done).
  bool IsRunning() const { return inRun_; }

  // FormHost.
  void Refresh(const RunProgress& progress) override;
  void SetRunning(bool running) override;
  bool StopRequested() const override { return stopRequested_; }
  // Shows the estimate of the bytes the run writes on the run line.
  void Announce(const RunEstimate& estimate) override;

 public slots:
  // Cancel and Escape: ends the form, unless a run is under way.
  void reject() override;

 signals:
  // After the record was written into the fields at a refresh point, before
  // the pending events are processed.
  void refreshed(const korvane::RunProgress& progress);

 protected:
  // `width` and `height` are the client area's size in dialog units, in the
  // dialog font of `pointSize` points.
  StudyForm(const QString& caption, int pointSize, int width, int height, QWidget* parent);

  DialogBuilder& Builder() { return builder_; }

  // Completes the form once the study's controls exist (the status line, OK
  // and Cancel among them): the progress bar and the output directory's "…"
  // button at their places, the keyboard order, the buttons' roles and the
  // radio buttons' link to the record's model.
  void FinishForm(const std::vector<int>& keyboardOrder, QRect progressUnits, QRect browseUnits);

  virtual void ShowRecord() = 0;
  virtual std::optional<FieldFailure> TakeRecord(MessageLanguage language) = 0;
  // The record's output directory and replicate count, as last taken.
  virtual std::string RecordOutputDirectory() const = 0;
  virtual int RecordReplicateCount() const = 0;
  // Runs the study on the record with this form as its host. Does not throw.
  virtual RunOutcome RunStudy(const RunOptions& options) = 0;
  virtual void SetModel(ModelKind model) = 0;
  // Appends the run to the run record of its output directory; the error's
  // text when that failed.
  virtual std::optional<QString> RecordRun(const RunOptions& options, const RunOutcome& outcome,
                                           std::int64_t startSeconds) = 0;

  void closeEvent(QCloseEvent* event) override;

 private slots:
  void Start();
  void ChooseOutputDirectory();
  void Stop();

 private:
  void AddRunStrip();
  void AddFormatsMenu(QWidget* strip, int left, int top, int height);
  // Before the first run: the data folder and the output directory a run
  // would use.
  void ShowPlaces();
  void ShowRunLine(const QString& text);
  // False when the output directory holds replicate folders of the run's
  // numbers and the user does not want them replaced; sets
  // `options.overwrite` when they do.
  bool MayWriteReplicates(RunOptions& options);
  void SetFieldsEditable(bool editable);
  void ShowOutcome(const RunOutcome& outcome);

  QFrame* edge_;
  QWidget* client_;
  DialogBuilder builder_;
  QProgressBar* progress_ = nullptr;
  QPushButton* browse_ = nullptr;
  QLabel* runLine_ = nullptr;
  QPushButton* stop_ = nullptr;
  QCheckBox* calibrated_ = nullptr;
  QPushButton* formats_ = nullptr;
  QString runStartText_;     // the run line of a run: its seed, data folder and output directory
  bool runStarted_ = false;  // the run line shows a run's seed
  Prompts prompts_;
  std::optional<std::filesystem::path> dataDir_;
  int threads_ = 0;
  RunProgress lastProgress_;
  bool inRun_ = false;
  bool stopRequested_ = false;
  bool closeRequested_ = false;
  bool focusOnButtons_ = false;  // OK or Cancel had the focus when the run began
};

}  // namespace korvane
