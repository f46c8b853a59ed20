#include "builder/build_run.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

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

namespace builder {
namespace {

// Copies a bound's text and its terminating zero to the start of a key bound; a text longer
// than the bound holds is cut to fit. The bytes after the zero are zeros too: the key the input
// is positioned on (or compared with) holds the bound and nothing else.
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

BuildRun::BuildRun(CDornApi& dornApi, BuildRequest asked, BuildListener& shown, ListFile& list,
                   BuildSummary& counts)
    : client(dornApi),
      request(std::move(asked)),
      listener(shown),
      listFile(list),
      summary(counts),
      buffers(std::make_unique<BuildBuffers>()),
      progress(dornApi, request.inputRecordSize, shown) {}

BuildRun::~BuildRun() = default;

void BuildRun::EndEarly(const std::string& text, unsigned flags) {
    summary.failure = text;
    listener.ShowMessage(text, flags);
}

bool BuildRun::TakeDefinitions() {
    if (std::optional<std::string> refusal = CheckKeyFields(request)) {
        EndEarly(*refusal, platform::MB_ICONSTOP);
        return false;
    }
    TakeKeyBounds();
    if (std::optional<std::string> refusal = CheckBuildLimits(request)) {
        EndEarly(*refusal, platform::MB_ICONSTOP);
        return false;
    }
    // The output goes into the chosen directory: a name with a folder in it would leave it.
    if (!IsPlainFileName(request.outputFileName)) {
        EndEarly(OutputNameText(request.outputFileName), platform::MB_ICONSTOP);
        return false;
    }
    // The key position edit refuses to be left empty with a longer key, but it may never have
    // been visited: a key over 64 bytes is stored only inside the record.
    if (request.outputKeySize > kMaxKeySizeWithoutPosition && !request.extendedOutput) {
        EndEarly(kKeyPositionRequiredText, platform::MB_ICONSTOP);
        return false;
    }
    return true;
}

void BuildRun::TakeKeyBounds() {
    if (request.fromKey) {
        CopyBound(buffers->fromKey, *request.fromKey);
    } else {
        buffers->fromKey.fill('\0');
    }
    // Without a To Key no key is left out at the top, whatever its size: the bound keeps its
    // usual bytes (254 times 0xFF, then a zero) but is not compared with.
    upperBound = request.toKey.has_value();
    if (!upperBound) {
        std::fill(buffers->toKey.begin(), buffers->toKey.begin() + kOpenBoundLength, '\xFF');
        std::fill(buffers->toKey.begin() + kOpenBoundLength, buffers->toKey.end(), '\0');
    } else {
        CopyBound(buffers->toKey, *request.toKey);
    }
}

bool BuildRun::OpenInput() {
    client.CloseChannel(kInputChannel);
    if (!client.OpenFile(kInputChannel, request.inputFileName.c_str(),
                         request.inputDirectory.c_str())) {
        EndEarly(
            OpenFailedText(request.inputFileName, request.inputDirectory, client.GetErrorText()),
            platform::MB_ICONSTOP);
        return false;
    }
    return true;
}

bool BuildRun::ReserveOutput() {
    const std::optional<std::string> host =
        HostPathIn(client, request.outputDirectory, request.outputFileName);
    // Without a place the component refuses the output itself, and says why.
    if (!host) return true;
    switch (outputName.Acquire(FolderOf(*host), OutputLockName(request.outputFileName))) {
        case platform::NameLock::Outcome::kHeld:
            return true;
        case platform::NameLock::Outcome::kFolderUnwritable:
            // Nothing can be made there, by this build or another: the steps that follow say so
            // in their own words.
            return true;
        case platform::NameLock::Outcome::kBusy:
            EndEarly(OutputBusyText(request.outputFileName, request.outputDirectory),
                     platform::MB_ICONSTOP);
            return false;
        case platform::NameLock::Outcome::kFailed:
            break;
    }
    EndEarly(
        OutputLockFailedText(request.outputFileName, request.outputDirectory, outputName.Error()),
        platform::MB_ICONSTOP);
    return false;
}

bool BuildRun::PrepareOutput() {
    const char* file = request.outputFileName.c_str();
    const char* directory = request.outputDirectory.c_str();
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
        const int answer = listener.ShowMessage(OverwriteText(request.outputFileName),
                                                platform::MB_YESNO | platform::MB_ICONQUESTION);
        if (answer != platform::IDYES) {
            summary.failure = "\"" + request.outputFileName + "\" exists and was kept";
            return false;
        }
        if (!client.EraseFile(file, directory)) {
            EndEarly(EraseFailedText(request.outputFileName, client.GetErrorText()),
                     platform::MB_ICONSTOP);
            return false;
        }
    }

    const auto recordSize = static_cast<int32_t>(request.outputRecordSize);
    const auto keySize = static_cast<int32_t>(request.outputKeySize);
    const bool created =
        request.extendedOutput
            ? client.CreateExtendedKeyedFile(file, directory, recordSize, keySize,
                                             static_cast<int32_t>(request.outputKeyPosition))
            : client.CreateKeyedFile(file, directory, recordSize, keySize);
    if (!created) {
        EndEarly(CreateFailedText(request.outputFileName, request.outputDirectory,
                                  client.GetErrorText()),
                 platform::MB_ICONSTOP);
        return false;
    }
    if (request.extendedOutput) CopySubordinateKeys();

    if (!client.OpenFile(kOutputChannel, file, directory)) {
        EndEarly(
            OpenFailedText(request.outputFileName, request.outputDirectory, client.GetErrorText()),
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
        if (!client.AddSubordinateKey(request.outputFileName.c_str(),
                                      request.outputDirectory.c_str(), first, second, name) &&
            summary.subordinateKeyFailure.empty()) {
            summary.subordinateKeyFailure =
                SubordinateKeyFailedText(request.outputFileName, index, client.GetErrorText());
        }
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

    summary.recordsWritten = 0;
    std::memset(buffers->recordBuffer.data(), ' ', request.outputRecordSize);
    listener.BeginWaitCursor();
    progress.Start();
    if (!listFile.open) listFile.StartListFile(request, listener);

    summary.copied = true;
    summary.keyOrder = request.keyOrder;
    OutputWriter writer(client, request, *buffers, summary);
    RecordCopy(client, request, *buffers, summary, &progress, KeyRange{upperBound})
        .Run(summary.keyOrder, writer);

    progress.Finish();
    listener.EndWaitCursor();
    // The output keeps what it was given only once it is closed: closed before the closing
    // message, so that the message counts what the file holds.
    const bool outputClosed = CloseOutput();
    ShowEnd(outputClosed);
    if (!summary.subordinateKeyFailure.empty()) {
        listener.ShowMessage(summary.subordinateKeyFailure, platform::MB_ICONSTOP);
    }
    progress.Hide();
    client.CloseChannel(kInputChannel);
    if (listFile.open) listFile.FinishListFile(summary, listener);
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
    summary.failure = OutputIncompleteText(request.outputFileName, error);
    FileDescriptor held{};
    uint32_t kept = 0;
    if (client.GetFileDescriptor(request.outputFileName.c_str(), request.outputDirectory.c_str(),
                                 held) &&
        held.infoLong3 > 0) {
        kept = static_cast<uint32_t>(held.infoLong3);
    }
    if (kept < summary.recordsWritten) {
        summary.recordsNotWritten += summary.recordsWritten - kept;
        summary.recordsWritten = kept;
    }
    return false;
}

void BuildRun::ShowEnd(bool outputClosed) {
    const auto held = static_cast<uint32_t>(summary.recordsWritten);
    const std::string incomplete = summary.failure;  // set when the output could not be closed
    switch (summary.end) {
        case CopyEnd::kComplete:
            listener.ShowMessage(RecordsWrittenText(held, summary.recordsNotWritten, listFile.open),
                                 platform::MB_OK);
            if (!outputClosed) listener.ShowMessage(incomplete, platform::MB_ICONSTOP);
            return;
        case CopyEnd::kNoSpace:
            // What the output lost at its close is in the count: one message says it all.
            EndEarly(NoSpaceText(request.outputFileName, summary.endError, held),
                     platform::MB_ICONSTOP);
            return;
        case CopyEnd::kNoMemory:
            EndEarly(NoMemoryText(request.outputFileName, summary.endError, held),
                     platform::MB_ICONSTOP);
            return;
        case CopyEnd::kInputUnreadable:
            EndEarly(ReadFailedText(request.inputFileName, request.inputDirectory, summary.endError,
                                    held),
                     platform::MB_ICONSTOP);
            break;
        case CopyEnd::kInterrupted:
            EndEarly(InterruptedText(request.outputFileName, summary.stopSignal, held),
                     platform::MB_ICONSTOP);
            break;
    }
    if (!outputClosed) listener.ShowMessage(incomplete, platform::MB_ICONSTOP);
}

bool BuildRun::ForeseeOutput() {
    const char* file = request.outputFileName.c_str();
    const char* directory = request.outputDirectory.c_str();
    // A build of the same output running now would refuse this one. Only looked at: a dry run
    // takes no hold, so it never stands in the way of a build that starts meanwhile.
    if (const std::optional<std::string> place =
            HostPathIn(client, request.outputDirectory, request.outputFileName);
        place && platform::NameLock::HeldNow(FolderOf(*place),
                                             OutputLockName(request.outputFileName))) {
        EndEarly(OutputBusyText(request.outputFileName, request.outputDirectory),
                 platform::MB_ICONSTOP);
        return false;
    }
    client.CloseChannel(kOutputChannel);
    if (client.OpenFile(kOutputChannel, file, directory)) {
        client.CloseChannel(kOutputChannel);
        summary.outputExists = true;
        // The build would erase it, which the input's being open refuses.
        const std::optional<std::string> output =
            HostPathIn(client, request.outputDirectory, request.outputFileName);
        const std::optional<std::string> input =
            HostPathIn(client, request.inputDirectory, request.inputFileName);
        if (output && input && SameHostFile(*output, *input)) {
            EndEarly(EraseWouldFailText(request.outputFileName, "it is the input file " +
                                                                    request.inputFileName + " on " +
                                                                    request.inputDirectory),
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
        EndEarly(CreateWouldFailText(request.outputFileName, request.outputDirectory,
                                     "it cannot be replaced: " + error),
                 platform::MB_ICONSTOP);
        return false;
    }
    const std::optional<std::string> host =
        HostPathIn(client, request.outputDirectory, request.outputFileName);
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
    EndEarly(CreateWouldFailText(request.outputFileName, request.outputDirectory, reason),
             platform::MB_ICONSTOP);
    return false;
}

BuildSummary BuildRun::DryRun() {
    summary = BuildSummary{};
    summary.dryRun = true;
    if (!TakeDefinitions()) return summary;
    // What creating the output would refuse, before anything is read.
    if (request.extendedOutput && request.outputRecordSize != 0 &&
        uint64_t{request.outputKeyPosition} + request.outputKeySize >
            uint64_t{request.outputRecordSize}) {
        EndEarly("Key position extends key data beyond end of record.", platform::MB_ICONSTOP);
        return summary;
    }
    if (!OpenInput()) return summary;
    if (!ForeseeOutput()) {
        client.CloseChannel(kInputChannel);
        return summary;
    }

    std::memset(buffers->recordBuffer.data(), ' ', request.outputRecordSize);
    summary.copied = true;
    summary.keyOrder = request.keyOrder;
    DryRunCounter counter(request, *buffers, summary);
    RecordCopy(client, request, *buffers, summary, nullptr, KeyRange{upperBound})
        .Run(summary.keyOrder, counter);
    client.CloseChannel(kInputChannel);
    if (summary.end == CopyEnd::kInputUnreadable) {
        EndEarly(DryRunReadFailedText(request.inputFileName, request.inputDirectory,
                                      summary.endError, summary.recordsRead),
                 platform::MB_ICONSTOP);
    } else if (summary.end == CopyEnd::kInterrupted) {
        EndEarly(DryRunInterruptedText(summary.stopSignal, summary.recordsRead),
                 platform::MB_ICONSTOP);
    }
    return summary;
}

}  // namespace builder
