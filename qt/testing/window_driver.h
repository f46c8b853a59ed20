// Drives the real windows as a person would, with the toolkit's simulated keys and mouse: for the
// Qt tests and the tool that takes the documentation's screenshots. Dialog windows and controls
// are found by their object names (DialogWindow::WindowObjectName, DialogWindow::ObjectName).
#pragma once

#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "qt/dialog_window.h"

namespace qtfront::testing {

// The visible window of the dialog with `templateId`, or null.
DialogWindow* FindDialog(int templateId);
// The widget of control `id` in that window, or null.
QWidget* FindControl(int templateId, int id);

// Runs `action` from the event loop once `ready()` holds (checked every few milliseconds, also
// inside modal loops such as a message box's); gives up after `timeoutMs`, calling `action`
// never. Returns at once.
void When(std::function<bool()> ready, std::function<void()> action, int timeoutMs = 10000);

// Spins the event loop until `ready()` holds or `timeoutMs` passed; returns whether it holds.
bool WaitUntil(const std::function<bool()>& ready, int timeoutMs = 10000);

// A message box as it was shown.
struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    std::vector<int> buttons;  // identifiers (IDOK, ...) in the box's order
    int defaultButton = 0;
};

// The message box shown now, if any.
QMessageBox* ActiveMessageBox();
SeenBox Describe(const QMessageBox& box);

// Answers message boxes as they appear: each is recorded in `seen` (if given) and answered by a
// mouse click on the button with the next identifier of `answers` (once they run out, the button
// of platform::CautiousAnswer). Lives until destroyed; must outlive the boxes it answers.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(std::vector<int> answers = {});
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    const std::vector<SeenBox>& Seen() const { return seen; }
    // Seen boxes' texts, for short assertions.
    std::vector<QString> Texts() const;

  private:
    void Poll();

    std::vector<int> answers;
    std::vector<SeenBox> seen;
    class QTimer* timer;
};

// --- A person's input ---
void Click(QWidget* widget);
void RightClick(QWidget* widget, QPoint position);
// Clicks into the edit, selects its text and types `text` over it.
void TypeInto(QWidget* edit, const QString& text);
// Keys go to the widget that holds the focus.
void PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Drops the combo box's list down with a click and clicks the item with `text`. Returns false
// when the list holds no such item (the list is closed again then).
bool ChooseComboItem(QComboBox* combo, const QString& text);
// Clicks the list's item at `row`.
void ClickListItem(QListWidget* list, int row);

}  // namespace qtfront::testing
