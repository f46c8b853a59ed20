// Message boxes. Every box the system shows goes through one replaceable sink: the front end
// shows real boxes, tests record caption, text and flags and answer as scripted.
#pragma once

#include <memory>
#include <string>

namespace platform {

// Flags (as the platform's message box takes them).
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONSTOP = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_TOPMOST = 0x40000;

// Buttons a box returns.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// A message box as it was shown, as the hosts that show no real box (tests, batch runs) keep it.
struct ShownMessageBox {
    std::string caption;
    std::string text;
    unsigned flags = 0;
    friend bool operator==(const ShownMessageBox&, const ShownMessageBox&) = default;
};

// The button a box gets when nobody has a reason to press another, as every host that answers
// boxes itself answers them: No for a question with Yes and No (nothing is done that was not
// asked for), Cancel for one with Yes, No and Cancel, OK otherwise.
int CautiousAnswer(unsigned flags);

class MessageBoxSink {
  public:
    virtual ~MessageBoxSink() = default;
    // Shows the box modally and returns the button pressed.
    virtual int Show(const std::string& caption, const std::string& text, unsigned flags) = 0;
};

// Installs a sink and returns the former one. Without one, boxes are written to standard error
// and answered with OK (or No for a question with Yes and No).
std::shared_ptr<MessageBoxSink> SetMessageBoxSink(std::shared_ptr<MessageBoxSink> sink);

// The system's message box: shown with the caption given.
int SystemMessageBox(const std::string& text, const std::string& caption, unsigned flags);

// The application framework's message box: captioned with the application's name.
int AppMessageBox(const std::string& text, unsigned flags);

// The application's name, used as the framework boxes' caption ("Ordelin" unless set).
void SetAppName(const std::string& name);
const std::string& AppName();

}  // namespace platform
