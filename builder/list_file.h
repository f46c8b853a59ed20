// The list file: a small HTML report of a build, named "$(QVTEMP)\OLnnnnnn.htm" with a number
// from the runtime's generator (seeded with the time; while a name is taken, the generator's
// next number), created only where no file of that name exists, headed when the copy starts
// and finished after it, then handed to the shell. Lines end in CR LF. File and directory
// names and reasons are escaped for HTML; the fixed texts are not. The dialog keeps the list
// file (ListFile) from one build to the next; a build calls its three operations.
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

#include "builder/build_listener.h"
#include "builder/build_request.h"
#include "builder/build_summary.h"
#include "platform/local_time.h"
#include "platform/locked_text_file.h"

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

// The list file of the dialog: while `open`, `file` is being written under `name` (resolved).
// A build starts one only when none is open, and finishes the one it started.
class ListFile {
  public:
    // Names the list file through $(QVTEMP), creates it where no file of that name is and writes
    // its head (lines 1 to 6, with the request's names); when it cannot be created, says so in a
    // plain box and leaves `open` false.
    void StartListFile(const BuildRequest& request, BuildListener& listener);
    // Writes one line; a failure is kept by the file and reported when it is finished.
    void WriteListLine(const std::string& text);
    // Writes the tail (the count, the time, why the build ended early, the records not
    // written), closes the file, notes its name and whether it is complete in the summary, says
    // once (stop icon) when it could not be written completely, and has the shell open it.
    void FinishListFile(BuildSummary& summary, BuildListener& listener);

    bool open = false;
    platform::LockedTextFile file;
    std::string name;  // "$(QVTEMP)\..." until resolved
};

}  // namespace builder
