// ordelin: the utility with its window.
//
//   ordelin FILE /DNAME [/NET:NAME]
//   ordelin --version
//
// FILE is the input data file (a host path such as /data/cust, made absolute, or a platform path
// such as Z:\data\cust); NAME the directory name under which the file system is to know its
// folder. Exit status: 0 after the window was closed, 2 when the command line does not split (a
// usage line on standard error, no window), 1 for every other failure.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/ordelin_app.h"
#include "platform/command_line_argv.h"
#include "qt/front_end.h"
#include "talvo/talvolib.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("ordelin %s\n", ORDELIN_VERSION);
        return 0;
    }
    talvo::RegisterTalvoLib();
    // Made before the application object, which takes the toolkit's own options out of argv.
    const std::string commandLine = platform::AssembleCommandLine(argc, argv);
    qtfront::FrontEnd frontEnd(argc, argv);
    COrdelinApp app(commandLine);
    app.InitInstance();
    if (app.GetOutcome() == COrdelinApp::Outcome::BadCommandLine) {
        std::fputs("usage: ordelin FILE /DNAME [/NET:NAME]\n", stderr);
    }
    return app.ExitStatus();
}
