// The desktop front end, offscreen: the launcher's choice, the forms' fields,
// messages and keyboard, runs in the open form (buttons, status line, radio
// buttons and the close box during a run), and the layout of every window.

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/Korvane.h"
#include "app/KorvaneDlg.h"
#include "app/QualDlg.h"
#include "app/QuanDlg.h"
#include "app/dialog_units.h"
#include "output/replicate_folders.h"
#include "synthetic_data.h"

namespace korvane {
namespace {

// The reference data folder of every run in these tests.
QString g_dataDir;

QLineEdit* Edit(const StudyForm& form, int id) { return qobject_cast<QLineEdit*>(form.Control(id)); }
QCheckBox* Check(const StudyForm& form, int id) { return qobject_cast<QCheckBox*>(form.Control(id)); }
QRadioButton* Radio(const StudyForm& form, int id) { return qobject_cast<QRadioButton*>(form.Control(id)); }

void Type(const StudyForm& form, int id, const QString& text) { Edit(form, id)->setText(text); }

const QString kCloseQuestion =
    QStringLiteral("A run is under way. Stop it and close the window?\n\nThe replicates completed so far are kept.");

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// Prompts that record what the form would have shown and never wait.
struct RecordedPrompts {
  std::vector<QString> warnings;
  std::vector<QString> questions;
  QString directoryChoice;
  bool answer = true;  // to every question

  StudyForm::Prompts Make() {
    return {[this](QWidget*, const QString& message) { warnings.push_back(message); },
            [this](QWidget*, const QString&) { return directoryChoice; },
            [this](QWidget*, const QString& question) {
              questions.push_back(question);
              return answer;
            }};
  }
};

// Ends every window that is still open after `seconds`, so that a test that
// went wrong inside a modal loop fails instead of waiting for ever.
class Watchdog {
 public:
  explicit Watchdog(int seconds) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [] { QFAIL("a window was still open when the watchdog fired"); });
    QObject::connect(&timer_, &QTimer::timeout, [] {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* form = qobject_cast<StudyForm*>(window)) {
          form->close();
        } else if (auto* dialog = qobject_cast<QDialog*>(window)) {
          dialog->done(QDialog::Rejected);
        }
      }
    });
    timer_.start(seconds * 1000);
  }

 private:
  QTimer timer_;
};

// A form of a small study (50 loci, 20 individuals) on the synthetic data,
// writing into its own folder, with one replicate at a time so that the run
// refreshes the form at the simulations' own refresh points.
template <class Form>
struct SmallStudy {
  QTemporaryDir out;
  Form form;
  RecordedPrompts prompts;

  SmallStudy() {
    form.SetPrompts(prompts.Make());
    form.SetDataDir(g_dataDir.toStdString());
    form.SetThreads(1);
    Type(form, controls::kOutputDirectory, Out());
    Type(form, 1040, QStringLiteral("50"));
    Type(form, 1041, QStringLiteral("10"));
    Type(form, 1034, QStringLiteral("20"));
    form.show();
  }
  QString Out() const { return out.filePath(QStringLiteral("runs")); }
  QString Path(const QString& name) const { return Out() + QLatin1Char('/') + name; }
};

// The widgets that take part in Tab, in the order Tab visits them from `first`.
std::vector<QWidget*> KeyboardOrder(QWidget* first) {
  std::vector<QWidget*> order;
  QWidget* w = first;
  do {
    if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->isEnabled() && w->isVisibleTo(first->window())) {
      order.push_back(w);
    }
    w = w->nextInFocusChain();
  } while (w != first);
  return order;
}

std::vector<QWidget*> Controls(const StudyForm& form, const std::vector<int>& ids) {
  std::vector<QWidget*> controls;
  for (int id : ids) {
    controls.push_back(form.Control(id));
    if (id == controls::kOutputDirectory) controls.push_back(form.BrowseButton());
  }
  return controls;
}

// The seeds of the runs in a run record, in order.
std::vector<QString> RecordedSeeds(const QString& record) {
  std::vector<QString> seeds;
  auto it =
      QRegularExpression(QStringLiteral("^seed = (\\d+)$"), QRegularExpression::MultilineOption).globalMatch(record);
  while (it.hasNext()) seeds.push_back(it.next().captured(1));
  return seeds;
}

// What a run looked like from inside, at its first refresh point.
struct RunGlimpse {
  bool seen = false;
  bool okEnabled = true;
  bool cancelEnabled = true;
  bool running = false;
  QString status;
  QString progress;
  bool stillRunningAfterEscape = false;
};

// Ancestry lines of a discrete-model replicate hold 1.0 or 0.0 (the source
// pool); those of the continuous migration model the exact share.
bool AncestryOfModel(const QString& origin, ModelKind model) {
  const QRegularExpression line(model == ModelKind::kDiscrete ? QStringLiteral("^\\d+ +(1\\.0|0\\.0)$")
                                                              : QStringLiteral("^\\d+ +\\d\\.\\d{6}$"));
  QStringList lines = origin.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  if (lines.size() < 2) return false;
  lines.removeFirst();
  return std::all_of(lines.begin(), lines.end(), [&](const QString& l) { return line.match(l).hasMatch(); });
}

}  // namespace

// ---------------------------------------------------------------------------
class LauncherTest : public QObject {
  Q_OBJECT

 private slots:
  void enterOpensTheQualitativeFormAndEscapeEndsTheProgram() {
    auto* app = static_cast<KorvaneApp*>(QCoreApplication::instance());
    Watchdog watchdog(30);
    QPointer<KorvaneDlg> launcher;
    QString formClass;
    bool launcherGone = false;
    app->SetFormSetup([&](StudyForm& form) {
      formClass = QString::fromLatin1(form.metaObject()->className());
      launcherGone = launcher.isNull() || !launcher->isVisible();
      QTimer::singleShot(0, [&form] {
        QCOMPARE(QApplication::activeModalWidget(), &form);
        QTest::keyClick(&form, Qt::Key_Escape);
      });
    });
    QTimer::singleShot(0, [&] {
      launcher = qobject_cast<KorvaneDlg*>(QApplication::activeModalWidget());
      QVERIFY(launcher);
      QCOMPARE(launcher->windowTitle(), QStringLiteral("KORVANE v1.0"));
      QVERIFY(launcher->QualitativeButton()->isDefault());
      QTest::keyClick(launcher, Qt::Key_Return);
    });
    QCOMPARE(app->Run(), 0);
    app->SetFormSetup({});
    QCOMPARE(formClass, QStringLiteral("korvane::QualDlg"));
    QVERIFY(launcherGone);
    for (QWidget* window : QApplication::topLevelWidgets()) QVERIFY(!window->isVisible());
  }

  void quantitativeButtonOpensTheQuantitativeForm() {
    auto* app = static_cast<KorvaneApp*>(QCoreApplication::instance());
    Watchdog watchdog(30);
    QString formClass;
    app->SetFormSetup([&](StudyForm& form) {
      formClass = QString::fromLatin1(form.metaObject()->className());
      QTimer::singleShot(0, [&form] { QTest::mouseClick(form.CancelButton(), Qt::LeftButton); });
    });
    QTimer::singleShot(0, [] {
      auto* launcher = qobject_cast<KorvaneDlg*>(QApplication::activeModalWidget());
      QVERIFY(launcher);
      QTest::mouseClick(launcher->QuantitativeButton(), Qt::LeftButton);
    });
    QCOMPARE(app->Run(), 0);
    app->SetFormSetup({});
    QCOMPARE(formClass, QStringLiteral("korvane::QuanDlg"));
  }

  void escapeInTheLauncherEndsTheProgramWithoutAForm() {
    auto* app = static_cast<KorvaneApp*>(QCoreApplication::instance());
    Watchdog watchdog(30);
    bool formOpened = false;
    app->SetFormSetup([&](StudyForm&) { formOpened = true; });
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    QCOMPARE(app->Run(), 0);
    app->SetFormSetup({});
    QVERIFY(!formOpened);
  }
};

// ---------------------------------------------------------------------------
class QualFormTest : public QObject {
  Q_OBJECT

 private slots:
  void aNewFormShowsTheDefaultsAndNoModel() {
    QualDlg form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Qualitative Trait"));
    QCOMPARE(Edit(form, 1003)->text(), QStringLiteral("0.01"));
    QCOMPARE(Edit(form, 1006)->text(), QStringLiteral("1.5"));
    QCOMPARE(Edit(form, 1010)->text(), QStringLiteral("0.1"));
    QCOMPARE(Edit(form, 1009)->text(), QStringLiteral("0.3"));
    QCOMPARE(Edit(form, 1034)->text(), QStringLiteral("200"));
    QCOMPARE(Edit(form, 1079)->text(), QStringLiteral("0"));
    QCOMPARE(Edit(form, controls::kOutputDirectory)->text(), QStringLiteral("korvane-output"));
    QCOMPARE(form.StatusLine()->text(), QStringLiteral("Press OK to start simulation."));
    for (int id : {1028, 1029, 1030, 1037, 1039}) QVERIFY(Check(form, id)->isChecked());
    QVERIFY(!Radio(form, controls::kContinuousModel)->isChecked());
    QVERIFY(!Radio(form, controls::kDiscreteModel)->isChecked());
    QCOMPARE(form.Parameters().modelKind, ModelKind::kDiscrete);
    QVERIFY(form.OkButton()->isDefault());
    QCOMPARE(form.focusWidget(), form.OkButton());
    QVERIFY(form.OkButton()->isEnabled() && form.CancelButton()->isEnabled());
  }

  void tabFollowsTheKeyboardOrderAndSkipsTheRadioButtons() {
    QualDlg form;
    form.show();
    const auto expected = Controls(
        form,
        {controls::kOk, controls::kCancel,          1003, 1006, 1009, 1010, 1012, 1013, 1016, 1017, 1075, 1023, 1024,
         1025,          controls::kOutputDirectory, 1028, 1029, 1030, 1034, 1036, 1037, 1039, 1040, 1041, 1079, 1084,
         1086});
    // The strip's check box and Formats button come after the form's own
    // controls.
    std::vector<QWidget*> withStrip = expected;
    withStrip.push_back(form.CalibratedBox());
    withStrip.push_back(form.FormatsButton());
    QCOMPARE(KeyboardOrder(form.OkButton()), withStrip);
  }

  void aRefusedValueIsReportedAndFocusedWithTheFieldsBeforeItTaken() {
    QTemporaryDir out;
    RecordedPrompts prompts;
    QualDlg form;
    form.SetPrompts(prompts.Make());
    form.show();
    const QString outputDir = out.filePath(QStringLiteral("runs"));
    Type(form, controls::kOutputDirectory, outputDir);  // field 5
    Type(form, 1016, QStringLiteral("0.5"));            // field 8
    QLineEdit* sampleSize = Edit(form, 1034);           // field 9
    sampleSize->setFocus();
    sampleSize->selectAll();
    QTest::keyClicks(sampleSize, QStringLiteral("2e2"));
    Type(form, 1024, QStringLiteral("7"));  // field 10
    Type(form, 1006, QStringLiteral("9"));  // field 26, out of range, never reached

    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QCOMPARE(prompts.warnings, std::vector<QString>{QStringLiteral("Sample size:\nPlease enter an integer.")});
    QCOMPARE(form.focusWidget(), sampleSize);
    QCOMPARE(sampleSize->selectedText(), QStringLiteral("2e2"));
    const QualParameters& p = form.Parameters();
    QCOMPARE(QString::fromStdString(p.outputDirectory), outputDir);
    QCOMPARE(p.yriPerGeneration, 0.5);
    QCOMPARE(p.sampleSize, 200);
    QCOMPARE(p.replicateCount, 1);
    QCOMPARE(p.relativeRisk, 1.5f);
    QVERIFY(!QDir(outputDir).exists());

    // A range failure names the field's bounds; the Enter key in a field
    // presses OK as the button does.
    prompts.warnings.clear();
    Type(form, 1034, QStringLiteral("200 "));
    Type(form, 1010, QStringLiteral("0.51"));
    QTest::keyClick(Edit(form, 1003), Qt::Key_Return);
    QCOMPARE(prompts.warnings,
             std::vector<QString>{QStringLiteral(
                 "Frequency of disease susceptible allele: min\nPlease enter a number between 0 and 0.5.")});
    QCOMPARE(form.focusWidget(), Edit(form, 1010));
    QCOMPARE(form.Parameters().sampleSize, 200);
    QCOMPARE(form.Parameters().susceptibilityFreqMin, 0.51);
    QVERIFY(!QDir(outputDir).exists());
  }

  void messagesFollowTheUsersLanguage() {
    RecordedPrompts prompts;
    QualDlg form;
    form.SetPrompts(prompts.Make());
    Type(form, 1036, QStringLiteral("many"));
    const QByteArray saved = qgetenv("LC_ALL");
    qputenv("LC_ALL", "zh_CN.UTF-8");
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    qputenv("LC_ALL", saved);
    QCOMPARE(prompts.warnings, std::vector<QString>{QStringLiteral("Number of generation:\n请键入一个整数。")});
  }

  void theMessageBoxHasTheExclamationIcon() {
    QualDlg form;  // the real prompts
    form.show();
    Type(form, 1003, QString());
    Watchdog watchdog(30);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      icon = box->icon();
      text = box->text();
      box->accept();
    });
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(text, QStringLiteral("Disease prevalence:\nPlease enter a number."));
    QCOMPARE(form.focusWidget(), Edit(form, 1003));
  }

  void escapeCancelAndTheCloseBoxEndTheIdleForm() {
    for (int way = 0; way < 3; ++way) {
      QualDlg form;
      form.show();
      QSignalSpy finished(&form, &QDialog::finished);
      if (way == 0) QTest::keyClick(&form, Qt::Key_Escape);
      if (way == 1) QTest::mouseClick(form.CancelButton(), Qt::LeftButton);
      if (way == 2) form.close();
      QCOMPARE(finished.count(), 1);
      QCOMPARE(finished.at(0).at(0).toInt(), 0);
      QVERIFY(!form.isVisible());
    }
  }

  void okRunsInTheOpenFormWithOkAndCancelDisabled() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    Type(form, 1003, QStringLiteral("0.2"));
    Type(form, 1024, QStringLiteral("2"));
    int refreshes = 0;
    connect(&form, &StudyForm::refreshed, this, [&] { ++refreshes; });
    RunGlimpse glimpse;
    // Fires at the run's first refresh point, which processes pending events.
    QTimer::singleShot(0, [&] {
      glimpse.seen = true;
      glimpse.okEnabled = form.OkButton()->isEnabled();
      glimpse.cancelEnabled = form.CancelButton()->isEnabled();
      glimpse.running = form.IsRunning();
      glimpse.status = form.StatusLine()->text();
      glimpse.progress = form.ProgressBar()->text();
      QTest::keyClick(&form, Qt::Key_Escape);  // Cancel is disabled: Escape does nothing
      glimpse.stillRunningAfterEscape = form.isVisible() && form.IsRunning();
    });
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);

    QVERIFY(glimpse.seen);
    QVERIFY(!glimpse.okEnabled);
    QVERIFY(!glimpse.cancelEnabled);
    QVERIFY(glimpse.running);
    QCOMPARE(glimpse.status, QStringLiteral("Simulation 1 is running now......."));
    QCOMPARE(glimpse.progress, QStringLiteral("Replicate 1 of 2 \u00b7 0 of 20 individuals"));
    QVERIFY(glimpse.stillRunningAfterEscape);
    QVERIFY(refreshes > 4);

    QVERIFY(study.prompts.warnings.empty());
    QVERIFY(form.isVisible());
    QVERIFY(!form.IsRunning());
    QVERIFY(form.OkButton()->isEnabled() && form.CancelButton()->isEnabled());
    QCOMPARE(form.StatusLine()->text(), QStringLiteral("Press OK to start simulation."));
    QCOMPARE(form.focusWidget(), form.OkButton());
    QCOMPARE(form.ProgressBar()->text(), QStringLiteral("2 of 2 replicates written"));
    QVERIFY(QFile::exists(study.Path(QStringLiteral("1/Origin.txt"))));
    QVERIFY(QFile::exists(study.Path(QStringLiteral("2/Plink.ped"))));
    QVERIFY(!QDir(study.Path(QStringLiteral("3"))).exists());
    QVERIFY(AncestryOfModel(ReadText(study.Path(QStringLiteral("1/Origin.txt"))), ModelKind::kDiscrete));
    const QString record = ReadText(study.Path(QStringLiteral("korvane-runs.toml")));
    QVERIFY(record.contains(QStringLiteral("study = \"qual\"")));
    QVERIFY(record.contains(QStringLiteral("outcome = \"completed\"")));
    // The fields show the record as taken.
    QCOMPARE(Edit(form, 1024)->text(), QStringLiteral("2"));
  }

  void aRunOnSeveralWorkersKeepsTheFormAlive() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    form.SetThreads(2);
    Type(form, 1003, QStringLiteral("0.2"));
    Type(form, 1024, QStringLiteral("3"));
    RunGlimpse glimpse;
    QTimer::singleShot(0, [&] {
      glimpse.seen = true;
      glimpse.okEnabled = form.OkButton()->isEnabled();
      glimpse.cancelEnabled = form.CancelButton()->isEnabled();
      glimpse.status = form.StatusLine()->text();
    });
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QVERIFY(glimpse.seen);
    QVERIFY(!glimpse.okEnabled && !glimpse.cancelEnabled);
    QVERIFY(glimpse.status.startsWith(QStringLiteral("Simulation ")));
    QVERIFY(study.prompts.warnings.empty());
    QVERIFY(form.OkButton()->isEnabled() && form.CancelButton()->isEnabled());
    QCOMPARE(form.ProgressBar()->text(), QStringLiteral("3 of 3 replicates written"));
    for (const char* folder : {"1/Origin.txt", "2/Origin.txt", "3/Origin.txt"}) {
      QVERIFY(QFile::exists(study.Path(QString::fromLatin1(folder))));
    }
  }

  void aRadioClickDuringARunChangesTheModelOfTheNextAttempt() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    Type(form, 1003, QStringLiteral("0.2"));
    Type(form, 1024, QStringLiteral("2"));
    QRadioButton* continuous = Radio(form, controls::kContinuousModel);
    bool clicked = false;
    // Once replicate 1 is complete, click "Continuous migration model:"; the
    // click is processed at that refresh point, before replicate 2 starts.
    connect(&form, &StudyForm::refreshed, this, [&](const RunProgress& progress) {
      if (progress.completed == 1 && !clicked) {
        clicked = true;
        QTimer::singleShot(0, [continuous] { QTest::mouseClick(continuous, Qt::LeftButton); });
      }
    });
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QVERIFY(clicked);
    QVERIFY(study.prompts.warnings.empty());
    QVERIFY(continuous->isChecked());
    QVERIFY(!Radio(form, controls::kDiscreteModel)->isChecked());
    QCOMPARE(form.Parameters().modelKind, ModelKind::kContinuous);
    QVERIFY(AncestryOfModel(ReadText(study.Path(QStringLiteral("1/Origin.txt"))), ModelKind::kDiscrete));
    QVERIFY(AncestryOfModel(ReadText(study.Path(QStringLiteral("2/Origin.txt"))), ModelKind::kContinuous));

    // Clicking "Discrete model:" afterwards moves the selection back; the
    // last click decides the next run.
    QTest::mouseClick(Radio(form, controls::kDiscreteModel), Qt::LeftButton);
    QVERIFY(!continuous->isChecked());
    QCOMPARE(form.Parameters().modelKind, ModelKind::kDiscrete);
  }

  void closingTheWindowDuringARunStopsItAndEndsTheForm() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    Type(form, 1003, QStringLiteral("0.2"));
    Type(form, 1024, QStringLiteral("3"));
    QSignalSpy finished(&form, &QDialog::finished);
    bool closed = false;
    connect(&form, &StudyForm::refreshed, this, [&](const RunProgress& progress) {
      if (progress.completed == 1 && !closed) {
        closed = true;
        QTimer::singleShot(0, [&form] { form.close(); });
      }
    });
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QVERIFY(closed);
    QCOMPARE(study.prompts.questions, std::vector<QString>{kCloseQuestion});
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QVERIFY(!form.isVisible());
    QVERIFY(!form.IsRunning());
    QVERIFY(study.prompts.warnings.empty());
    // Replicate 1 stays complete; the log line of replicate 2 was ended
    // without an entry and the logs were closed.
    QVERIFY(QFile::exists(study.Path(QStringLiteral("1/GC.txt"))));
    QVERIFY(!QDir(study.Path(QStringLiteral("3"))).exists());
    const QString log = ReadText(study.Path(QStringLiteral("Causal_Locus_Plink&Admixmap&Eigensoft.txt")));
    QVERIFY2(QRegularExpression(QStringLiteral("^Simu#  Causal locus\\n1      SNP\\d+ *\\n2      \\n$"))
                 .match(log)
                 .hasMatch(),
             qPrintable(log));
    QVERIFY(
        ReadText(study.Path(QStringLiteral("korvane-runs.toml"))).contains(QStringLiteral("outcome = \"stopped\"")));
  }

  void answeringNoWhenClosingDuringARunLetsItFinish() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    study.prompts.answer = false;
    Type(form, 1003, QStringLiteral("0.2"));
    Type(form, 1024, QStringLiteral("3"));
    QSignalSpy finished(&form, &QDialog::finished);
    bool closed = false;
    connect(&form, &StudyForm::refreshed, this, [&](const RunProgress& progress) {
      if (progress.completed == 1 && !closed) {
        closed = true;
        QTimer::singleShot(0, [&form] { form.close(); });
      }
    });
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QVERIFY(closed);
    QCOMPARE(study.prompts.questions, std::vector<QString>{kCloseQuestion});
    QCOMPARE(finished.count(), 0);
    QVERIFY(form.isVisible());
    QVERIFY(study.prompts.warnings.empty());
    QVERIFY(QFile::exists(study.Path(QStringLiteral("3/Plink.ped"))));
    QCOMPARE(form.ProgressBar()->text(), QStringLiteral("3 of 3 replicates written"));
    QVERIFY(
        ReadText(study.Path(QStringLiteral("korvane-runs.toml"))).contains(QStringLiteral("outcome = \"completed\"")));
  }

  void theStopButtonStopsTheRunAndLeavesTheFormIdle() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    Type(form, 1003, QStringLiteral("0.2"));
    Type(form, 1024, QStringLiteral("3"));
    QSignalSpy finished(&form, &QDialog::finished);
    QVERIFY(!form.StopButton()->isEnabled());
    bool stopEnabled = false;
    bool stopDisabledOnceClicked = false;
    bool clicked = false;
    connect(&form, &StudyForm::refreshed, this, [&](const RunProgress& progress) {
      if (progress.completed == 1 && !clicked) {
        clicked = true;
        stopEnabled = form.StopButton()->isEnabled();
        QTimer::singleShot(0, [&] {
          QTest::mouseClick(form.StopButton(), Qt::LeftButton);
          stopDisabledOnceClicked = !form.StopButton()->isEnabled() && form.IsRunning();
        });
      }
    });
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QVERIFY(clicked);
    QVERIFY(stopEnabled);
    QVERIFY(stopDisabledOnceClicked);

    QCOMPARE(finished.count(), 0);
    QVERIFY(form.isVisible());
    QVERIFY(!form.IsRunning());
    QVERIFY(study.prompts.warnings.empty());
    QVERIFY(study.prompts.questions.empty());
    QVERIFY(form.OkButton()->isEnabled() && form.CancelButton()->isEnabled());
    QVERIFY(!form.StopButton()->isEnabled());
    QCOMPARE(form.StatusLine()->text(), QStringLiteral("Press OK to start simulation."));
    QCOMPARE(form.ProgressBar()->text(), QStringLiteral("1 of 3 replicates written"));
    QVERIFY(QFile::exists(study.Path(QStringLiteral("1/Plink.ped"))));
    QVERIFY(!QDir(study.Path(QStringLiteral("2"))).exists());
    QVERIFY(
        ReadText(study.Path(QStringLiteral("korvane-runs.toml"))).contains(QStringLiteral("outcome = \"stopped\"")));

    // The form runs again; its replicate 1 is asked about first.
    study.prompts.answer = true;
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QCOMPARE(study.prompts.questions.size(), std::size_t{1});
    QVERIFY(QFile::exists(study.Path(QStringLiteral("3/Plink.ped"))));
  }

  void fieldsAreReadOnlyDuringARunAndEditableAfter() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    Type(form, 1024, QStringLiteral("2"));
    const QList<QLineEdit*> edits = form.findChildren<QLineEdit*>();
    const QList<QCheckBox*> checks = form.findChildren<QCheckBox*>();
    QCOMPARE(edits.size(), 20);
    QCOMPARE(checks.size(), 6);  // the five formats and the strip's Calibrated model
    bool seen = false;
    bool allReadOnly = false;
    bool allChecksDisabled = false;
    bool radiosEnabled = false;
    QString typedInto;
    bool plinkTicked = false;
    connect(&form, &StudyForm::refreshed, this, [&] {
      if (seen) return;
      seen = true;
      allReadOnly = std::all_of(edits.begin(), edits.end(), [](const QLineEdit* e) { return e->isReadOnly(); });
      allChecksDisabled = std::none_of(checks.begin(), checks.end(), [](const QCheckBox* c) { return c->isEnabled(); });
      radiosEnabled =
          Radio(form, controls::kContinuousModel)->isEnabled() && Radio(form, controls::kDiscreteModel)->isEnabled();
      QTest::keyClicks(Edit(form, 1034), QStringLiteral("999"));
      typedInto = Edit(form, 1034)->text();
      QTest::mouseClick(Check(form, 1028), Qt::LeftButton);
      plinkTicked = Check(form, 1028)->isChecked();
    });
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QVERIFY(seen);
    QVERIFY(allReadOnly);
    QVERIFY(allChecksDisabled);
    QVERIFY(radiosEnabled);
    QCOMPARE(typedInto, QStringLiteral("20"));
    QVERIFY(plinkTicked);

    QVERIFY(std::none_of(edits.begin(), edits.end(), [](const QLineEdit* e) { return e->isReadOnly(); }));
    QVERIFY(std::all_of(checks.begin(), checks.end(), [](const QCheckBox* c) { return c->isEnabled(); }));
    QLineEdit* sampleSize = Edit(form, 1034);
    sampleSize->setFocus();
    sampleSize->selectAll();
    QTest::keyClicks(sampleSize, QStringLiteral("30"));
    QCOMPARE(sampleSize->text(), QStringLiteral("30"));
    QTest::mouseClick(Check(form, 1028), Qt::LeftButton);
    QVERIFY(!Check(form, 1028)->isChecked());
  }

  void theCalibratedModelBoxChoosesTheModelOfTheRuns() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    QCheckBox* box = form.CalibratedBox();
    QVERIFY(box != nullptr);
    QCOMPARE(box->text(), QStringLiteral("Calibrated model"));
    QVERIFY(!box->isChecked() && box->isEnabled());
    const auto recordedModels = [&] {
      std::vector<QString> models;
      auto it = QRegularExpression(QStringLiteral("^calibrated = (\\w+)$"), QRegularExpression::MultilineOption)
                    .globalMatch(ReadText(study.Path(QStringLiteral("korvane-runs.toml"))));
      while (it.hasNext()) models.push_back(it.next().captured(1));
      return models;
    };

    // Unticked: the specified model.
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QVERIFY(study.prompts.warnings.empty());
    QCOMPARE(recordedModels(), std::vector<QString>{QStringLiteral("false")});

    // Ticked: the run is of the calibrated model, and the box is greyed while
    // it runs, so that a click then changes nothing.
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(box->isChecked());
    bool seen = false;
    bool enabledDuringTheRun = true;
    connect(&form, &StudyForm::refreshed, this, [&] {
      if (seen) return;
      seen = true;
      enabledDuringTheRun = box->isEnabled();
      QTest::mouseClick(box, Qt::LeftButton);
    });
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);  // replaces the first run's replicate
    QVERIFY(seen);
    QVERIFY(!enabledDuringTheRun);
    QVERIFY(box->isChecked());
    QVERIFY(box->isEnabled());
    QVERIFY(study.prompts.warnings.empty());
    QCOMPARE(recordedModels(), (std::vector<QString>{QStringLiteral("false"), QStringLiteral("true")}));
  }

  void theFormatsMenuAddsTheFormatsWithoutABox() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    QPushButton* button = form.FormatsButton();
    QVERIFY(button != nullptr && button->menu() != nullptr);
    const QList<QAction*> actions = button->menu()->actions();
    QStringList texts;
    for (const QAction* action : actions) texts << action->text();
    QCOMPARE(texts, (QStringList{QStringLiteral("PLINK binary (Plink.bed, .bim, .fam)"),
                                 QStringLiteral("Phased VCF (Genotypes.vcf.gz, indexed)"),
                                 QStringLiteral("Phased BCF (Genotypes.bcf, indexed)")}));
    QVERIFY(form.ChosenFormats().empty());

    // Nothing ticked: the form's formats alone.
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QVERIFY(study.prompts.warnings.empty());
    QVERIFY(QFile::exists(study.Path(QStringLiteral("1/Plink.ped"))));
    QVERIFY(!QFile::exists(study.Path(QStringLiteral("1/Plink.bed"))));

    // PLINK binary and VCF ticked: written besides them, recorded, and the
    // button greyed during the run.
    actions[0]->setChecked(true);
    actions[1]->setChecked(true);
    QCOMPARE(form.ChosenFormats(), (std::vector<std::string>{"bed", "vcf.gz"}));
    bool enabledDuringTheRun = true;
    connect(&form, &StudyForm::refreshed, this, [&] { enabledDuringTheRun = button->isEnabled(); });
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);  // replaces the first run's replicate
    QVERIFY(!enabledDuringTheRun);
    QVERIFY(button->isEnabled());
    QVERIFY(study.prompts.warnings.empty());
    for (const char* file :
         {"1/Plink.ped", "1/Plink.bed", "1/Plink.fam", "1/Genotypes.vcf.gz", "1/Genotypes.vcf.gz.tbi"}) {
      QVERIFY2(QFile::exists(study.Path(QString::fromLatin1(file))), file);
    }
    QVERIFY(!QFile::exists(study.Path(QStringLiteral("1/Genotypes.bcf"))));
    QVERIFY(
        ReadText(study.Path(QStringLiteral("korvane-runs.toml"))).contains(QStringLiteral("formats = \"bed,vcf.gz\"")));
  }

  void aRunLargerThanTheDiskStartsOnlyWhenTheUserSaysSo() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    Type(form, 1034, QStringLiteral("10000000"));
    Type(form, 1040, QStringLiteral("12867"));
    Type(form, 1024, QStringLiteral("1000000"));
    study.prompts.answer = false;
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QCOMPARE(study.prompts.questions.size(), std::size_t{1});
    QVERIFY2(study.prompts.questions[0].contains(QStringLiteral("per replicate) and its file system has")),
             qPrintable(study.prompts.questions[0]));
    QVERIFY(study.prompts.questions[0].endsWith(QStringLiteral("Start the run anyway? It may fill the disk.")));
    QVERIFY(study.prompts.warnings.empty());
    QVERIFY(!QFile::exists(study.Out()));
    QVERIFY(form.OkButton()->isEnabled());
    // The run line shows the estimate once, after the run's seed and places.
    const QString line = form.RunLine()->toolTip();
    QVERIFY2(line.startsWith(QStringLiteral("Seed ")) && line.endsWith(QStringLiteral(" PB")), qPrintable(line));
    QCOMPARE(line.count(QStringLiteral("writes about")), 1);
  }

  void existingReplicatesAreReplacedOnlyWhenTheUserAgrees() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    Type(form, 1024, QStringLiteral("2"));
    // A replicate folder outside the run's numbers is not asked about and
    // stays as it is.
    QVERIFY(QDir().mkpath(study.Path(QStringLiteral("3"))));
    QFile other(study.Path(QStringLiteral("3/kept.txt")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("of another run\n");
    other.close();
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QVERIFY(study.prompts.questions.empty());
    QVERIFY(study.prompts.warnings.empty());

    const QString logPath = study.Path(QStringLiteral("Causal_Locus_Plink&Admixmap&Eigensoft.txt"));
    const QString log = ReadText(logPath);
    const QString record = ReadText(study.Path(QStringLiteral("korvane-runs.toml")));
    const QString ped = ReadText(study.Path(QStringLiteral("1/Plink.ped")));
    const QString runLine = form.RunLine()->toolTip();
    QVERIFY(!ped.isEmpty());

    // No: nothing is written, not even the run record.
    study.prompts.answer = false;
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    const QString question = QStringLiteral(
                                 "The output directory %1 already holds replicate folders of the numbers this run "
                                 "writes (replicates 1 to 2; %1/1 exists).\n\nReplace them with this run's replicates?")
                                 .arg(study.Out());
    QCOMPARE(study.prompts.questions, std::vector<QString>{question});
    QVERIFY(study.prompts.warnings.empty());
    QCOMPARE(ReadText(logPath), log);
    QCOMPARE(ReadText(study.Path(QStringLiteral("korvane-runs.toml"))), record);
    QCOMPARE(ReadText(study.Path(QStringLiteral("1/Plink.ped"))), ped);
    QCOMPARE(form.RunLine()->toolTip(), runLine);
    QVERIFY(!form.IsRunning() && form.OkButton()->isEnabled());
    QCOMPARE(form.StatusLine()->text(), QStringLiteral("Press OK to start simulation."));

    // Yes: the run replaces replicates 1 and 2 with its own.
    study.prompts.answer = true;
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QCOMPARE(study.prompts.questions.size(), std::size_t{2});
    QVERIFY(study.prompts.warnings.empty());
    QVERIFY(ReadText(study.Path(QStringLiteral("1/Plink.ped"))) != ped);
    QVERIFY(QFile::exists(study.Path(QStringLiteral("2/Plink.ped"))));
    QCOMPARE(ReadText(study.Path(QStringLiteral("3/kept.txt"))), QStringLiteral("of another run\n"));
    QCOMPARE(RecordedSeeds(ReadText(study.Path(QStringLiteral("korvane-runs.toml")))).size(), std::size_t{2});

    // A run of one replicate names it alone.
    Type(form, 1024, QStringLiteral("1"));
    study.prompts.answer = false;
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QVERIFY2(study.prompts.questions.back().contains(QStringLiteral("(replicate 1; ")),
             qPrintable(study.prompts.questions.back()));
  }

  void aRunIntoADirectoryAnotherRunHoldsIsRefused() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    QVERIFY(QDir().mkpath(study.Out()));
    std::optional<OutputDirectoryLock> other = OutputDirectoryLock::TryAcquire(study.Out().toStdString());
    QVERIFY(other.has_value());
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QCOMPARE(study.prompts.warnings.size(), std::size_t{1});
    QVERIFY2(study.prompts.warnings[0].startsWith(study.Out() + QStringLiteral(": another run is writing there")),
             qPrintable(study.prompts.warnings[0]));
    QVERIFY(study.prompts.questions.empty());
    QVERIFY(!QDir(study.Path(QStringLiteral("1"))).exists());
    QVERIFY(!QFile::exists(study.Path(QStringLiteral("korvane-runs.toml"))));
    QVERIFY(form.OkButton()->isEnabled() && !form.StopButton()->isEnabled());
  }

  void theRunLineShowsTheSeedOfTheRunRecordAndEveryRunGetsItsOwn() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    const QString separator = QStringLiteral(" \u00b7 ");
    // Before any run: where a run would read and write; it follows the
    // output directory's field.
    QCOMPARE(form.RunLine()->toolTip(),
             QStringLiteral("Data ") + g_dataDir + separator + QStringLiteral("output ") + study.Out());
    const QString deep = study.Out() + QStringLiteral("/a-rather-long-folder-name-of-a-study").repeated(8);
    Type(form, controls::kOutputDirectory, deep);
    QLabel* line = form.RunLine();
    QVERIFY(line->toolTip().endsWith(QStringLiteral("output ") + deep));
    QVERIFY(line->text() != line->toolTip());
    QVERIFY(line->text().contains(QChar(0x2026)));
    QVERIFY(line->text().startsWith(QStringLiteral("Data ")));
    QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= line->width());
    Type(form, controls::kOutputDirectory, study.Out());

    const QRegularExpression shown(QStringLiteral("^Seed (\\d+)") + separator + QStringLiteral("data ") +
                                   QRegularExpression::escape(g_dataDir) + separator + QStringLiteral("output ") +
                                   QRegularExpression::escape(study.Out()) + separator +
                                   QStringLiteral("writes about [0-9.]+ kB$"));
    QString seenDuringTheRun;
    connect(&form, &StudyForm::refreshed, this, [&] { seenDuringTheRun = line->toolTip(); });
    std::vector<QString> seeds;
    for (int run = 0; run < 2; ++run) {
      QTest::mouseClick(form.OkButton(), Qt::LeftButton);  // the second run replaces the first's replicate
      const QRegularExpressionMatch match = shown.match(line->toolTip());
      QVERIFY2(match.hasMatch(), qPrintable(line->toolTip()));
      seeds.push_back(match.captured(1));
      QCOMPARE(seenDuringTheRun, line->toolTip());
      QVERIFY(line->text().startsWith(QStringLiteral("Seed ") + seeds.back() + separator));
    }
    QVERIFY(study.prompts.warnings.empty());
    QCOMPARE(RecordedSeeds(ReadText(study.Path(QStringLiteral("korvane-runs.toml")))), seeds);
    QVERIFY(seeds[0] != seeds[1]);

    // Kept once the run has ended, whatever is typed afterwards.
    Type(form, controls::kOutputDirectory, deep);
    QVERIFY(shown.match(line->toolTip()).hasMatch());
  }

  void theProgressBarCountsTheIndividualsOfTheReplicateUnderWay() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    Type(form, 1034, QStringLiteral("400"));
    Type(form, 1024, QStringLiteral("2"));
    QString during;  // the bar at a refresh point within replicate 2
    connect(&form, &StudyForm::refreshed, this, [&](const RunProgress& progress) {
      if (progress.completed == 1 && progress.written > 0 && progress.written < progress.sampleSize &&
          during.isEmpty()) {
        during = QStringLiteral("%1 %2 %3 of %4")
                     .arg(progress.written)
                     .arg(form.ProgressBar()->text())
                     .arg(form.ProgressBar()->value())
                     .arg(form.ProgressBar()->maximum());
      }
    });
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QVERIFY(study.prompts.warnings.empty());
    const QRegularExpressionMatch match =
        QRegularExpression(
            QStringLiteral("^(\\d+) Replicate 2 of 2 \u00b7 (\\d+) of 400 individuals (\\d+) of (\\d+)$"))
            .match(during);
    QVERIFY2(match.hasMatch(), qPrintable(during));
    QCOMPARE(match.captured(2), match.captured(1));
    // The bar counts replicate 1 and the written share of replicate 2.
    const int steps = match.captured(3).toInt();
    const int perReplicate = match.captured(4).toInt() / 2;
    QVERIFY2(steps > perReplicate && steps < 2 * perReplicate, qPrintable(during));
    QVERIFY2(qAbs(steps - (perReplicate + perReplicate * match.captured(1).toInt() / 400)) <= 1, qPrintable(during));
    QCOMPARE(form.ProgressBar()->text(), QStringLiteral("2 of 2 replicates written"));
  }

  void aRunThatFailsShowsItsMessageAndLeavesTheFormIdle() {
    SmallStudy<QualDlg> study;
    QualDlg& form = study.form;
    QTemporaryDir empty;
    form.SetDataDir(empty.path().toStdString());
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QCOMPARE(study.prompts.warnings.size(), std::size_t{1});
    QVERIFY2(study.prompts.warnings[0].contains(empty.path()), qPrintable(study.prompts.warnings[0]));
    QVERIFY(form.OkButton()->isEnabled() && form.CancelButton()->isEnabled());
    QCOMPARE(form.StatusLine()->text(), QStringLiteral("Press OK to start simulation."));
    QVERIFY(!QDir(study.Out()).exists());
  }

  void theBrowseButtonWritesTheChosenDirectory() {
    RecordedPrompts prompts;
    QualDlg form;
    form.SetPrompts(prompts.Make());
    QVERIFY(!form.BrowseButton()->autoDefault());
    prompts.directoryChoice = QString();
    QTest::mouseClick(form.BrowseButton(), Qt::LeftButton);
    QCOMPARE(Edit(form, controls::kOutputDirectory)->text(), QStringLiteral("korvane-output"));
    prompts.directoryChoice = QStringLiteral("/srv/studies/run 7");
    QTest::mouseClick(form.BrowseButton(), Qt::LeftButton);
    QCOMPARE(Edit(form, controls::kOutputDirectory)->text(), QStringLiteral("/srv/studies/run 7"));
  }
};

// ---------------------------------------------------------------------------
class QuanFormTest : public QObject {
  Q_OBJECT

 private slots:
  void aNewFormShowsTheDefaultsAndNoModel() {
    QuanDlg form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Quantitative Trait"));
    const int upper[] = {1048, 1049, 1050, 1051, 1052};
    const int lower[] = {1087, 1088, 1089, 1090, 1091};
    for (int k = 0; k < 5; ++k) {
      QCOMPARE(Check(form, upper[k])->isChecked(), k < 3);
      QCOMPARE(Check(form, lower[k])->isChecked(), k < 3);
    }
    const std::vector<QString> shares{QStringLiteral("0.02"), QStringLiteral("0.01"), QStringLiteral("0.005"),
                                      QStringLiteral("0"), QStringLiteral("0")};
    const int shareFields[] = {1056, 1065, 1066, 1067, 1068};
    for (int k = 0; k < 5; ++k) QCOMPARE(Edit(form, shareFields[k])->text(), shares[k]);
    for (int id : {1028, 1030, 1037}) QVERIFY(Check(form, id)->isChecked());
    QVERIFY(form.Control(1029) == nullptr && form.Control(1039) == nullptr);  // no ADMIXMAP, STRUCTURE and STRAT
    QCOMPARE(Edit(form, 1045)->text(), QStringLiteral("20"));
    QCOMPARE(Edit(form, 1046)->text(), QStringLiteral("10"));
    QCOMPARE(Edit(form, 1020)->text(), QStringLiteral("0.3"));
    QVERIFY(!Radio(form, controls::kContinuousModel)->isChecked());
    QVERIFY(!Radio(form, controls::kDiscreteModel)->isChecked());
    QCOMPARE(form.StatusLine()->text(), QStringLiteral("Press OK to start simulation."));
  }

  void tabFollowsTheKeyboardOrder() {
    QuanDlg form;
    form.show();
    std::vector<int> ids{controls::kOk, controls::kCancel, 1045, 1046, 1048, 1049, 1050, 1051, 1052, 1053, 1054, 1056};
    for (int id = 1057; id <= 1068; ++id) ids.push_back(id);
    for (int id : {1016, 1017, 1020, 1024, 1027, 1028, 1030, 1034, 1036, 1037, 1040, 1041, 1087, 1088, 1089, 1090,
                   1091, 1092, 1093, 1095, 1096, 1097, 1098, 1099, 1104, 1105, 1106, 1079, 1081, 1086, 1084}) {
      ids.push_back(id);
    }
    std::vector<QWidget*> expected = Controls(form, ids);
    expected.push_back(form.CalibratedBox());
    expected.push_back(form.FormatsButton());
    QCOMPARE(KeyboardOrder(form.OkButton()), expected);
  }

  void aRefusedValueNamesTheQuantitativeBounds() {
    RecordedPrompts prompts;
    QuanDlg form;
    form.SetPrompts(prompts.Make());
    Type(form, 1045, QStringLiteral("-5"));  // any number is a mean
    Type(form, 1040, QStringLiteral("0"));
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QCOMPARE(
        prompts.warnings,
        std::vector<QString>{QStringLiteral("Total number of loci:\nPlease enter an integer between 1 and 12867.")});
    QCOMPARE(form.focusWidget(), Edit(form, 1040));
    QCOMPARE(form.Parameters().phenotypeMean, -5.0);
  }

  void varianceSharesAboveOneAreRefusedWithAMessage() {
    SmallStudy<QuanDlg> study;
    QuanDlg& form = study.form;
    Type(form, 1056, QStringLiteral("0.6"));
    Type(form, 1065, QStringLiteral("0"));
    Type(form, 1066, QStringLiteral("0"));
    Type(form, 1067, QStringLiteral("0.6"));  // QTL4 is not ticked, and its share counts
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
    QCOMPARE(study.prompts.warnings,
             std::vector<QString>{QStringLiteral("QTL variance shares add up to 1.2, more than 1")});
    QVERIFY(form.OkButton()->isEnabled() && form.CancelButton()->isEnabled());
    QCOMPARE(form.StatusLine()->text(), QStringLiteral("Press OK to start simulation."));
    QVERIFY(!QDir(study.Path(QStringLiteral("1"))).exists());
    QVERIFY(!QFile::exists(study.Path(QStringLiteral("korvane-runs.toml"))));
  }

  void okRunsTheQuantitativeStudy() {
    SmallStudy<QuanDlg> study;
    QuanDlg& form = study.form;
    QTest::mouseClick(Radio(form, controls::kContinuousModel), Qt::LeftButton);
    QTest::keyClick(Edit(form, 1034), Qt::Key_Enter);
    QVERIFY(study.prompts.warnings.empty());
    QVERIFY(AncestryOfModel(ReadText(study.Path(QStringLiteral("1/Origin.txt"))), ModelKind::kContinuous));
    QVERIFY(QFile::exists(study.Path(QStringLiteral("Causal_Loci_Strat&GC.txt"))));
    QCOMPARE(form.ProgressBar()->text(), QStringLiteral("1 of 1 replicates written"));
  }
};

// ---------------------------------------------------------------------------
// Every window: texts fit their boxes, nothing overlaps, everything lies in
// the window, and the conversion from dialog units is the dialog rule.
class LayoutTest : public QObject {
  Q_OBJECT

  // Where a control's text or face is drawn.
  static QRect Face(const QWidget* w) {
    const QRect box = w->geometry();
    const QFontMetrics metrics(w->font());
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
      QString text = label->text();
      while (text.endsWith(QLatin1Char(' '))) text.chop(1);
      const QSize size(metrics.horizontalAdvance(text), metrics.height());
      return QStyle::alignedRect(Qt::LeftToRight, label->alignment(), size, box);
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(w); button && !qobject_cast<const QPushButton*>(w)) {
      const bool radio = qobject_cast<const QRadioButton*>(w) != nullptr;
      const QStyle* style = w->style();
      const int indicator = style->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth);
      const int spacing =
          style->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing : QStyle::PM_CheckBoxLabelSpacing);
      const int height = std::min(box.height(), std::max(indicator, metrics.height()));
      return {box.left(), box.top() + (box.height() - height) / 2,
              indicator + spacing + metrics.horizontalAdvance(button->text()), height};
    }
    return box;
  }

  // A control's face in the coordinates of its window: the forms' controls
  // and the strip under them have different parents.
  static QRect WindowFace(const QWidget* w) {
    return Face(w).translated(w->parentWidget()->mapTo(w->window(), QPoint(0, 0)));
  }

  static void CheckWindow(QWidget& window) {
    window.show();
    std::vector<const QWidget*> faces;
    for (const QWidget* w : window.findChildren<QWidget*>()) {
      const bool control = qobject_cast<const QLabel*>(w) || qobject_cast<const QLineEdit*>(w) ||
                           qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QProgressBar*>(w);
      if (control && w->parentWidget()->isVisible()) faces.push_back(w);
    }
    QVERIFY(faces.size() >= 3);
    for (const QWidget* w : faces) {
      const QString name = w->objectName() + QLatin1Char(' ') + w->property("text").toString();
      QVERIFY2(w->parentWidget()->rect().contains(w->geometry()), qPrintable(name + " lies outside its area"));
      QVERIFY2(window.rect().contains(WindowFace(w)), qPrintable(name + " lies outside the window"));
      QVERIFY2(w->geometry().contains(Face(w)), qPrintable(name + " is cut off"));
      for (const QWidget* other : faces) {
        if (other <= w) continue;
        QVERIFY2(!WindowFace(w).intersects(WindowFace(other)),
                 qPrintable(name + " overlaps " + other->objectName() + QLatin1Char(' ') +
                            other->property("text").toString()));
      }
    }
  }

  // The form's own controls keep the places of the layout: the client area
  // is as large as the layout says, at the window's top left inside its
  // edge, and the strip of the run line and Stop lies under it.
  static void CheckStripUnderTheClientArea(const StudyForm& form, QSize clientUnits) {
    const QWidget* client = form.OkButton()->parentWidget();
    const QRect clientInWindow(client->mapTo(&form, QPoint(0, 0)), client->size());
    QCOMPARE(client->size(), DialogUnits(form.font()).Size(clientUnits.width(), clientUnits.height()));
    QCOMPARE(clientInWindow.topLeft(), QPoint(2, 2));
    const QWidget* strip = form.RunLine()->parentWidget();
    QCOMPARE(form.StopButton()->parentWidget(), strip);
    QVERIFY(strip->geometry().top() >= clientInWindow.bottom() + 1);
    QCOMPARE(strip->geometry().bottom(), form.rect().bottom());
    QCOMPARE(form.width(), clientInWindow.width() + 4);
    // Stop stands under Cancel, as wide.
    const QRect cancel(form.CancelButton()->mapTo(&form, QPoint(0, 0)), form.CancelButton()->size());
    const QRect stop(form.StopButton()->mapTo(&form, QPoint(0, 0)), form.StopButton()->size());
    QCOMPARE(stop.left(), cancel.left());
    QCOMPARE(stop.width(), cancel.width());
    QCOMPARE(form.StopButton()->text(), QStringLiteral("Stop"));
  }

  static QStringList Texts(const QWidget& window) {
    QStringList texts;
    for (const QLabel* label : window.findChildren<QLabel*>()) texts << label->text();
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) texts << button->text();
    for (const GroupFrame* group : window.findChildren<GroupFrame*>()) texts << group->Title();
    return texts;
  }

 private slots:
  void dialogUnitsFollowTheFontMetrics() {
    QCOMPARE(QFontInfo(DialogFont(14)).family(), QStringLiteral("Liberation Serif"));
    const DialogUnits units(DialogFont(14));
    QCOMPARE(units.BaseWidth(), 11);
    QCOMPARE(units.BaseHeight(), 21);
    QCOMPARE(units.Rect(7, 3, 281, 42), QRect(19, 8, 773, 110));
    QCOMPARE(MulDiv(2, 11, 4), 6);  // halves round away from zero
    QCOMPARE(MulDiv(-2, 11, 4), -6);
    QCOMPARE(MulDiv(5, 21, 8), 13);
    QuanDlg quan;
    QCOMPARE(DialogUnits(quan.font()).Size(398, 344), QSize(796, 688));
  }

  void theLauncherIsLaidOutCleanly() {
    KorvaneDlg launcher;
    CheckWindow(launcher);
    QCOMPARE(launcher.size(), DialogUnits(launcher.font()).Size(248, 106));
    QVERIFY(Texts(launcher).contains(
        QStringLiteral("A Genetic Simulation Platform for Population-based Association Studies")));
  }

  void theQualitativeFormIsLaidOutCleanly() {
    QualDlg form;
    CheckWindow(form);
    QCOMPARE(Edit(form, 1003)->geometry(), DialogUnits(form.font()).Rect(75, 12, 29, 12));
    CheckStripUnderTheClientArea(form, QSize(295, 246));
    const QStringList texts = Texts(form);
    for (const char* text : {"Population Structure Model Parameters", "Frequency of disease susceptible allele:",
                             "Number of null locus/AIMs:", "STRUCTURE and STRAT", "Continuous migration model:"}) {
      QVERIFY2(texts.contains(QString::fromLatin1(text)), text);
    }
  }

  void theQuantitativeFormIsLaidOutCleanly() {
    QuanDlg form;
    CheckWindow(form);
    QCOMPARE(Edit(form, 1092)->geometry(), DialogUnits(form.font()).Rect(131, 176, 26, 12));
    CheckStripUnderTheClientArea(form, QSize(398, 344));
    const QStringList texts = Texts(form);
    QVERIFY(texts.contains(QStringLiteral("Population structure Model Parameters")));
    QVERIFY(texts.contains(QStringLiteral("Proportion of YRI in final population: ")));
    QCOMPARE(texts.count(QStringLiteral("Frequency difference:")), 1);
    QCOMPARE(texts.count(QStringLiteral("Frequency difference: ")), 4);
    QCOMPARE(texts.count(QStringLiteral("Frequency of disease susceptible allele:")), 5);
  }
};

}  // namespace korvane

int main(int argc, char** argv) {
  korvane::KorvaneApp app(argc, argv);
  QTemporaryDir data;
  korvane::testing::WriteSyntheticData(data.filePath(QStringLiteral("data")).toStdString(), 20);
  korvane::g_dataDir = data.filePath(QStringLiteral("data"));
  int failed = 0;
  {
    korvane::LayoutTest test;
    failed += QTest::qExec(&test, argc, argv);
  }
  {
    korvane::LauncherTest test;
    failed += QTest::qExec(&test, argc, argv);
  }
  {
    korvane::QualFormTest test;
    failed += QTest::qExec(&test, argc, argv);
  }
  {
    korvane::QuanFormTest test;
    failed += QTest::qExec(&test, argc, argv);
  }
  return failed == 0 ? 0 : 1;
}

#include "gui_test.moc"
