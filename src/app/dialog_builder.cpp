#include "app/dialog_builder.h"

#include <qdrawutil.h>

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace korvane {
namespace {

// The space left between a label's text and the field it names, in dialog units.
constexpr int kLabelGap = 2;

// The width of a label's visible text: its advance without trailing blanks.
int TextWidth(const QFontMetrics& metrics, QString text) {
  while (text.endsWith(QLatin1Char(' '))) text.chop(1);
  return metrics.horizontalAdvance(text);
}

}  // namespace

QString ControlName(int id) { return QStringLiteral("control%1").arg(id); }

GroupFrame::GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

void GroupFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetrics metrics(font());
  // The frame's top line runs through the middle of the title's line.
  const int top = title_.isEmpty() ? 0 : metrics.height() / 2 - 1;
  qDrawShadeRect(&painter, QRect(0, top, width(), height() - top), palette(), true, 1);
  if (title_.isEmpty()) return;
  constexpr int kTitleIndent = 7;  // pixels from the frame's left edge to the title
  const QRect titleBox(kTitleIndent, 0, metrics.horizontalAdvance(title_) + 2, metrics.height());
  painter.fillRect(titleBox, palette().window());
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(titleBox.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, title_);
}

DialogBuilder::DialogBuilder(QWidget* client) : client_(client), units_(client->font()) {}

void DialogBuilder::Register(int id, QWidget* control) {
  if (id < 0) return;  // a control that nothing refers to
  control->setObjectName(ControlName(id));
  controls_[id] = control;
}

QWidget* DialogBuilder::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

GroupFrame* DialogBuilder::Group(const QString& title, int x, int y, int width, int height) {
  auto* group = new GroupFrame(title, client_);
  group->setGeometry(units_.Rect(x, y, width, height));
  group->lower();
  return group;
}

QLineEdit* DialogBuilder::Edit(int id, int x, int y, int width, int height) {
  auto* edit = new QLineEdit(client_);
  edit->setGeometry(units_.Rect(x, y, width, height));
  Register(id, edit);
  return edit;
}

QCheckBox* DialogBuilder::Check(int id, const QString& text, int x, int y, int width, int height) {
  auto* check = new QCheckBox(text, client_);
  const int needed = check->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, check) +
                     check->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, check) +
                     check->fontMetrics().horizontalAdvance(text);
  QRect box = units_.Rect(x, y, width, height);
  box.setWidth(std::max(box.width(), needed));
  check->setGeometry(box);
  Register(id, check);
  return check;
}

QRadioButton* DialogBuilder::Radio(int id, const QString& text, int x, int y, int width, int height) {
  auto* radio = new QRadioButton(text, client_);
  const int needed = radio->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, radio) +
                     radio->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, radio) +
                     radio->fontMetrics().horizontalAdvance(text);
  QRect box = units_.Rect(x, y, width, height);
  box.setWidth(std::max(box.width(), needed));
  radio->setGeometry(box);
  Register(id, radio);
  return radio;
}

QPushButton* DialogBuilder::Button(int id, const QString& text, int x, int y, int width, int height) {
  auto* button = new QPushButton(text, client_);
  button->setGeometry(units_.Rect(x, y, width, height));
  Register(id, button);
  return button;
}

QLabel* DialogBuilder::Text(int id, const QString& text, Qt::Alignment alignment, int x, int y, int width, int height) {
  auto* label = new QLabel(text, client_);
  label->setAlignment(alignment);
  label->setGeometry(units_.Rect(x, y, width, height));
  label->setTextFormat(Qt::PlainText);
  Register(id, label);
  return label;
}

QLabel* DialogBuilder::LineLabel(const QString& text, int right, int top, int height) {
  auto* label = new QLabel(text, client_);
  label->setTextFormat(Qt::PlainText);
  // Left-aligned in a box as wide as the text without its trailing blanks,
  // so that a label's visible end is where the layout puts it.
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  const int width = TextWidth(label->fontMetrics(), text);
  label->setGeometry(right - width, top, width, height);
  return label;
}

QLabel* DialogBuilder::LabelBefore(const QString& text, const QWidget* anchor) {
  const QRect line = anchor->geometry();
  return LineLabel(text, line.left() - Gap(anchor), line.top(), line.height());
}

QLabel* DialogBuilder::LabelBefore(const QString& text, const QWidget* field, int y, int height) {
  return LineLabel(text, field->geometry().left() - Gap(field), units_.Y(y), units_.Y(height));
}

QLabel* DialogBuilder::LabelAt(const QString& text, int x, int y, int height) {
  const int width = TextWidth(QFontMetrics(client_->font()), text);
  return LineLabel(text, units_.X(x) + width, units_.Y(y), units_.Y(height));
}

int DialogBuilder::Gap(const QWidget* anchor) const {
  const QFontMetrics metrics(client_->font());
  if (qobject_cast<const QLabel*>(anchor) != nullptr) return metrics.horizontalAdvance(QLatin1Char(' '));
  return units_.X(kLabelGap);
}

}  // namespace korvane
