#include "batch/batch_run.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/input_path.h"
#include "app/ordelin_app.h"
#include "batch/batch_host.h"
#include "batch/batch_messages.h"
#include "batch/batch_report.h"
#include "batch/dialog_script.h"
#include "batch/key_names.h"
#include "batch/progress_line.h"
#include "platform/command_line_argv.h"
#include "platform/dialog.h"
#include "platform/shell.h"

namespace batch {
namespace {

// Instead of a window on the list file: a line that names it.
class ListFileLine : public platform::ShellOpenSink {
  public:
    explicit ListFileLine(std::ostream& stream) : out(stream) {}
    bool Open(const std::string& path, int /*showCommand*/) override {
        out << "list file: " << path << std::endl;
        return true;
    }

  private:
    std::ostream& out;
};

// The three sinks of the run, put back as they were when it ends.
class ScopedSinks {
  public:
    ScopedSinks(std::shared_ptr<platform::MessageBoxSink> boxes,
                std::shared_ptr<platform::ShellOpenSink> shell, platform::DialogViewFactory views)
        : formerBoxes(platform::SetMessageBoxSink(std::move(boxes))),
          formerShell(platform::SetShellOpenSink(std::move(shell))),
          formerViews(platform::SetDialogViewFactory(std::move(views))) {}
    ~ScopedSinks() {
        platform::SetDialogViewFactory(std::move(formerViews));
        platform::SetShellOpenSink(std::move(formerShell));
        platform::SetMessageBoxSink(std::move(formerBoxes));
    }
    ScopedSinks(const ScopedSinks&) = delete;
    ScopedSinks& operator=(const ScopedSinks&) = delete;

  private:
    std::shared_ptr<platform::MessageBoxSink> formerBoxes;
    std::shared_ptr<platform::ShellOpenSink> formerShell;
    platform::DialogViewFactory formerViews;
};

// The command-line text the start-up reads, made from the words as the window's main() makes it
// from its argument vector.
std::string CommandLineText(const std::vector<std::string>& words) {
    std::vector<std::string> args{kProgramName};
    args.insert(args.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return platform::AssembleCommandLine(static_cast<int>(args.size()), argv.data());
}

}  // namespace

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err,
             bool errIsTerminal) {
    // A path the command line cannot carry would bring the start-up to another file, or none.
    if (!options.words.empty()) {
        if (const std::optional<std::string> problem = CommandLineFileProblem(options.words[0])) {
            err << kProgramName << ": " << *problem << "\n" << kUsageLine << "\n";
            return kExitUsage;
        }
    }
    // Key fields given by name become positions and lengths before anything else is done.
    BatchOptions resolved = options;
    std::vector<std::string> warnings;
    std::string layoutError;
    const std::optional<LayoutRecord> layoutRecord =
        ResolveKeyNames(resolved, &warnings, &layoutError);
    if (resolved.layout && !layoutRecord) {
        err << kProgramName << ": " << layoutError << "\n" << kUsageLine << "\n";
        return kExitUsage;
    }

    BoxLog log(err);
    for (const std::string& warning : warnings) log.Say(warning);
    std::optional<ProgressLine> progress;
    if (options.progress && errIsTerminal) {
        progress.emplace(err);
        log.SetBeforeLine([&progress] { progress->End(); });
    }
    DialogScript script(resolved, layoutRecord, log);

    const auto makeView = [&](platform::CDialog& dialog) -> std::unique_ptr<platform::DialogView> {
        auto host =
            std::make_unique<BatchHost>(log, progress ? &*progress : nullptr, options.overwrite);
        if (auto* main = dynamic_cast<COrdelinDlg*>(&dialog)) {
            host->Watch(*main);
            host->AddStep(
                [&script, main](headless::HeadlessHost& view) { script.Run(view, *main); });
        }
        return host;
    };
    const std::string commandLine = CommandLineText(resolved.words);
    COrdelinApp::Outcome outcome;
    {
        ScopedSinks sinks(std::make_shared<BoxLogSink>(log), std::make_shared<ListFileLine>(out),
                          makeView);
        COrdelinApp app(commandLine);
        app.InitInstance();
        outcome = app.GetOutcome();
    }
    if (progress) progress->End();
    if (outcome == COrdelinApp::Outcome::NoClient) {
        log.Say("the file-system client could not be created");
    } else if (outcome == COrdelinApp::Outcome::NoWindow) {
        log.Say("the dialog could not be shown");
    }

    if (outcome == COrdelinApp::Outcome::BadCommandLine) {
        err << kProgramName << ": \"" << commandLine
            << "\" does not name an input file (with its folder) and a /D directory name\n"
            << kUsageLine << "\n";
        return kExitUsage;
    }

    if (script.CommandLineRefused()) {
        err << kUsageLine << "\n";
        return kExitUsage;
    }

    BatchReport report;
    report.dryRun = options.dryRun;
    report.keys = resolved.keys;
    script.Fill(report);
    report.messages = log.Boxes();
    const bool ran = outcome == COrdelinApp::Outcome::Ran && script.Reached();
    const int status = ran ? ExitStatusOf(report) : kExitRefused;
    if (report.summary.copied) out << SummaryText(report);
    if (options.json) out << JsonLine(report) << "\n";
    out.flush();
    return status;
}

}  // namespace batch
