// One run of ordelin-batch: the utility's start-up (COrdelinApp) on the command line's FILE,
// /DNAME and /NET words, with every dialog on a batch host whose script acts as the options say,
// boxes outside the dialog announced the same way, and the shell's open of the list file turned
// into a line that names it. Then the summary, the JSON object and the exit status.
#pragma once

#include <ostream>

#include "batch/batch_options.h"

namespace batch {

// Runs the batch. Requires the file-system component registered. Writes the list file's path,
// the summary and (with --json) the JSON line to `out`; every box, the program's own refusals
// and (with --progress, when `errIsTerminal`) the progress line to `err`. The dialog view
// factory, the message box sink and the shell-open sink are replaced while it runs and restored
// afterwards. Returns the exit status (batch_options.h).
int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool errIsTerminal);

}  // namespace batch
