#include "batch/batch_report.h"

#include <algorithm>
#include <cstdio>

#include "builder/list_file.h"
#include "platform/dialog.h"

namespace batch {
namespace {

// Records not written that the summary names one by one; the rest are counted.
constexpr size_t kNamedRecords = 10;

// The length of the valid UTF-8 sequence at text[i], 0 when none starts there.
size_t Utf8Length(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;   // no overlong forms
        if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return length;
}

std::string Number(uint64_t n) {
    return std::to_string(n);
}

std::string OrderName(InputOrder order) {
    return order == InputOrder::Key ? "key" : "record";
}

}  // namespace

int ExitStatusOf(const BatchReport& report) {
    const BuildSummary& s = report.summary;
    if (s.end == CopyEnd::kInterrupted && s.stopSignal > 0) return kExitSignalBase + s.stopSignal;
    if (!s.copied || report.wouldBeRefused) return kExitRefused;
    if (s.EndedEarly()) return kExitRefused;
    // A build that ended with a subordinate key definition not copied did not make all it
    // should have, even when every record got in.
    return s.recordsNotWritten == 0 && s.subordinateKeyFailure.empty() ? kExitOk : kExitPartial;
}

const char* EndName(const BuildSummary& summary) {
    switch (summary.end) {
        case CopyEnd::kInputUnreadable:
            return "input unreadable";
        case CopyEnd::kNoSpace:
            return "no space";
        case CopyEnd::kNoMemory:
            return "no memory";
        case CopyEnd::kInterrupted:
            return "interrupted";
        case CopyEnd::kComplete:
            break;
    }
    return summary.failure.empty() ? "complete" : "output incomplete";
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            if (const size_t n = Utf8Length(text, i)) {
                out.append(text.substr(i, n));
                i += n;
                continue;
            }
        }
        char escaped[8];
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    return out + "\"";
}

std::string SummaryText(const BatchReport& report) {
    const BuildSummary& s = report.summary;
    const std::string name = report.output ? report.output->file + " on " + report.output->directory
                                           : std::string("the output");
    const char* written = report.dryRun ? " would be written, " : " written, ";
    const char* notWritten = report.dryRun ? " would not be written" : " not written";
    std::string text = name + (report.dryRun ? " (dry run): " : ": ") + Number(s.recordsRead) +
                       " records read, " + Number(s.recordsWritten) + written +
                       Number(s.recordsNotWritten) + notWritten;
    if (s.recordsDeleted != 0) text += ", " + Number(s.recordsDeleted) + " deleted left out";
    if (s.EndedEarly()) text += std::string("; ended early: ") + EndName(s);
    text += "\n";
    const size_t named = std::min(s.notWritten.size(), kNamedRecords);
    for (size_t i = 0; i < named; ++i) {
        const NotWrittenRecord& r = s.notWritten[i];
        text += (s.keyOrder ? "  place " + Number(r.number) + " in key order"
                            : "  record " + Number(r.number)) +
                ", key " + builder::HexBytes(r.key.data(), r.key.size()) + ": " +
                OneLine(r.reason) + "\n";
    }
    if (s.recordsNotWritten > named) {
        text += "  and " + Number(s.recordsNotWritten - named) + " more\n";
    }
    return text;
}

std::string JsonLine(const BatchReport& report) {
    const BuildSummary& s = report.summary;
    std::string json =
        "{\"read\":" + Number(s.recordsRead) + ",\"deleted\":" + Number(s.recordsDeleted) +
        ",\"written\":" + Number(s.recordsWritten) +
        ",\"notWritten\":" + Number(s.recordsNotWritten) +
        ",\"ended\":" + (s.copied ? JsonString(EndName(s)) : "null") +
        ",\"listFile\":" + (report.listFile ? JsonString(*report.listFile) : "null") +
        ",\"output\":";
    if (const std::optional<OutputDescription>& o = report.output) {
        json += "{\"file\":" + JsonString(o->file) + ",\"directory\":" + JsonString(o->directory) +
                ",\"hostPath\":" + (o->hostPath ? JsonString(*o->hostPath) : "null") +
                ",\"type\":" + Number(static_cast<uint64_t>(o->type)) +
                ",\"recordSize\":" + Number(o->recordSize) + ",\"keySize\":" + Number(o->keySize) +
                ",\"keyPosition\":" + (o->keyPosition ? Number(*o->keyPosition) : "null") + "}";
    } else {
        json += "null";
    }
    json += ",\"order\":" + (report.order ? JsonString(OrderName(*report.order)) : "null");
    json += ",\"keyFields\":[";
    for (size_t i = 0; i < report.keys.size(); ++i) {
        const KeyFieldText& key = report.keys[i];
        // As the dialog reads the edits: by their leading digits.
        const auto number = [](const std::string& text) {
            return Number(static_cast<uint64_t>(std::max(0, platform::ParseLeadingInt(text))));
        };
        json += std::string(i != 0 ? "," : "") + "{\"position\":" + number(key.position) +
                ",\"length\":" + number(key.length) +
                ",\"name\":" + (key.name.empty() ? "null" : JsonString(key.name)) + "}";
    }
    json += "]";
    json += ",\"dryRun\":" + std::string(report.dryRun ? "true" : "false");
    json += ",\"messages\":[";
    for (size_t i = 0; i < report.messages.size(); ++i) {
        if (i != 0) json += ",";
        json += "{\"text\":" + JsonString(report.messages[i].text) +
                ",\"flags\":" + Number(report.messages[i].flags) + "}";
    }
    return json + "]}";
}

}  // namespace batch
