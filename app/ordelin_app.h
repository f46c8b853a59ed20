// COrdelinApp: the application object. All of the utility's work happens in InitInstance():
// create the file-system client, split the command line, connect, register the input file's
// folder under the directory name of the command line, run the main dialog modally, disconnect
// and destroy the client. InitInstance() always returns false, so the program ends when the run is
// over.
//
// No toolkit appears here: the dialogs run on the view that the installed view factory makes
// (platform::SetDialogViewFactory) and boxes outside a dialog go to the installed message box
// sink, so the same start-up runs behind the Qt window and behind a scripted host. The caller
// gives the command-line text (the text after the program name) and turns the outcome into an
// exit status.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "fsclient/dornapi.h"
#include "ui/ordelin_dlg.h"

class COrdelinApp {
  public:
    // How a run ended, in the order of the steps that can end it.
    enum class Outcome {
        NotRun,          // InitInstance() has not run yet
        NoClient,        // the client could not be created; nothing was shown
        BadCommandLine,  // the command line does not split; nothing was shown
        NotConnected,    // the connection failed; the connection showed why
        NotRegistered,   // the directory name could not be registered; a box said why
        NoWindow,        // no dialog view could be had: the dialog was never shown
        Ran,             // the main dialog ran and was closed
    };

    // Exit statuses of the program.
    static constexpr int kExitOk = 0;
    static constexpr int kExitFailed = 1;
    static constexpr int kExitUsage = 2;

    // The values the client is created with.
    static constexpr const char* kApplicationTitle = "Ordelin Utility";
    static constexpr int32_t kDirectoryTableSize = 100;
    static constexpr int32_t kInitParam3 = 51;
    static constexpr int32_t kInitParam1 = 0;

    // `commandLine`: the text after the program name, as the platform hands it over.
    explicit COrdelinApp(std::string commandLine);
    virtual ~COrdelinApp();
    COrdelinApp(const COrdelinApp&) = delete;
    COrdelinApp& operator=(const COrdelinApp&) = delete;

    // Runs the utility from its command line to the closed dialog (see the file comment).
    // Whatever happens, the client is disconnected once if it connected and destroyed once
    // before this returns. Always returns false. Run it once per object.
    virtual bool InitInstance();

    Outcome GetOutcome() const { return outcome; }
    // kExitOk after a run of the dialog, kExitUsage for a command line that does not split,
    // kExitFailed for every other failure.
    int ExitStatus() const;
    static int ExitStatusOf(Outcome outcome);

    // The main dialog while its modal run lasts, null before and after.
    COrdelinDlg* GetMainWnd() const { return mainWnd; }
    // Called with the main dialog after it received the client and the input file, right before
    // its modal run (for a caller that drives or watches the dialog).
    void SetDialogObserver(std::function<void(COrdelinDlg&)> observer) {
        dialogObserver = std::move(observer);
    }

    const std::string& CommandLine() const { return commandLine; }

  protected:
    // Creates the client with the values above; null when it cannot be had.
    virtual std::unique_ptr<CDornApi> CreateClient();

  private:
    // With the client connected: registers the input file's folder under the directory name
    // (a refusal is shown in a stop box), then runs the main dialog modally. Sets `outcome`;
    // the caller disconnects.
    void Run(CDornApi& client, const std::string& directoryName, const std::string& fileName,
             const std::string& folderPath);

    std::string commandLine;
    Outcome outcome = Outcome::NotRun;
    COrdelinDlg* mainWnd = nullptr;
    std::function<void(COrdelinDlg&)> dialogObserver;
};
