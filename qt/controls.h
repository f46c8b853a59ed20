// The widgets a dialog template's edits, list boxes and combo boxes become: Qt's own widgets with
// the few habits of the classic controls that the dialog's logic relies on.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QValidator>
#include <cstddef>
#include <functional>
#include <optional>

#include "platform/dialog_view.h"
#include "qt/dialog_units.h"

namespace qtfront {

class KeyFieldDelegate;

// What an edit accepts from the keyboard: digits only, and at most a number of bytes of UTF-8
// (the narrow text the dialog works with). Text set by the program is not checked.
class EditValidator : public QValidator {
  public:
    explicit EditValidator(QObject* parent, bool digitsOnly);
    void SetByteLimit(std::optional<size_t> limit) { byteLimit = limit; }
    std::optional<size_t> ByteLimit() const { return byteLimit; }
    State validate(QString& input, int& position) const override;

  private:
    bool digits;
    std::optional<size_t> byteLimit;
};

// An edit. A read-only one has the window's background, as read-only fields have; the dialog
// may ask, each time the edit paints, for another background behind its text.
class TemplateEdit : public QLineEdit {
  public:
    using BackgroundQuery = std::function<std::optional<platform::Rgb>()>;

    TemplateEdit(QWidget* parent, bool readOnly, bool digitsOnly);
    void SetBackgroundQuery(BackgroundQuery query) { background = std::move(query); }
    void SetByteLimit(size_t limit) { validator->SetByteLimit(limit); }
    std::optional<size_t> ByteLimit() const { return validator->ByteLimit(); }
    // The background the edit painted with last.
    QColor PaintedBackground() const { return palette().color(QPalette::Base); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    EditValidator* validator;
    BackgroundQuery background;
    QColor normalBackground;
};

// A list box: one item selected at most, tab stops in dialog units, and a selection change by
// the user (mouse or keyboard, also a click on the item already selected) reported; changes
// made by the program are not.
class TemplateListBox : public QListWidget {
  public:
    TemplateListBox(QWidget* parent, BaseUnits units);
    void SetTabStop(int dialogUnits);
    int TabStop() const;
    int Selection() const;
    // Selects the item at `index`; out of range (or platform::kNoItem) selects none.
    void SetSelection(int index);
    void SetSelectionChanged(std::function<void()> handler) {
        selectionChanged = std::move(handler);
    }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void ReportChange(int before, bool always);

    KeyFieldDelegate* delegate;
    std::function<void()> selectionChanged;
};

// A drop-down combo box with an edit field. The dialog is told before the list drops down (it
// refills it then) and when the user chooses an item; the selection is the chosen item, never
// text typed into the field, and adding items to a list without one selects nothing.
class TemplateComboBox : public QComboBox {
  public:
    explicit TemplateComboBox(QWidget* parent);
    void SetDropDown(std::function<void()> handler) { dropDown = std::move(handler); }
    void SetChosen(std::function<void()> handler) { chosen = std::move(handler); }
    void Reset();
    int Add(const QString& text);
    int Selection() const { return selection; }
    QString SelectedText() const;
    void showPopup() override;

  private:
    std::function<void()> dropDown;
    std::function<void()> chosen;
    int selection = platform::kNoItem;
};

}  // namespace qtfront
