// The build's messages: every text it shows, in one place, and the one way it shows them (a
// modal box on the dialog, captioned with the application's name).
#pragma once

#include <cstdint>
#include <string>

#include "ui/ordelin_dlg.h"

namespace build {

// Shows a box on the dialog's view (the framework's box when the dialog is not running) and
// returns the button pressed.
int ShowMessage(COrdelinDlg& dialog, const std::string& text, unsigned flags);

std::string OpenFailedText(const std::string& file, const std::string& directory,
                           const std::string& error);
std::string OverwriteText(const std::string& file);
std::string EraseFailedText(const std::string& file, const std::string& error);
std::string CreateFailedText(const std::string& file, const std::string& directory,
                             const std::string& error);
// The closing message: the count written and, when some records were not written, a second
// paragraph that says so (and that the list file names them, when there is one).
std::string RecordsWrittenText(uint32_t written, uint64_t notWritten, bool listFile);
// A subordinate key definition of the input that the output did not take.
std::string SubordinateKeyFailedText(const std::string& file, int index, const std::string& error);
// The output could not keep what was written to it since its last commit.
std::string OutputIncompleteText(const std::string& file, const std::string& error);
std::string ListFileCreateFailedText(const std::string& name, uint32_t errorCode);
std::string ListFileIncompleteText(const std::string& name, uint32_t errorCode);

}  // namespace build
