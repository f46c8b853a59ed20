// ordelin-demo: runs the utility's start-up path on a real data file and drives the main dialog
// through a scripted session on the headless host, printing what a user would see.
//
//   ordelin-demo INPUT-FILE /DNAME
//
// INPUT-FILE is the input data file (a host path such as demo/data/CUST, or a platform path);
// NAME the directory name under which its folder is registered with the file system. The dialog
// session defines an output file keyed on the customer's city and number, and stops at an
// enabled Build File button.
#include <cstdio>
#include <string>
#include <vector>

#include "fsclient/dornapi.h"
#include "platform/command_line_argv.h"
#include "platform/message_box.h"
#include "talvo/talvolib.h"
#include "ui/headless/headless_host.h"
#include "ui/ordelin_dlg.h"

namespace {

using D = COrdelinDlg;

void ShowDescriptor(const FileDescriptor& d) {
    std::printf("  file type %u, record size %u, key size %u, key position %d\n",
                static_cast<unsigned>(d.fileType), static_cast<unsigned>(d.recordSize),
                static_cast<unsigned>(d.keySize), static_cast<int>(d.keyPosition));
    std::printf("  created %.14s, modified %.14s, accessed %.14s\n", d.dateTime1, d.dateTime2,
                d.dateTime3);
}

// The user's part: a new file keyed on city (bytes 61..78) and customer number (bytes 0..7).
void DefineCityKey(headless::HeadlessHost& host) {
    auto enter = [&host](int id, const char* text) {
        host.Type(id, text);
        host.MoveFocus(D::kInputFile);
    };
    enter(D::kOutputFile, "CUSTCITY");
    enter(D::kOutputKeySize, "26");
    enter(D::kFieldPosition, "61");
    enter(D::kFieldLength, "18");
    host.Click(D::kAddKeyField);
    // A field that overlaps the first one is refused.
    enter(D::kFieldPosition, "70");
    host.Click(D::kAddKeyField);
    enter(D::kFieldPosition, "0");
    enter(D::kFieldLength, "8");
    host.Click(D::kAddKeyField);
    host.ChooseComboItem(D::kOutputDirectory, 0);
}

void ShowDialog(headless::HeadlessHost& host, const COrdelinDlg& dialog) {
    std::printf("  input  %s on %s: record size %s, key size %s\n",
                host.Text(D::kInputFile).c_str(), host.Text(D::kInputDirectory).c_str(),
                host.Text(D::kInputRecordSize).c_str(), host.Text(D::kInputKeySize).c_str());
    std::printf("  output %s on %s: record size %u, key size %u\n", dialog.outputFileName.c_str(),
                dialog.outputDirectory.c_str(), dialog.outputRecordSize, dialog.outputKeySize);
    for (const std::string& item : host.Items(D::kKeyFieldList)) {
        const size_t tab = item.find('\t');
        std::printf("  key field: position %s, length %s\n", item.substr(0, tab).c_str(),
                    item.substr(tab + 1).c_str());
    }
    std::printf("  %s\n", host.Text(D::kKeyFieldSummary).c_str());
    std::printf("  Build File %s\n", host.Enabled(D::kBuildFile) ? "enabled" : "disabled");
    for (const headless::ShownMessageBox& box : host.MessageBoxes()) {
        std::printf("  message box: \"%s\"\n", box.text.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    talvo::RegisterTalvoLib();
    const std::string commandLine = platform::AssembleCommandLine(argc, argv);
    std::printf("Command line: %s\n", commandLine.c_str());

    std::string directoryName, fileName, folderPath;
    if (!CDornApi::SplitCommandLine(commandLine.c_str(), &directoryName, &fileName, &folderPath)) {
        std::fprintf(stderr, "usage: ordelin-demo INPUT-FILE /DNAME\n");
        return 2;
    }
    std::printf("Input file %s in %s, directory name %s\n", fileName.c_str(), folderPath.c_str(),
                directoryName.c_str());

    CDornApi client("Ordelin Utility", 100, 51, 0, false);
    if (!client.ConnectFromCommandLine(commandLine.c_str())) return 1;
    int minor = 0;
    const int major = client.GetComponentVersion(&minor);
    std::printf("Connected to TalvoLib %d.%d\n", major, minor);

    int status = 0;
    if (client.FindOrAddDirectoryEntry(directoryName.c_str(), folderPath.c_str()) < 0) {
        platform::AppMessageBox(
            "The following Talvo error occurred:\n\n" + client.GetErrorText() + "\n",
            platform::MB_OK | platform::MB_ICONSTOP);
        status = 1;
    } else {
        FileDescriptor descriptor{};
        if (client.GetFileDescriptor(fileName.c_str(), directoryName.c_str(), descriptor)) {
            std::printf("Descriptor of %s:\n", fileName.c_str());
            ShowDescriptor(descriptor);
        }

        COrdelinDlg dialog;
        headless::HeadlessHost host;
        dialog.SetInputFile(client, fileName, directoryName);
        if (host.Open(dialog)) {
            std::printf("Dialog opened:\n");
            ShowDialog(host, dialog);
            DefineCityKey(host);
            std::printf("After defining the key:\n");
            ShowDialog(host, dialog);
        } else {
            for (const headless::ShownMessageBox& box : host.MessageBoxes()) {
                std::printf("Dialog refused the input: \"%s\"\n", box.text.c_str());
            }
            status = 1;
        }
        host.Close();

        std::string listFile = "$(QVTEMP)\\OL004711.htm";
        if (CDornApi::ExpandDirectoryMacro(listFile, false)) {
            std::printf("A list file would be written as %s\n", listFile.c_str());
            std::printf("  (settings file %s)\n", CDornApi::GetSettingsFilePath());
        }
    }
    client.Disconnect();
    return status;
}
