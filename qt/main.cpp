// ordelin: the utility with its window.
//
//   ordelin FILE /DNAME [/NET:NAME]
//   ordelin --choose [FILE]
//   ordelin --version
//
// FILE is the input data file (a host path such as /data/cust, made absolute, or a platform path
// such as Z:\data\cust); NAME the directory name under which the file system is to know its
// folder. With --choose (the desktop's menu entry) a small window asks for both first, FILE
// filled in when given, and the start-up then goes on as for `ordelin FILE /DNAME`.
// Exit status: 0 after the window was closed (or the choice given up), 2 when the command line
// does not split or cannot carry FILE (a double quote, a backslash in a host path: a line on
// standard error, no window), 1 for every other failure.
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "app/input_path.h"
#include "app/ordelin_app.h"
#include "platform/command_line_argv.h"
#include "qt/front_end.h"
#include "qt/record_layout_window.h"
#include "qt/start_chooser.h"
#include "talvo/talvolib.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("ordelin %s\n", ORDELIN_VERSION);
        return 0;
    }
    const bool choose = argc >= 2 && std::strcmp(argv[1], "--choose") == 0;
    if (choose && argc > 3) {
        std::fputs("usage: ordelin --choose [FILE]\n", stderr);
        return COrdelinApp::kExitUsage;
    }
    // A path the command line cannot carry would bring the utility to another file, or none.
    if (!choose && argc >= 2) {
        if (const std::optional<std::string> problem = CommandLineFileProblem(argv[1])) {
            std::fprintf(stderr, "ordelin: %s\n", problem->c_str());
            return COrdelinApp::kExitUsage;
        }
    }
    talvo::RegisterTalvoLib();
    // Taken before the application object, which takes the toolkit's own options out of argv.
    std::string commandLine = choose ? std::string() : platform::AssembleCommandLine(argc, argv);
    const std::string presetFile = choose && argc == 3 ? argv[2] : std::string();
    qtfront::FrontEnd frontEnd(argc, argv);
    if (choose) {
        if (!frontEnd.EnsureApplication()) return COrdelinApp::kExitFailed;
        QString preset = QFile::decodeName(presetFile.c_str());
        if (!preset.isEmpty()) preset = QFileInfo(preset).absoluteFilePath();
        std::optional<std::string> chosen = qtfront::ChooseStart(preset);
        if (!chosen) return COrdelinApp::kExitOk;
        commandLine = std::move(*chosen);
    }
    COrdelinApp app(commandLine);
    // The system menu's Record Layout item opens a window of the front end's beside the dialog.
    app.SetDialogObserver([](COrdelinDlg& dialog) { qtfront::AttachRecordLayoutWindow(dialog); });
    app.InitInstance();
    if (app.GetOutcome() == COrdelinApp::Outcome::BadCommandLine) {
        std::fputs("usage: ordelin FILE /DNAME [/NET:NAME]\n", stderr);
    }
    return app.ExitStatus();
}
