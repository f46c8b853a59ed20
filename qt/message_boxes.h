// Message boxes from the flags the system passes: the icon (stop, question, exclamation,
// information), the buttons (OK; OK and Cancel; Abort, Retry and Ignore; Yes, No and Cancel; Yes
// and No; Retry and Cancel; Cancel, Try Again and Continue) and the default button, and the
// identifier of the button pressed (IDOK, IDCANCEL, ...) as the result.
#pragma once

#include <QMessageBox>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace qtfront {

// Identifiers of the buttons beyond those of platform/message_box.h.
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdTryAgain = 10;
constexpr int kIdContinue = 11;

// The button identifiers of the flags' button set, in their order on a classic box.
std::vector<int> ButtonIds(unsigned flags);

// A box built from the flags, not yet shown; each button carries its identifier in the
// property "buttonId". Plain text only: names with '<' show as they are.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const std::string& caption,
                                            const std::string& text, unsigned flags);

// The identifier of the box's pressed button; the Escape answer when none was pressed (the box
// was closed): Cancel when there is one, OK for a box with OK alone, No for Yes and No.
int PressedButtonId(const QMessageBox& box, unsigned flags);

// Shows the box modally over `parent` (none: over the active window) and returns the pressed
// button's identifier.
int RunMessageBox(QWidget* parent, const std::string& caption, const std::string& text,
                  unsigned flags);

// The message box sink of a windowed run: every box outside a dialog shows over the active
// window.
// `windowsAvailable` says whether a box can be shown now (it may make the application object);
// when it cannot, the box goes to standard error and gets the Escape answer.
class QtMessageBoxSink : public platform::MessageBoxSink {
  public:
    explicit QtMessageBoxSink(std::function<bool()> windowsAvailable);
    int Show(const std::string& caption, const std::string& text, unsigned flags) override;

  private:
    std::function<bool()> available;
};

}  // namespace qtfront
