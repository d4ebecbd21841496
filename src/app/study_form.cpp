#include "app/study_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <ctime>
#include <exception>
#include <limits>
#include <system_error>

#include "output/format_registry.h"
#include "output/output_estimate.h"
#include "output/replicate_folders.h"
#include "random/random_generator.h"
#include "run/data_folder.h"

namespace korvane {
namespace {

// The width of the sunken edge around the client area, in pixels.
constexpr int kEdgeWidth = 2;

QFrame* MakeEdge(QDialog* dialog, int pointSize) {
  dialog->setFont(DialogFont(pointSize));
  auto* edge = new QFrame(dialog);
  edge->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  edge->setLineWidth(kEdgeWidth);
  return edge;
}

QWidget* MakeClient(QFrame* edge, int width, int height) {
  auto* client = new QWidget(edge);
  const DialogUnits units(client->font());
  const QSize size = units.Size(width, height);
  client->setGeometry(kEdgeWidth, kEdgeWidth, size.width(), size.height());
  edge->setGeometry(0, 0, size.width() + 2 * kEdgeWidth, size.height() + 2 * kEdgeWidth);
  return client;
}

// The strip under the client area, in dialog units: its height, the left
// margin of the run line (that of the group frames), and the distance of the
// run line and the Stop button from the strip's top.
constexpr int kStripHeight = 18;
constexpr int kStripMargin = 7;
constexpr int kStopTop = 2;
// The space between the run line and the Stop button, in dialog units.
constexpr int kRunLineGap = 6;

// Steps of the progress bar per replicate, so that the bar moves within a
// long replicate as its individuals are written.
constexpr int kStepsPerReplicate = 100;

const QString kSeparator = QStringLiteral(" \u00b7 ");

// What the Formats menu calls a format chosen by name; the name itself for
// one it has no words for.
QString FormatMenuText(std::string_view name) {
  if (name == "bed") return QStringLiteral("PLINK binary (Plink.bed, .bim, .fam)");
  if (name == "vcf.gz") return QStringLiteral("Phased VCF (Genotypes.vcf.gz, indexed)");
  if (name == "bcf") return QStringLiteral("Phased BCF (Genotypes.bcf, indexed)");
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QString ReplicateText(int completed, int count) {
  return QStringLiteral("%1 of %2 replicates written").arg(completed).arg(count);
}

// A folder as the form names it to the user: absolute, so that it can be
// found whatever the program's working folder was.
QString PlaceText(const std::filesystem::path& path) {
  if (path.empty()) return {};
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return QString::fromStdString((ec ? path : absolute.lexically_normal()).string());
}

// The box of a refused field: the field's label on its own line, then the
// exchange's message.
QString RefusalText(const FieldFailure& failure) {
  const QString label = failure.label.trimmed();
  return label.isEmpty() ? failure.message : label + QLatin1Char('\n') + failure.message;
}

}  // namespace

std::filesystem::path DefaultDataDir() { return DefaultDataFolder(ShippedDataDir()).dir; }

StudyForm::Prompts StudyForm::DefaultPrompts() {
  Prompts prompts;
  prompts.warn = [](QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("KORVANE"), message, QMessageBox::Ok, parent);
    box.exec();
  };
  prompts.chooseDirectory = [](QWidget* parent, const QString& current) {
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Output directory"), current);
  };
  prompts.confirm = [](QWidget* parent, const QString& question) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("KORVANE"), question, QMessageBox::Yes | QMessageBox::No,
                    parent);
    // The questions ask before something that cannot be undone: No is the default.
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  };
  return prompts;
}

StudyForm::StudyForm(const QString& caption, int pointSize, int width, int height, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      edge_(MakeEdge(this, pointSize)),
      client_(MakeClient(edge_, width, height)),
      builder_(client_),
      prompts_(DefaultPrompts()) {
  setWindowTitle(caption);
  setFixedSize(edge_->size());
}

StudyForm::~StudyForm() = default;

void StudyForm::SetPrompts(Prompts prompts) { prompts_ = std::move(prompts); }

void StudyForm::SetDataDir(std::filesystem::path dir) {
  dataDir_ = std::move(dir);
  if (runLine_ != nullptr && !runStarted_) ShowPlaces();
}

void StudyForm::SetThreads(int threads) { threads_ = threads; }

QWidget* StudyForm::Control(int id) const { return builder_.Control(id); }
QPushButton* StudyForm::OkButton() const { return qobject_cast<QPushButton*>(Control(controls::kOk)); }
QPushButton* StudyForm::CancelButton() const { return qobject_cast<QPushButton*>(Control(controls::kCancel)); }
QLabel* StudyForm::StatusLine() const { return qobject_cast<QLabel*>(Control(controls::kStatusLine)); }

void StudyForm::FinishForm(const std::vector<int>& keyboardOrder, QRect progressUnits, QRect browseUnits) {
  const DialogUnits& units = builder_.Units();

  progress_ = new QProgressBar(client_);
  progress_->setGeometry(
      units.Rect(progressUnits.x(), progressUnits.y(), progressUnits.width(), progressUnits.height()));
  QFont small = font();
  small.setPixelSize(std::max(8, progress_->height() * 2 / 3));
  progress_->setFont(small);
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setAlignment(Qt::AlignCenter);

  browse_ = new QPushButton(QStringLiteral("…"), client_);
  browse_->setObjectName(QStringLiteral("browseOutputDirectory"));
  browse_->setGeometry(units.Rect(browseUnits.x(), browseUnits.y(), browseUnits.width(), browseUnits.height()));
  browse_->setAutoDefault(false);
  browse_->setToolTip(QStringLiteral("Choose the output directory"));
  connect(browse_, &QPushButton::clicked, this, &StudyForm::ChooseOutputDirectory);

  QPushButton* ok = OkButton();
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &StudyForm::Start);
  connect(CancelButton(), &QPushButton::clicked, this, &StudyForm::reject);

  // The radio buttons set the record's model directly, also during a run;
  // they are reached with the mouse, not with the Tab key.
  for (const auto& [id, model] : {std::pair{controls::kContinuousModel, ModelKind::kContinuous},
                                  {controls::kDiscreteModel, ModelKind::kDiscrete}}) {
    auto* radio = qobject_cast<QRadioButton*>(Control(id));
    radio->setFocusPolicy(Qt::ClickFocus);
    connect(radio, &QRadioButton::clicked, this, [this, model = model] { SetModel(model); });
  }

  std::vector<QWidget*> order;
  for (int id : keyboardOrder) {
    order.push_back(Control(id));
    if (id == controls::kOutputDirectory) order.push_back(browse_);
  }
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);

  AddRunStrip();
  // The strip's check box, its Formats button and then Stop come after the
  // form's own controls; Stop takes part in Tab only while a run is under
  // way.
  QWidget::setTabOrder(order.back(), calibrated_);
  QWidget::setTabOrder(calibrated_, formats_);
  QWidget::setTabOrder(formats_, stop_);
  ok->setFocus(Qt::OtherFocusReason);
  ShowRecord();
  ShowPlaces();
  connect(qobject_cast<QLineEdit*>(Control(controls::kOutputDirectory)), &QLineEdit::textChanged, this, [this] {
    if (!runStarted_) ShowPlaces();
  });
}

void StudyForm::AddRunStrip() {
  const DialogUnits& units = builder_.Units();
  auto* strip = new QWidget(this);
  strip->setObjectName(QStringLiteral("runStrip"));
  strip->setGeometry(0, edge_->height(), edge_->width(), units.Y(kStripHeight));

  // Stop stands under Cancel, as wide and as high.
  const QRect cancel = CancelButton()->geometry();
  const int stopLeft = client_->mapTo(this, cancel.topLeft()).x();
  stop_ = new QPushButton(QStringLiteral("Stop"), strip);
  stop_->setObjectName(QStringLiteral("stopRun"));
  stop_->setGeometry(stopLeft, units.Y(kStopTop), cancel.width(), cancel.height());
  stop_->setAutoDefault(false);
  stop_->setEnabled(false);
  stop_->setToolTip(QStringLiteral("Stop the run at its next refresh point; the completed replicates stay"));
  connect(stop_, &QPushButton::clicked, this, &StudyForm::Stop);

  // The model of the runs, at the strip's left; it leaves the form's own
  // controls where they are.
  calibrated_ = new QCheckBox(QStringLiteral("Calibrated model"), strip);
  calibrated_->setObjectName(QStringLiteral("calibratedModel"));
  calibrated_->setToolTip(
      QStringLiteral("Simulate with the calibrated model: draws at full resolution, the sample drawn from one "
                     "population per replicate, an exact normal residual, the relative risk and variance shares as "
                     "asked. Unticked, the runs are of the specified model."));
  const int lineTop = units.Y(kStopTop);
  calibrated_->setGeometry(units.X(kStripMargin), lineTop, calibrated_->sizeHint().width(), cancel.height());

  runLine_ = new QLabel(strip);
  runLine_->setObjectName(QStringLiteral("runLine"));
  runLine_->setTextFormat(Qt::PlainText);
  runLine_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // The seed can be selected and copied.
  runLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  AddFormatsMenu(strip, calibrated_->geometry().right() + 1 + units.X(kRunLineGap), lineTop, cancel.height());

  const int lineLeft = formats_->geometry().right() + 1 + units.X(kRunLineGap);
  runLine_->setGeometry(lineLeft, lineTop, stopLeft - units.X(kRunLineGap) - lineLeft, cancel.height());

  setFixedSize(edge_->width(), edge_->height() + strip->height());
}

void StudyForm::AddFormatsMenu(QWidget* strip, int left, int top, int height) {
  formats_ = new QPushButton(QStringLiteral("Formats"), strip);
  formats_->setObjectName(QStringLiteral("moreFormats"));
  formats_->setAutoDefault(false);
  formats_->setToolTip(
      QStringLiteral("Formats without a box on the form, written besides the ticked ones: PLINK binary files and "
                     "phased genotypes in VCF or BCF"));
  auto* menu = new QMenu(formats_);
  for (const FormatRow& row : FormatRegistry()) {
    // The formats with a box on the form are chosen there; the truth files
    // and the ancestry tracts by the run.
    if (row.always || row.byRunOption || !row.formSwitch.empty()) continue;
    QAction* action = menu->addAction(FormatMenuText(row.name));
    action->setCheckable(true);
    action->setData(QString::fromUtf8(row.name.data(), static_cast<qsizetype>(row.name.size())));
  }
  formats_->setMenu(menu);
  formats_->setGeometry(left, top, formats_->sizeHint().width(), height);
}

std::vector<std::string> StudyForm::ChosenFormats() const {
  std::vector<std::string> names;
  for (const QAction* action : formats_->menu()->actions()) {
    if (action->isChecked()) names.push_back(action->data().toString().toStdString());
  }
  return names;
}

void StudyForm::Announce(const RunEstimate& estimate) {
  ShowRunLine(runStartText_ + kSeparator + QStringLiteral("writes about ") +
              QString::fromStdString(ByteCount(estimate.total)));
}

void StudyForm::ShowPlaces() {
  const auto* field = qobject_cast<const QLineEdit*>(Control(controls::kOutputDirectory));
  ShowRunLine(QStringLiteral("Data ") + PlaceText(dataDir_.value_or(DefaultDataDir())) + kSeparator +
              QStringLiteral("output ") + PlaceText(field->text().toStdString()));
}

void StudyForm::ShowRunLine(const QString& text) {
  runLine_->setToolTip(text);
  runLine_->setText(runLine_->fontMetrics().elidedText(text, Qt::ElideMiddle, runLine_->width()));
}

void StudyForm::Refresh(const RunProgress& progress) {
  lastProgress_ = progress;
  ShowRecord();
  if (progress.replicateCount > 0) {
    // The bar counts the written share of the replicates in flight too.
    const long long steps = static_cast<long long>(progress.replicateCount) * kStepsPerReplicate;
    const bool fine = steps <= std::numeric_limits<int>::max();
    progress_->setRange(0, fine ? static_cast<int>(steps) : progress.replicateCount);
    progress_->setValue(fine ? static_cast<int>(std::min<double>(progress.replicatesDone * kStepsPerReplicate,
                                                                 static_cast<double>(steps)))
                             : progress.completed);
    const int inRun = std::min(progress.replicateNumber - progress.firstReplicate + 1, progress.replicateCount);
    QString text = QStringLiteral("Replicate %1 of %2").arg(inRun).arg(progress.replicateCount);
    if (progress.sampleSize > 0) {
      text += kSeparator + QStringLiteral("%1 of %2 individuals").arg(progress.written).arg(progress.sampleSize);
    }
    progress_->setFormat(text);
    progress_->setTextVisible(true);
  }
  emit refreshed(progress);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void StudyForm::SetRunning(bool running) {
  if (running) {
    const QWidget* focused = focusWidget();
    focusOnButtons_ = focused == OkButton() || focused == CancelButton();
  }
  OkButton()->setEnabled(!running);
  CancelButton()->setEnabled(!running);
  browse_->setEnabled(!running);
  stop_->setEnabled(running && !stopRequested_);
  // The model of a run is chosen before it starts.
  calibrated_->setEnabled(!running);
  formats_->setEnabled(!running);
  // The record is written into the fields at every refresh point, so what
  // was typed during a run would be lost.
  SetFieldsEditable(!running);
  // Disabling OK moved the focus on to a field; it comes back once OK can
  // take it again.
  if (!running && focusOnButtons_) {
    OkButton()->setFocus(Qt::OtherFocusReason);
    focusOnButtons_ = false;
  }
  if (running) {
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setTextVisible(false);
  }
}

void StudyForm::SetFieldsEditable(bool editable) {
  // The model's radio buttons stay enabled: they set the model of the next
  // replicate attempt.
  for (QLineEdit* edit : client_->findChildren<QLineEdit*>()) edit->setReadOnly(!editable);
  for (QCheckBox* check : client_->findChildren<QCheckBox*>()) check->setEnabled(editable);
}

bool StudyForm::MayWriteReplicates(RunOptions& options) {
  const int count = RecordReplicateCount();
  if (count < 1) return true;
  const std::string directory = RecordOutputDirectory();
  const int last = options.firstReplicate + count - 1;
  const ReplicateFolderScan scan = ScanReplicateFolders(directory, options.firstReplicate, last);
  if (scan.firstTaken == 0) return true;
  const QString numbers = count == 1 ? QStringLiteral("replicate %1").arg(options.firstReplicate)
                                     : QStringLiteral("replicates %1 to %2").arg(options.firstReplicate).arg(last);
  const QString place = PlaceText(directory);
  const QString question = QStringLiteral(
                               "The output directory %1 already holds replicate folders of the numbers this run writes "
                               "(%2; %3 exists).\n\nReplace them with this run's replicates?")
                               .arg(place, numbers, PlaceText(ReplicateFolderPath(directory, scan.firstTaken)));
  if (!prompts_.confirm(this, question)) return false;
  options.overwrite = true;
  return true;
}

void StudyForm::Start() {
  if (inRun_) return;
  if (std::optional<FieldFailure> failure = TakeRecord(MessageLanguageFromEnvironment())) {
    prompts_.warn(this, RefusalText(*failure));
    failure->control->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(failure->control)) edit->selectAll();
    return;
  }

  RunOptions options;
  // Runs started within the same second get different seeds.
  options.seed = SeedFromEntropy();
  options.dataDir = dataDir_.value_or(DefaultDataDir());
  options.threads = threads_;
  options.calibrated = calibrated_->isChecked();
  options.formats.names = ChosenFormats();
  if (!MayWriteReplicates(options)) return;
  const std::int64_t start = std::time(nullptr);

  runStarted_ = true;
  runStartText_ = QStringLiteral("Seed %1").arg(options.seed) + kSeparator + QStringLiteral("data ") +
                  PlaceText(options.dataDir) + kSeparator + QStringLiteral("output ") +
                  PlaceText(RecordOutputDirectory());
  ShowRunLine(runStartText_);

  inRun_ = true;
  stopRequested_ = false;
  closeRequested_ = false;
  lastProgress_ = RunProgress{};
  RunOutcome outcome = RunStudy(options);
  // A run larger than the free space is started only when the user says so;
  // one they decline needs no further message.
  bool declined = false;
  if (outcome.shortOfSpace && !closeRequested_) {
    declined = !prompts_.confirm(this, QString::fromStdString(outcome.message) +
                                           QStringLiteral(".\n\nStart the run anyway? It may fill the disk."));
    if (!declined) {
      options.ignoreSpace = true;
      outcome = RunStudy(options);
    }
  }
  inRun_ = false;
  SetRunning(false);
  ShowRecord();

  std::optional<QString> recordError;
  if (outcome.status != RunOutcome::Status::kRefused) recordError = RecordRun(options, outcome, start);

  if (closeRequested_) {
    QDialog::reject();
    return;
  }
  if (!declined) ShowOutcome(outcome);
  if (recordError) prompts_.warn(this, *recordError);
}

void StudyForm::ShowOutcome(const RunOutcome& outcome) {
  const int count = lastProgress_.replicateCount;
  if (outcome.status != RunOutcome::Status::kRefused && count > 0) {
    progress_->setRange(0, count);
    progress_->setValue(outcome.replicatesCompleted);
    progress_->setFormat(ReplicateText(outcome.replicatesCompleted, count));
    progress_->setTextVisible(true);
  }
  switch (outcome.status) {
    case RunOutcome::Status::kCompleted:
    case RunOutcome::Status::kStopped:
      return;
    case RunOutcome::Status::kRefused:
      prompts_.warn(this, QString::fromStdString(outcome.message));
      return;
    case RunOutcome::Status::kFailed:
      break;
  }
  QString message = QString::fromStdString(outcome.message);
  if (outcome.replicatesCompleted > 0) {
    message += QStringLiteral("\n\n%1 of %2 replicates were written and are complete.")
                   .arg(outcome.replicatesCompleted)
                   .arg(count);
  }
  prompts_.warn(this, message);
}

void StudyForm::Stop() {
  if (!inRun_) return;
  stopRequested_ = true;
  stop_->setEnabled(false);  // the stop is asked for; the run ends at its next refresh point
}

void StudyForm::ChooseOutputDirectory() {
  auto* field = qobject_cast<QLineEdit*>(Control(controls::kOutputDirectory));
  const QString chosen = prompts_.chooseDirectory(this, field->text());
  if (!chosen.isEmpty()) field->setText(chosen);
}

void StudyForm::reject() {
  if (inRun_) return;
  QDialog::reject();
}

void StudyForm::closeEvent(QCloseEvent* event) {
  if (inRun_) {
    // The run ends at its next refresh point, with its completed replicates
    // and logs intact, and the form closes then. A run that is already
    // stopping is not asked about again.
    event->ignore();
    if (closeRequested_) return;
    if (!stopRequested_ &&
        !prompts_.confirm(this, QStringLiteral("A run is under way. Stop it and close the window?\n\n"
                                               "The replicates completed so far are kept."))) {
      return;
    }
    stopRequested_ = true;
    closeRequested_ = true;
    stop_->setEnabled(false);
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace korvane
