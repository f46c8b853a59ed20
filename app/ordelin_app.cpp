#include "app/ordelin_app.h"

#include <new>
#include <utility>

#include "app/about_dlg.h"
#include "platform/message_box.h"

COrdelinApp::COrdelinApp(std::string text) : commandLine(std::move(text)) {}

COrdelinApp::~COrdelinApp() = default;

std::unique_ptr<CDornApi> COrdelinApp::CreateClient() {
    try {
        return std::make_unique<CDornApi>(kApplicationTitle, kDirectoryTableSize, kInitParam3,
                                          kInitParam1, false);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool COrdelinApp::InitInstance() {
    // Hosting controls in dialogs needs no set-up on this platform.
    std::unique_ptr<CDornApi> client = CreateClient();
    if (!client) {
        outcome = Outcome::NoClient;
        return false;
    }

    std::string folderPath;
    std::string fileName;
    std::string directoryName;
    if (!CDornApi::SplitCommandLine(commandLine.c_str(), &directoryName, &fileName, &folderPath)) {
        outcome = Outcome::BadCommandLine;
    } else if (!client->ConnectFromCommandLine(commandLine.c_str())) {
        // The connection has told the user why; there is nothing to disconnect.
        outcome = Outcome::NotConnected;
    } else {
        Run(*client, directoryName, fileName, folderPath);
        client->Disconnect();
    }
    client.reset();
    return false;
}

void COrdelinApp::Run(CDornApi& client, const std::string& directoryName,
                      const std::string& fileName, const std::string& folderPath) {
    if (client.FindOrAddDirectoryEntry(directoryName.c_str(), folderPath.c_str()) < 0) {
        platform::AppMessageBox(
            "The following Talvo error occurred:\n\n" + client.GetErrorText() + "\n",
            platform::MB_OK | platform::MB_ICONSTOP);
        outcome = Outcome::NotRegistered;
        return;
    }

    // The dialog holds its record and key buffers as members: too large for the stack.
    auto dialog = std::make_unique<COrdelinDlg>();
    dialog->SetInputFile(client, fileName, directoryName);
    dialog->SetAboutHandler([] {
        CAboutDlg about;
        about.DoModal();
    });
    struct MainWindowWhileRunning {
        COrdelinDlg*& slot;
        ~MainWindowWhileRunning() { slot = nullptr; }
    } running{mainWnd};
    mainWnd = dialog.get();
    if (dialogObserver) dialogObserver(*dialog);
    // The dialog's result does not matter; -1 means that no view could show it at all.
    const int result = dialog->DoModal();
    outcome = result == -1 ? Outcome::NoWindow : Outcome::Ran;
}

int COrdelinApp::ExitStatus() const {
    return ExitStatusOf(outcome);
}

int COrdelinApp::ExitStatusOf(Outcome value) {
    switch (value) {
        case Outcome::Ran:
            return kExitOk;
        case Outcome::BadCommandLine:
            return kExitUsage;
        default:
            return kExitFailed;
    }
}
