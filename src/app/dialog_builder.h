#pragma once

// Builds a dialog's controls at positions given in dialog units, as a dialog
// template lists them: group frames, edit fields, check boxes, radio buttons,
// push buttons and static texts, each control with its id. Labels whose
// position the layout leaves open stand to the left of their field on the
// field's line, ending a small gap before it.

#include <QString>
#include <QWidget>
#include <map>

#include "app/dialog_units.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace korvane {

// A group frame as dialogs draw it: an etched rectangle whose top line runs
// through the middle of the title, the title breaking the line near its left
// end. It only paints; the controls it surrounds are its siblings.
class GroupFrame : public QWidget {
  Q_OBJECT

 public:
  GroupFrame(const QString& title, QWidget* parent);
  const QString& Title() const { return title_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString title_;
};

class DialogBuilder {
 public:
  // Controls are made children of `client`, whose font is the dialog font.
  explicit DialogBuilder(QWidget* client);

  const DialogUnits& Units() const { return units_; }
  QWidget* Client() const { return client_; }

  // A group frame, kept below the controls it surrounds.
  GroupFrame* Group(const QString& title, int x, int y, int width, int height);
  QLineEdit* Edit(int id, int x, int y, int width, int height);
  // Check boxes and radio buttons are widened to their text when the given
  // width would cut it off.
  QCheckBox* Check(int id, const QString& text, int x, int y, int width, int height);
  QRadioButton* Radio(int id, const QString& text, int x, int y, int width, int height);
  QPushButton* Button(int id, const QString& text, int x, int y, int width, int height);
  // A static text of the given alignment in the given box; `id` -1 for a
  // text that nothing refers to.
  QLabel* Text(int id, const QString& text, Qt::Alignment alignment, int x, int y, int width, int height);

  // A label ending just before `anchor`, on the anchor's line. `anchor` is a
  // field, or another label ("Frequency difference:" before "min"), then the
  // gap is that of a blank and the line is that label's.
  QLabel* LabelBefore(const QString& text, const QWidget* anchor);
  // The same on a line of its own, `y` and `height` in dialog units: the line
  // of a check box that starts the row, where the row's fields stand higher.
  QLabel* LabelBefore(const QString& text, const QWidget* field, int y, int height);
  // A label starting at (x, y), `height` units high.
  QLabel* LabelAt(const QString& text, int x, int y, int height);

  // The control with `id`, or null.
  QWidget* Control(int id) const;

 private:
  QLabel* LineLabel(const QString& text, int right, int top, int height);
  void Register(int id, QWidget* control);
  int Gap(const QWidget* anchor) const;

  QWidget* client_;
  DialogUnits units_;
  std::map<int, QWidget*> controls_;
};

// The object name that identifies control `id` ("control1003").
QString ControlName(int id);

}  // namespace korvane
