// The list file: a small HTML report of a build, named "$(QVTEMP)\OLnnnnnn.htm" with a number
// from the runtime's generator (seeded with the time; while a name is taken, the generator's
// next number), created only where no file of that name exists, headed when the copy starts
// and finished after it, then handed to the shell. Lines end in CR LF. File and directory
// names and reasons are escaped for HTML; the fixed texts are not. The formatting pieces are
// here; the dialog's three operations (StartListFile, WriteListLine, FinishListFile) are
// defined in list_file.cpp.
//
//   1  <HTML><HEAD><TITLE>
//   2  Output from Talvo Ordelin Utility Version 13.00
//   3  </TITLE></HEAD><BODY><PRE>
//   4  Talvo Ordelin Utility Version 13.00   MM/DD/YYYY HH:MM      (local time at the start)
//   5  Input file: NAME on DIR
//   6  Output file: NAME on DIR
//   7  (empty)
//   8  Records written: N, Time completed: HH:MM
//   and only when the build ended early (a failed read, a full disk, a stop asked for):
//      The build ended early: REASON    (or: The build was interrupted (SIGINT): ...)
//   and only when records were not written:
//   9  Records not written: N
//      Record R, key HEX: REASON         (record order; "Place P in key order" in key order)
//      ... at most 1000 such lines, then "and N more records not written"
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/local_time.h"
#include "ui/build_summary.h"

namespace builder {

constexpr int kListFileNumberRange = 100000;
// Names tried before a list file is given up: more than the generator's different numbers.
constexpr int kListFileNameTries = 65536;

// "$(QVTEMP)\OL" and the number in six digits with leading zeros, then ".htm".
std::string ListFileNameFor(int number);
// &, <, > and " as character references; everything else as it is.
std::string EscapeHtml(std::string_view text);
// Two upper-case hexadecimal digits a byte.
std::string HexBytes(const uint8_t* bytes, size_t length);
// Line 4: the title, three spaces, month/day/year hour:minute.
std::string StartedLine(const platform::LocalTime& time);
// Line 8.
std::string CompletedLine(uint32_t recordsWritten, const platform::LocalTime& time);
// The line that says why a build ended early (BuildSummary::EndedEarly), holding `held` records.
std::string EarlyEndLine(const BuildSummary& summary, uint32_t held);
// One line of a record not written.
std::string NotWrittenLine(const NotWrittenRecord& record, bool keyOrder);

}  // namespace builder
