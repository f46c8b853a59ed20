// ordelin-batch: the utility's build from a script, without a window.
//
//   ordelin-batch FILE /DNAME [/NET:NAME] --out NAME [options]
//
// See batch_options.cpp (or --help) for the options and batch_options.h for the exit statuses.
#include <unistd.h>

#include <exception>
#include <iostream>

#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "platform/stop_request.h"
#include "talvo/talvolib.h"

int main(int argc, char** argv) {
    const batch::ParsedCommandLine parsed = batch::ParseCommandLine(argc, argv);
    std::cout << parsed.out << std::flush;
    std::cerr << parsed.err << std::flush;
    if (!parsed.options) return parsed.exitStatus;
    // SIGINT and SIGTERM stop the build at the next record, with its output sound and the run
    // told; a second one ends the program at once.
    platform::CatchStopSignals();
    try {
        talvo::RegisterTalvoLib();
        return batch::RunBatch(*parsed.options, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << batch::kProgramName << ": " << e.what() << std::endl;
        return batch::kExitRefused;
    }
}
