#include "builder/list_file.h"

#include <cstdio>

#include "builder/build_messages.h"
#include "fsclient/dornapi.h"
#include "platform/message_box.h"
#include "platform/runtime_random.h"
#include "platform/system_error.h"

namespace builder {
namespace {

constexpr char kTitle[] = "Talvo Ordelin Utility Version 13.00";

std::string TwoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u", static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::string ListFileNameFor(int number) {
    char text[32];
    std::snprintf(text, sizeof text, "%2s%.6d.htm", "OL", number);
    return std::string("$(QVTEMP)\\") + text;
}

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string HexBytes(const uint8_t* bytes, size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(2 * length);
    for (size_t i = 0; i < length; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0xF];
    }
    return out;
}

std::string StartedLine(const platform::LocalTime& time) {
    return std::string(kTitle) + "   " + TwoDigits(time.month) + "/" + TwoDigits(time.day) + "/" +
           TwoDigits(time.year) + " " + TwoDigits(time.hour) + ":" + TwoDigits(time.minute);
}

std::string CompletedLine(uint32_t recordsWritten, const platform::LocalTime& time) {
    return "Records written: " + std::to_string(recordsWritten) +
           ", Time completed: " + TwoDigits(time.hour) + ":" + TwoDigits(time.minute);
}

std::string EarlyEndLine(const BuildSummary& summary, uint32_t held) {
    const std::string error = EscapeHtml(summary.endError);
    switch (summary.end) {
        case CopyEnd::kInputUnreadable:
            return "The build ended early: the input could not be read: " + error;
        case CopyEnd::kNoSpace:
            return "The build ended early: the output ran out of space: " + error;
        case CopyEnd::kNoMemory:
            return "The build ended early: not enough memory to write the output: " + error;
        case CopyEnd::kInterrupted:
            return "The build was interrupted (" + SignalName(summary.stopSignal) +
                   "): the output holds " + std::to_string(held) + " records.";
        case CopyEnd::kComplete:
            break;
    }
    return "The build ended early: the output could not be completed: " + error;
}

std::string NotWrittenLine(const NotWrittenRecord& record, bool keyOrder) {
    return (keyOrder ? "Place " + std::to_string(record.number) + " in key order"
                     : "Record " + std::to_string(record.number)) +
           ", key " + HexBytes(record.key.data(), record.key.size()) + ": " +
           EscapeHtml(record.reason);
}

// --- The dialog's list file ----------------------------------------------------------------------

void ListFile::StartListFile(const BuildRequest& request, BuildListener& listener) {
    platform::srand(static_cast<uint32_t>(platform::CurrentTime()));
    // A list file of another run (a build in the same second, in this process or another) is
    // never replaced: while the name is taken, the generator's next number names the file. The
    // generator gives at most 32768 different numbers, so that many tries find any free one.
    bool created = false;
    for (int tries = 0; !created && tries < kListFileNameTries; ++tries) {
        const int number = platform::rand() % kListFileNumberRange;
        name = ListFileNameFor(number);
        // Not consulted: a name left unresolved fails to be created and says so.
        CDornApi::ExpandDirectoryMacro(name, false);
        created = file.CreateNew(name);
        if (!created && platform::GetLastError() != platform::ERROR_FILE_EXISTS) break;
    }
    if (!created) {
        listener.ShowMessage(ListFileCreateFailedText(name, platform::GetLastError()),
                             platform::MB_OK);
        return;
    }
    open = true;
    const platform::LocalTime now = platform::LocalTimeNow();
    WriteListLine("<HTML><HEAD><TITLE>");
    WriteListLine(std::string("Output from ") + kTitle);
    WriteListLine("</TITLE></HEAD><BODY><PRE>");
    WriteListLine(StartedLine(now));
    WriteListLine("Input file: " + EscapeHtml(request.inputFileName) + " on " +
                  EscapeHtml(request.inputDirectory));
    WriteListLine("Output file: " + EscapeHtml(request.outputFileName) + " on " +
                  EscapeHtml(request.outputDirectory));
}

void ListFile::WriteListLine(const std::string& text) {
    file.WriteLine(text);  // a failure is kept by the file and reported when it is finished
}

void ListFile::FinishListFile(BuildSummary& summary, BuildListener& listener) {
    const auto written = static_cast<uint32_t>(summary.recordsWritten);
    WriteListLine("");
    WriteListLine(CompletedLine(written, platform::LocalTimeNow()));
    if (summary.EndedEarly()) WriteListLine(EarlyEndLine(summary, written));
    if (summary.recordsNotWritten != 0) {
        WriteListLine("Records not written: " + std::to_string(summary.recordsNotWritten));
        for (const NotWrittenRecord& record : summary.notWritten) {
            WriteListLine(NotWrittenLine(record, summary.keyOrder));
        }
        const uint64_t more = summary.recordsNotWritten - summary.notWritten.size();
        if (more != 0) WriteListLine("and " + std::to_string(more) + " more records not written");
    }
    const bool complete = file.Close();
    open = false;
    summary.listFileName = name;
    summary.listFileComplete = complete;
    if (!complete) {
        listener.ShowMessage(ListFileIncompleteText(name, file.WriteError()),
                             platform::MB_ICONSTOP);
    }
    listener.OpenListFile(name);
}

}  // namespace builder
