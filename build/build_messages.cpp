#include "build/build_messages.h"

#include "platform/message_box.h"
#include "platform/system_error.h"

namespace build {

int ShowMessage(COrdelinDlg& dialog, const std::string& text, unsigned flags) {
    if (platform::DialogView* view = dialog.View()) {
        return view->MessageBox(text, platform::AppName(), flags);
    }
    return platform::AppMessageBox(text, flags);
}

std::string OpenFailedText(const std::string& file, const std::string& directory,
                           const std::string& error) {
    return "Open of File \"" + file + "\" on \"" + directory + "\" - failed: " + error;
}

std::string OverwriteText(const std::string& file) {
    return "Overwrite existing \"" + file + "\"?";
}

std::string EraseFailedText(const std::string& file, const std::string& error) {
    return "Erase of File \"" + file + "\" - failed: " + error;
}

std::string CreateFailedText(const std::string& file, const std::string& directory,
                             const std::string& error) {
    return "Create of File \"" + file + "\" on \"" + directory + "\" - failed: " + error;
}

std::string RecordsWrittenText(uint32_t written, uint64_t notWritten, bool listFile) {
    std::string text = std::to_string(written) + " records were written";
    if (notWritten != 0) {
        text += "\n\n" + std::to_string(notWritten) +
                " records were not written (duplicate key or refused by the output file)" +
                (listFile ? "; the list file names them." : ".");
    }
    return text;
}

std::string SubordinateKeyFailedText(const std::string& file, int index, const std::string& error) {
    return "Subordinate key " + std::to_string(index) + " could not be copied to \"" + file +
           "\": " + error;
}

std::string OutputIncompleteText(const std::string& file, const std::string& error) {
    return "The output file \"" + file + "\" could not be completed: " + error +
           "\n\nOnly the records counted as written are in it.";
}

std::string ListFileCreateFailedText(const std::string& name, uint32_t errorCode) {
    return "Could not create list file: " + name + "\n\nError: " + std::to_string(errorCode);
}

std::string ListFileIncompleteText(const std::string& name, uint32_t errorCode) {
    std::string reason = platform::SystemMessageText(errorCode);
    if (reason.empty()) reason = "error " + std::to_string(errorCode);
    return "The list file \"" + name + "\" could not be written completely: " + reason;
}

}  // namespace build
