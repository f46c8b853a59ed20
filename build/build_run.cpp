#include "build/build_run.h"

#include <algorithm>
#include <cstring>

#include "build/build_constants.h"
#include "build/build_messages.h"
#include "build/key_fields.h"
#include "build/record_copy.h"
#include "build/record_sinks.h"
#include "platform/message_box.h"

void COrdelinDlg::OnBuildFile() {
    if (client == nullptr) return;  // a dialog without its client never got past initialisation
    build::BuildRun(*this).Run();
}

namespace build {
namespace {

// Copies an edit's text and its terminating zero to the start of a key bound; a text longer
// than the bound holds is cut to fit. The bytes after the zero stay as they are.
template <size_t N>
void CopyBound(std::array<char, N>& bound, const std::string& text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(bound.data(), text.data(), n);
    bound[n] = '\0';
}

}  // namespace

BuildRun::BuildRun(COrdelinDlg& owner)
    : dialog(owner), client(*owner.client), summary(owner.lastBuild), progress(owner) {}

void BuildRun::EndEarly(const std::string& text, unsigned flags) {
    summary.failure = text;
    ShowMessage(dialog, text, flags);
}

bool BuildRun::TakeDefinitions() {
    if (std::optional<std::string> refusal = ReadKeyFields(dialog)) {
        EndEarly(*refusal, platform::MB_ICONSTOP);
        return false;
    }
    TakeKeyBounds();
    if (std::optional<std::string> refusal = CheckBuildLimits(dialog)) {
        EndEarly(*refusal, platform::MB_ICONSTOP);
        return false;
    }
    return true;
}

void BuildRun::TakeKeyBounds() {
    const std::string from = dialog.fromKeyEdit.GetWindowText();
    if (from.empty() || from == dialog.fromKeyPlaceholder) {
        dialog.fromKey[0] = '\0';
    } else {
        CopyBound(dialog.fromKey, from);
    }
    const std::string to = dialog.toKeyEdit.GetWindowText();
    if (to.empty() || to == dialog.toKeyPlaceholder) {
        std::fill(dialog.toKey.begin(), dialog.toKey.begin() + kPositionKeyLength, '\xFF');
        dialog.toKey[kPositionKeyLength] = '\0';
    } else {
        CopyBound(dialog.toKey, to);
    }
}

bool BuildRun::OpenInput() {
    client.CloseChannel(kInputChannel);
    if (!client.OpenFile(kInputChannel, dialog.inputFileName.c_str(),
                         dialog.inputDirectory.c_str())) {
        EndEarly(OpenFailedText(dialog.inputFileName, dialog.inputDirectory, client.GetErrorText()),
                 platform::MB_ICONSTOP);
        return false;
    }
    return true;
}

bool BuildRun::PrepareOutput() {
    const char* file = dialog.outputFileName.c_str();
    const char* directory = dialog.outputDirectory.c_str();
    client.CloseChannel(kOutputChannel);
    if (client.OpenFile(kOutputChannel, file, directory)) {
        client.CloseChannel(kOutputChannel);
        const int answer = ShowMessage(dialog, OverwriteText(dialog.outputFileName),
                                       platform::MB_YESNO | platform::MB_ICONQUESTION);
        if (answer != platform::IDYES) {
            summary.failure = "\"" + dialog.outputFileName + "\" exists and was kept";
            return false;
        }
        if (!client.EraseFile(file, directory)) {
            EndEarly(EraseFailedText(dialog.outputFileName, client.GetErrorText()),
                     platform::MB_ICONSTOP);
            return false;
        }
    }

    const auto recordSize = static_cast<int32_t>(dialog.outputRecordSize);
    const auto keySize = static_cast<int32_t>(dialog.outputKeySize);
    const bool created =
        dialog.extendedOutput
            ? client.CreateExtendedKeyedFile(file, directory, recordSize, keySize,
                                             static_cast<int32_t>(dialog.outputKeyPosition))
            : client.CreateKeyedFile(file, directory, recordSize, keySize);
    if (!created) {
        EndEarly(
            CreateFailedText(dialog.outputFileName, dialog.outputDirectory, client.GetErrorText()),
            platform::MB_ICONSTOP);
        return false;
    }
    if (dialog.extendedOutput) CopySubordinateKeys();

    if (!client.OpenFile(kOutputChannel, file, directory)) {
        EndEarly(
            OpenFailedText(dialog.outputFileName, dialog.outputDirectory, client.GetErrorText()),
            platform::MB_ICONSTOP);
        return false;
    }
    return true;
}

void BuildRun::CopySubordinateKeys() {
    int32_t first = 0;
    int32_t second = 0;
    char name[kSubordinateKeyNameSize];
    for (int index = kFirstSubordinateKey; index <= kLastSubordinateKey; ++index) {
        if (!client.GetSubordinateKey(kInputChannel, index, first, second, name,
                                      kSubordinateKeyNameSize)) {
            return;
        }
        // The copy goes on with the next index whatever the add gives; a definition the output
        // did not take is said at the end, so that the build is not taken for complete.
        if (!client.AddSubordinateKey(dialog.outputFileName.c_str(),
                                      dialog.outputDirectory.c_str(), first, second, name) &&
            subordinateKeyFailure.empty()) {
            subordinateKeyFailure =
                SubordinateKeyFailedText(dialog.outputFileName, index, client.GetErrorText());
        }
    }
}

void BuildRun::Run() {
    summary = BuildSummary{};
    if (!TakeDefinitions() || !OpenInput() || !PrepareOutput()) return;

    dialog.recordsWritten = 0;
    std::memset(dialog.recordBuffer.data(), ' ', dialog.outputRecordSize);
    platform::DialogView* view = dialog.View();
    if (view != nullptr) view->BeginWaitCursor();
    progress.Start();
    if (!dialog.listFileOpen) dialog.StartListFile();

    summary.copied = true;
    summary.keyOrder = dialog.useKeyTreeButton.GetCheck();
    OutputWriter writer(dialog, summary);
    RecordCopy(dialog, summary, &progress).Run(summary.keyOrder, writer);

    progress.Finish();
    if (view != nullptr) view->EndWaitCursor();
    // The output keeps what it was given only once it is closed: closed before the closing
    // message, so that the message counts what the file holds.
    const bool outputClosed = CloseOutput();
    ShowMessage(
        dialog,
        RecordsWrittenText(dialog.recordsWritten, summary.recordsNotWritten, dialog.listFileOpen),
        platform::MB_OK);
    if (!outputClosed) ShowMessage(dialog, summary.failure, platform::MB_ICONSTOP);
    if (!subordinateKeyFailure.empty()) {
        if (summary.failure.empty()) summary.failure = subordinateKeyFailure;
        ShowMessage(dialog, subordinateKeyFailure, platform::MB_ICONSTOP);
    }
    progress.Hide();
    client.CloseChannel(kInputChannel);
    if (dialog.listFileOpen) dialog.FinishListFile();
}

bool BuildRun::CloseOutput() {
    if (client.CloseChannel(kOutputChannel)) return true;
    // The changes since the output's last commit are gone (a full disk, say): what it holds is
    // what was written, the rest was not.
    summary.failure = OutputIncompleteText(dialog.outputFileName, client.GetErrorText());
    FileDescriptor held{};
    uint32_t kept = 0;
    if (client.GetFileDescriptor(dialog.outputFileName.c_str(), dialog.outputDirectory.c_str(),
                                 held) &&
        held.infoLong3 > 0) {
        kept = static_cast<uint32_t>(held.infoLong3);
    }
    if (kept < dialog.recordsWritten) {
        const uint32_t lost = dialog.recordsWritten - kept;
        summary.recordsNotWritten += lost;
        summary.recordsWritten -= std::min<uint64_t>(summary.recordsWritten, lost);
        dialog.recordsWritten = kept;
    }
    return false;
}

BuildSummary BuildRun::DryRun() {
    summary = BuildSummary{};
    summary.dryRun = true;
    if (!TakeDefinitions()) return summary;
    // What creating the output would refuse, before anything is read.
    if (dialog.extendedOutput && dialog.outputRecordSize != 0 &&
        uint64_t{dialog.outputKeyPosition} + dialog.outputKeySize >
            uint64_t{dialog.outputRecordSize}) {
        EndEarly("Key position extends key data beyond end of record.", platform::MB_ICONSTOP);
        return summary;
    }
    if (!OpenInput()) return summary;

    std::memset(dialog.recordBuffer.data(), ' ', dialog.outputRecordSize);
    summary.copied = true;
    summary.keyOrder = dialog.useKeyTreeButton.GetCheck();
    DryRunCounter counter(dialog, summary);
    RecordCopy(dialog, summary, nullptr).Run(summary.keyOrder, counter);
    client.CloseChannel(kInputChannel);
    return summary;
}

}  // namespace build
