#include "builder/build_messages.h"

#include <signal.h>

#include "platform/system_error.h"

namespace builder {

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

std::string EraseWouldFailText(const std::string& file, const std::string& reason) {
    return "Erase of File \"" + file + "\" would fail: " + reason;
}

std::string CreateWouldFailText(const std::string& file, const std::string& directory,
                                const std::string& reason) {
    return "Create of File \"" + file + "\" on \"" + directory + "\" would fail: " + reason;
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

std::string ReadFailedText(const std::string& file, const std::string& directory,
                           const std::string& error, uint32_t written) {
    return "Read of File \"" + file + "\" on \"" + directory + "\" - failed: " + error +
           "\n\nThe build ended early: " + std::to_string(written) + " records were written.";
}

std::string DryRunReadFailedText(const std::string& file, const std::string& directory,
                                 const std::string& error, uint64_t read) {
    return "Read of File \"" + file + "\" on \"" + directory + "\" - failed: " + error +
           "\n\nThe dry run ended early: " + std::to_string(read) + " records were read.";
}

std::string NoSpaceText(const std::string& file, const std::string& error, uint32_t held) {
    return "The output file \"" + file + "\" ran out of space: " + error +
           "\n\nThe build ended early: " + std::to_string(held) + " records were written.";
}

std::string NoMemoryText(const std::string& file, const std::string& error, uint32_t held) {
    return "There was not enough memory to write the output file \"" + file + "\": " + error +
           "\n\nThe build ended early: " + std::to_string(held) + " records were written.";
}

std::string SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "signal " + std::to_string(signal);
    }
}

std::string InterruptedText(const std::string& file, int signal, uint32_t held) {
    return "The build was interrupted (" + SignalName(signal) + "): the output file \"" + file +
           "\" holds " + std::to_string(held) + " records.";
}

std::string DryRunInterruptedText(int signal, uint64_t read) {
    return "The dry run was interrupted (" + SignalName(signal) + ") after " +
           std::to_string(read) + " records were read.";
}

std::string InterruptedBeforeText(int signal) {
    return "The build was interrupted (" + SignalName(signal) +
           ") before it began: the output was not touched.";
}

std::string OutputNameText(const std::string& file) {
    return "Output file name \"" + file +
           "\" cannot contain \\ or / and cannot be \".\" or \"..\".";
}

bool IsPlainFileName(const std::string& file) {
    return file.find_first_of("\\/") == std::string::npos && file != "." && file != "..";
}

std::string OutputBusyText(const std::string& file, const std::string& directory) {
    return "Output file \"" + file + "\" on \"" + directory +
           "\" is being built by another run; build it again once that run has ended.";
}

std::string OutputLockFailedText(const std::string& file, const std::string& directory,
                                 const std::string& error) {
    return "Output file \"" + file + "\" on \"" + directory +
           "\" cannot be reserved for this build: " + error;
}

std::string ListFileCreateFailedText(const std::string& name, uint32_t errorCode) {
    return "Could not create list file: " + name + "\n\nError: " + std::to_string(errorCode);
}

std::string ListFileIncompleteText(const std::string& name, uint32_t errorCode) {
    std::string reason = platform::SystemMessageText(errorCode);
    if (reason.empty()) reason = "error " + std::to_string(errorCode);
    return "The list file \"" + name + "\" could not be written completely: " + reason;
}

}  // namespace builder
