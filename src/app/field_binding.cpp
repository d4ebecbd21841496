#include "app/field_binding.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace korvane {

void ShowInControl(QWidget* control, const std::string& text) {
  const QString shown = QString::fromStdString(text);
  if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    if (edit->text() != shown) {
      edit->setText(shown);
      edit->setCursorPosition(0);  // show the text's beginning, as a new form does
    }
  } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
    check->setChecked(text == "1");
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    if (label->text() != shown) label->setText(shown);
  }
}

std::optional<std::string> ControlText(const QWidget* control) {
  if (const auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text().toStdString();
  if (const auto* check = qobject_cast<const QCheckBox*>(control)) return check->isChecked() ? "1" : "0";
  return std::nullopt;
}

}  // namespace korvane
