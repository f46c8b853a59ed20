// The message boxes of a batch run. Nobody sees a box: each one is announced at the moment it is
// shown as one line "ordelin-batch: TEXT" on standard error (its line breaks shown as spaces),
// kept with its flags for the summary, and answered as the person at the dialog would.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace batch {

// The text on one line: every run of line breaks becomes one space, and spaces left at the end
// are dropped ("Error:\n\ntext\n" -> "Error: text").
std::string OneLine(const std::string& text);

class BoxLog {
  public:
    explicit BoxLog(std::ostream& stream) : err(stream) {}

    // Announces a box and keeps it.
    void Announce(const std::string& caption, const std::string& text, unsigned flags);
    // A line of the program's own on standard error ("ordelin-batch: TEXT"); not a box.
    void Say(const std::string& text);
    // Called before every line: whatever stands on the line of standard error (a progress line)
    // is ended first.
    void SetBeforeLine(std::function<void()> hook) { beforeLine = std::move(hook); }

    const std::vector<platform::ShownMessageBox>& Boxes() const { return boxes; }
    size_t Count() const { return boxes.size(); }

  private:
    void Line(const std::string& text);

    std::ostream& err;
    std::vector<platform::ShownMessageBox> boxes;
    std::function<void()> beforeLine;
};

// The boxes shown outside a dialog (the connection's, the start-up's).
class BoxLogSink : public platform::MessageBoxSink {
  public:
    explicit BoxLogSink(BoxLog& boxLog) : log(boxLog) {}
    int Show(const std::string& caption, const std::string& text, unsigned flags) override;

  private:
    BoxLog& log;
};

}  // namespace batch
