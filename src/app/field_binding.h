#pragma once

// The exchange between a study record and the controls of its form: every
// field of the study's table is bound to the control with its id. Showing
// writes each field's shown text into its control; taking reads the
// controls' texts through the study's exchange, which validates them and
// stops at the first failure.

#include <QString>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/dialog_builder.h"
#include "run/exchange.h"

class QWidget;

namespace korvane {

// Writes a field's shown text into its control: the text of an edit field or
// a static text, the tick of a check box ("1" ticked). An unchanged text is
// left alone, so a refresh does not move the caret of the field being edited.
void ShowInControl(QWidget* control, const std::string& text);

// The text a control gives the exchange: an edit field's text, "1" or "0" for
// a check box. A static text (the status line) is shown, never typed into,
// and gives nothing.
std::optional<std::string> ControlText(const QWidget* control);

// A field the exchange refused: its control, its label on the form ("Sample
// size:") and the exchange's message for the user.
struct FieldFailure {
  QWidget* control = nullptr;
  QString label;
  QString message;
};

template <class Record>
class FieldBinding {
 public:
  // Every field of `table` must have its control in `builder`.
  FieldBinding(FieldTable<Record> table, const DialogBuilder& builder) : table_(table) {
    for (const auto& field : table_) {
      QWidget* control = builder.Control(field.info.controlId);
      if (control == nullptr) {
        throw std::logic_error("the form has no control " + std::to_string(field.info.controlId) + " for " +
                               field.info.key);
      }
      controls_.push_back(control);
    }
  }

  void Show(const Record& record) const {
    ShowFields(record, table_, [this](std::size_t index, const FieldInfo&, const std::string& text) {
      ShowInControl(controls_[index], text);
    });
  }

  // Takes the fields in table order; the fields before a failure keep their
  // new values, those after it their previous ones.
  std::optional<FieldFailure> Take(Record& record, MessageLanguage language) const {
    const TakeResult result = TakeFields<Record>(
        record, table_, [this](std::size_t index, const FieldInfo&) { return ControlText(controls_[index]); },
        language);
    if (result) return std::nullopt;
    return FieldFailure{controls_[result.fieldIndex], QString::fromStdString(table_[result.fieldIndex].info.label),
                        QString::fromStdString(result.message)};
  }

 private:
  FieldTable<Record> table_;
  std::vector<QWidget*> controls_;
};

}  // namespace korvane
