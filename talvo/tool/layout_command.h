// `talvo layout FILE.cpy`: the records a COBOL copybook describes, item by item with offset,
// length, usage, picture and occurrences; and the copybook options that `talvo dump --layout`
// shares with it.
#pragma once

#include <string>
#include <vector>

#include "layout/copybook.h"
#include "talvo/tool/tool_common.h"

namespace talvo::tool {

struct CopybookArgs {
    std::string path;                      // the copybook
    std::string record;                    // --record: its record to use; empty: see below
    std::string sourceFormat = "detect";   // detect, fixed or free
    std::string binarySize = "1-2-4-8";    // 1-2-4-8, 2-4-8 or 1--8
};

// Reads the copybook. Throws ToolError naming the file, and the line for a line it cannot read.
layout::Copybook LoadCopybook(const CopybookArgs& args);

// The records --record chooses: the one of that name, else every record. Throws a usage error
// for a name no record has (the text lists the records).
std::vector<const layout::Record*> ChooseRecords(const layout::Copybook& copybook,
                                                 const CopybookArgs& args);

// "LEVEL NAME ... OCCURS" per item as a table, or with json one JSON array of every item:
// record, name, qualified, level, offset, length, usage, picture, occurs, redefines, dependingOn.
struct LayoutArgs {
    CopybookArgs copybook;
    bool json = false;
};
void LayoutCommand(const LayoutArgs& args, Console& console);

// A JSON string literal of UTF-8 text: quotes, backslashes and control characters escaped.
std::string JsonText(std::string_view text);

}  // namespace talvo::tool
