// What a batch run reports: the summary line on standard output, the JSON object that ends
// standard output with --json, and the exit status, all from what the run saw (the dialog's
// output as it stood, the last build's summary, the boxes shown).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch_messages.h"
#include "batch/batch_options.h"
#include "builder/build_summary.h"

namespace batch {

using builder::BuildSummary;
using builder::CopyEnd;
using builder::NotWrittenRecord;

// The output file as the dialog described it when the run ended.
struct OutputDescription {
    std::string file;
    std::string directory;
    std::optional<std::string> hostPath;  // none when the directory is not in the table
    int type = 4;                         // 4 keyed, 36 extended keyed (key inside the record)
    uint32_t recordSize = 0;
    uint32_t keySize = 0;
    std::optional<uint32_t> keyPosition;  // type 36 only
};

struct BatchReport {
    bool dryRun = false;
    // From the dialog, when it opened.
    std::optional<OutputDescription> output;
    std::optional<InputOrder> order;
    // The key fields of --key, as typed into the Position and Length edits, with their names.
    std::vector<KeyFieldText> keys;
    // The last build or dry run; summary.copied is false when none reached its copy.
    BuildSummary summary;
    std::optional<std::string> listFile;  // its host path, when the build wrote one
    std::vector<platform::ShownMessageBox> messages;
    // A dry run foresaw that the build would be refused (an output in place, no --overwrite).
    bool wouldBeRefused = false;
};

// 0 when the build (or dry run) reached its end and every record read, deleted ones aside, was
// (or would be) written; 3 when it reached its end and some were not, or a subordinate key
// definition was not copied; 128 + the signal when a signal stopped it; 1 otherwise (it ended
// before its copy or early in it, or a dry run foresaw a refusal of the build).
int ExitStatusOf(const BatchReport& report);

// How the copy ended: "complete", "input unreadable", "no space", "interrupted" or "output
// incomplete" (the output could not keep what it was given).
const char* EndName(const BuildSummary& summary);

// "CUSTPC on DAT: 1000 records read, 990 written, 10 not written, 0 deleted left out" (a dry
// run says "would be written"); then the first records not written, one line each.
std::string SummaryText(const BatchReport& report);

// One JSON object on one line: read, deleted, written, notWritten, ended, listFile, output,
// order, keyFields (position and length as the dialog reads them, name or null), dryRun,
// messages.
std::string JsonLine(const BatchReport& report);

// A JSON string literal: quotes, backslashes and control characters escaped; a byte that does
// not belong to a valid UTF-8 sequence is written as the character of the same value
// (\u0080 .. \u00ff), so the line is always valid JSON.
std::string JsonString(std::string_view text);

}  // namespace batch
