#include "builder/build_run.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "builder/build_constants.h"
#include "builder/build_messages.h"
#include "builder/key_fields.h"
#include "builder/output_place.h"
#include "builder/record_copy.h"
#include "builder/record_sinks.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/stop_request.h"
#include "platform/system_error.h"

void COrdelinDlg::OnBuildFile() {
    if (client == nullptr) return;  // a dialog without its client never got past initialisation
    builder::BuildRun(*this).Run();
}

namespace builder {
namespace {

// Copies an edit's text and its terminating zero to the start of a key bound; a text longer
// than the bound holds is cut to fit. The bytes after the zero become zeros too, so that a
// longer bound of an earlier build leaves nothing behind in the key the input is positioned on
// (or compared with).
template <size_t N>
void CopyBound(std::array<char, N>& bound, const std::string& text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(bound.data(), text.data(), n);
    std::fill(bound.begin() + static_cast<std::ptrdiff_t>(n), bound.end(), '\0');
}

// The folder part of a host path.
std::string FolderOf(const std::string& hostPath) {
    const size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : hostPath.substr(0, slash);
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
    // The output goes into the chosen directory: a name with a folder in it would leave it.
    if (!IsPlainFileName(dialog.outputFileName)) {
        EndEarly(OutputNameText(dialog.outputFileName), platform::MB_ICONSTOP);
        return false;
    }
    // The key position edit refuses to be left empty with a longer key, but it may never have
    // been visited: a key over 64 bytes is stored only inside the record.
    if (dialog.outputKeySize > COrdelinDlg::kMaxKeySizeWithoutPosition && !dialog.extendedOutput) {
        EndEarly(COrdelinDlg::kKeyPositionRequiredText, platform::MB_ICONSTOP);
        return false;
    }
    return true;
}

void BuildRun::TakeKeyBounds() {
    const std::string from = dialog.fromKeyEdit.GetWindowText();
    if (from.empty() || from == dialog.fromKeyPlaceholder) {
        dialog.fromKey.fill('\0');
    } else {
        CopyBound(dialog.fromKey, from);
    }
    // Without a To Key no key is left out at the top, whatever its size: the bound keeps its
    // usual bytes (254 times 0xFF, then a zero) but is not compared with.
    const std::string to = dialog.toKeyEdit.GetWindowText();
    upperBound = !(to.empty() || to == dialog.toKeyPlaceholder);
    if (!upperBound) {
        std::fill(dialog.toKey.begin(), dialog.toKey.begin() + kOpenBoundLength, '\xFF');
        std::fill(dialog.toKey.begin() + kOpenBoundLength, dialog.toKey.end(), '\0');
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

bool BuildRun::ReserveOutput() {
    const std::optional<std::string> host =
        HostPathIn(client, dialog.outputDirectory, dialog.outputFileName);
    // Without a place the component refuses the output itself, and says why.
    if (!host) return true;
    switch (outputName.Acquire(FolderOf(*host), OutputLockName(dialog.outputFileName))) {
        case platform::NameLock::Outcome::kHeld:
            return true;
        case platform::NameLock::Outcome::kFolderUnwritable:
            // Nothing can be made there, by this build or another: the steps that follow say so
            // in their own words.
            return true;
        case platform::NameLock::Outcome::kBusy:
            EndEarly(OutputBusyText(dialog.outputFileName, dialog.outputDirectory),
                     platform::MB_ICONSTOP);
            return false;
        case platform::NameLock::Outcome::kFailed:
            break;
    }
    EndEarly(
        OutputLockFailedText(dialog.outputFileName, dialog.outputDirectory, outputName.Error()),
        platform::MB_ICONSTOP);
    return false;
}

bool BuildRun::PrepareOutput() {
    const char* file = dialog.outputFileName.c_str();
    const char* directory = dialog.outputDirectory.c_str();
    client.CloseChannel(kOutputChannel);
    bool exists = client.OpenFile(kOutputChannel, file, directory);
    if (exists) {
        client.CloseChannel(kOutputChannel);
    } else {
        // A damaged output (its parts need not belong together) is in place all the same: it is
        // replaced like any other once the user says so, never built around.
        exists = client.GetErrorNumber() == talvo::kErrorDamaged;
    }
    if (exists) {
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
        client.AddSubordinateKey(dialog.outputFileName.c_str(), dialog.outputDirectory.c_str(),
                                 first, second, name);
    }
}

void BuildRun::Run() {
    summary = BuildSummary{};
    if (!TakeDefinitions() || !OpenInput() || !ReserveOutput()) return;
    // A stop asked for before the build began: the output is left as it is.
    if (const int signal = platform::StopRequested()) {
        summary.end = CopyEnd::kInterrupted;
        summary.stopSignal = signal;
        EndEarly(InterruptedBeforeText(signal), platform::MB_ICONSTOP);
        return;
    }
    if (!PrepareOutput()) return;

    dialog.recordsWritten = 0;
    std::memset(dialog.recordBuffer.data(), ' ', dialog.outputRecordSize);
    platform::DialogView* view = dialog.View();
    if (view != nullptr) view->BeginWaitCursor();
    progress.Start();
    if (!dialog.listFileOpen) dialog.StartListFile();

    summary.copied = true;
    summary.keyOrder = dialog.useKeyTreeButton.GetCheck();
    OutputWriter writer(dialog, summary);
    RecordCopy(dialog, summary, &progress, KeyRange{upperBound}).Run(summary.keyOrder, writer);

    progress.Finish();
    if (view != nullptr) view->EndWaitCursor();
    // The output keeps what it was given only once it is closed: closed before the closing
    // message, so that the message counts what the file holds.
    const bool outputClosed = CloseOutput();
    ShowEnd(outputClosed);
    progress.Hide();
    client.CloseChannel(kInputChannel);
    if (dialog.listFileOpen) dialog.FinishListFile();
}

bool BuildRun::CloseOutput() {
    if (client.CloseChannel(kOutputChannel)) return true;
    // The changes since the output's last commit are gone (a full disk, say): what it holds is
    // what was written, the rest was not.
    const int32_t code = client.GetErrorNumber();
    const std::string error = client.GetErrorText();
    if (summary.end == CopyEnd::kComplete) {
        if (code == talvo::kErrorNoSpace) summary.end = CopyEnd::kNoSpace;
        if (code == talvo::kErrorOutOfMemory) summary.end = CopyEnd::kNoMemory;
        summary.endError = error;
    }
    summary.failure = OutputIncompleteText(dialog.outputFileName, error);
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

void BuildRun::ShowEnd(bool outputClosed) {
    const uint32_t held = dialog.recordsWritten;
    const std::string incomplete = summary.failure;  // set when the output could not be closed
    switch (summary.end) {
        case CopyEnd::kComplete:
            ShowMessage(dialog,
                        RecordsWrittenText(held, summary.recordsNotWritten, dialog.listFileOpen),
                        platform::MB_OK);
            if (!outputClosed) ShowMessage(dialog, incomplete, platform::MB_ICONSTOP);
            return;
        case CopyEnd::kNoSpace:
            // What the output lost at its close is in the count: one message says it all.
            EndEarly(NoSpaceText(dialog.outputFileName, summary.endError, held),
                     platform::MB_ICONSTOP);
            return;
        case CopyEnd::kNoMemory:
            EndEarly(NoMemoryText(dialog.outputFileName, summary.endError, held),
                     platform::MB_ICONSTOP);
            return;
        case CopyEnd::kInputUnreadable:
            EndEarly(
                ReadFailedText(dialog.inputFileName, dialog.inputDirectory, summary.endError, held),
                platform::MB_ICONSTOP);
            break;
        case CopyEnd::kInterrupted:
            EndEarly(InterruptedText(dialog.outputFileName, summary.stopSignal, held),
                     platform::MB_ICONSTOP);
            break;
    }
    if (!outputClosed) ShowMessage(dialog, incomplete, platform::MB_ICONSTOP);
}

bool BuildRun::ForeseeOutput() {
    const char* file = dialog.outputFileName.c_str();
    const char* directory = dialog.outputDirectory.c_str();
    client.CloseChannel(kOutputChannel);
    if (client.OpenFile(kOutputChannel, file, directory)) {
        client.CloseChannel(kOutputChannel);
        summary.outputExists = true;
        // The build would erase it, which the input's being open refuses.
        const std::optional<std::string> output =
            HostPathIn(client, dialog.outputDirectory, dialog.outputFileName);
        const std::optional<std::string> input =
            HostPathIn(client, dialog.inputDirectory, dialog.inputFileName);
        if (output && input && SameHostFile(*output, *input)) {
            EndEarly(EraseWouldFailText(dialog.outputFileName, "it is the input file " +
                                                                   dialog.inputFileName + " on " +
                                                                   dialog.inputDirectory),
                     platform::MB_ICONSTOP);
            return false;
        }
        return true;
    }
    const int32_t code = client.GetErrorNumber();
    const std::string error = client.GetErrorText();
    if (code == talvo::kErrorDamaged) {
        summary.outputExists = true;  // the build would offer to replace it
        return true;
    }
    if (code != talvo::kErrorNoSuchFile) {
        // The build would go on to create the output, which whatever is in the way refuses.
        EndEarly(CreateWouldFailText(dialog.outputFileName, dialog.outputDirectory,
                                     "it cannot be replaced: " + error),
                 platform::MB_ICONSTOP);
        return false;
    }
    const std::optional<std::string> host =
        HostPathIn(client, dialog.outputDirectory, dialog.outputFileName);
    if (!host) return true;
    const std::string folder = FolderOf(*host);
    const platform::FileStatus place = platform::GetFileStatus(folder);
    std::string reason;
    if (place.error == platform::ERROR_ACCESS_DENIED) {
        reason = "the folder " + folder + " may not be searched";
    } else if (place.error != 0) {
        reason = "the folder " + folder + " does not exist";
    } else if (!place.isDirectory) {
        reason = folder + " is not a folder";
    } else if (place.readOnly) {
        reason = "the folder " + folder + " may not be written";
    } else if (platform::GetFileStatus(*host).error == 0) {
        reason = *host + " is in the way";
    }
    if (reason.empty()) return true;
    EndEarly(CreateWouldFailText(dialog.outputFileName, dialog.outputDirectory, reason),
             platform::MB_ICONSTOP);
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
    if (!ForeseeOutput()) {
        client.CloseChannel(kInputChannel);
        return summary;
    }

    std::memset(dialog.recordBuffer.data(), ' ', dialog.outputRecordSize);
    summary.copied = true;
    summary.keyOrder = dialog.useKeyTreeButton.GetCheck();
    DryRunCounter counter(dialog, summary);
    RecordCopy(dialog, summary, nullptr, KeyRange{upperBound}).Run(summary.keyOrder, counter);
    client.CloseChannel(kInputChannel);
    if (summary.end == CopyEnd::kInputUnreadable) {
        EndEarly(DryRunReadFailedText(dialog.inputFileName, dialog.inputDirectory, summary.endError,
                                      summary.recordsRead),
                 platform::MB_ICONSTOP);
    } else if (summary.end == CopyEnd::kInterrupted) {
        EndEarly(DryRunInterruptedText(summary.stopSignal, summary.recordsRead),
                 platform::MB_ICONSTOP);
    }
    return summary;
}

}  // namespace builder
