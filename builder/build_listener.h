// What a build shows while it runs, and the answers it gets: its message boxes, the wait cursor,
// the progress bar, and the list file handed to the shell at the end. The dialog implements it on
// its view; a build calls it on the thread that runs it, in the order the user sees things.
#pragma once

#include <string>

namespace builder {

class BuildListener {
  public:
    virtual ~BuildListener() = default;

    // A modal message box (flags as in platform/message_box.h); returns the button pressed.
    virtual int ShowMessage(const std::string& text, unsigned flags) = 0;

    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // The progress bar: shown or hidden; the window painted at once (a build does not return to
    // the event loop before its end); the bar's range 0 .. upper and its position.
    virtual void ShowProgress(bool show) = 0;
    virtual void RepaintNow() = 0;
    virtual void SetProgressRange(int upper) = 0;
    virtual void SetProgressPosition(int position) = 0;

    // The list file of the build is complete: the shell is asked to open it.
    virtual void OpenListFile(const std::string& name) = 0;
};

}  // namespace builder
