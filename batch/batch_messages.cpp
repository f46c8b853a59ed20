#include "batch/batch_messages.h"

#include "batch/batch_options.h"

namespace batch {

std::string OneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    bool inBreak = false;
    for (char c : text) {
        if (c == '\n' || c == '\r') {
            if (!inBreak) line += ' ';
            inBreak = true;
            continue;
        }
        inBreak = false;
        line += c;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

void BoxLog::Line(const std::string& text) {
    if (beforeLine) beforeLine();
    err << kProgramName << ": " << OneLine(text) << std::endl;
}

void BoxLog::Announce(const std::string& caption, const std::string& text, unsigned flags) {
    boxes.push_back({caption, text, flags});
    Line(text);
}

void BoxLog::Say(const std::string& text) {
    Line(text);
}

int BoxLogSink::Show(const std::string& caption, const std::string& text, unsigned flags) {
    log.Announce(caption, text, flags);
    return platform::CautiousAnswer(flags);
}

}  // namespace batch
