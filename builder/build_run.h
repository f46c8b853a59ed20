// One build: the Build File button's whole run, from the key fields and key bounds of a build
// request through the input and output channels and the copy to the closing message and the list
// file. It owns the build's buffers and values (the progress of the copy, the hold on the output's
// name), works against the client, and shows every outcome through its listener.
//
// The dry run reads the input exactly as a build would and counts what would be written and
// what not, without creating, erasing or changing any file and without a list file; it ends
// early, as the build would, where it can foresee that the build would be refused.
#pragma once

#include <memory>
#include <string>

#include "builder/build_listener.h"
#include "builder/build_progress.h"
#include "builder/build_request.h"
#include "builder/build_summary.h"
#include "builder/key_fields.h"
#include "builder/list_file.h"
#include "fsclient/dornapi.h"
#include "platform/name_lock.h"

namespace builder {

class BuildRun {
  public:
    // Requires a connected client. `listener` shows what the build shows; `listFile` is the one
    // the dialog keeps (a build starts it when it is not open, and finishes it); `summary` is
    // reset by Run and DryRun and filled as the build goes, so that a view may show its counts
    // while it runs. All four must outlive the run.
    BuildRun(CDornApi& client, BuildRequest request, BuildListener& listener, ListFile& listFile,
             BuildSummary& summary);
    ~BuildRun();
    BuildRun(const BuildRun&) = delete;
    BuildRun& operator=(const BuildRun&) = delete;

    // The build. Early ends (a key field list or size the buffers cannot hold, an output name
    // that is not a plain file name, a key over 64 bytes without a key position, an input or
    // output that cannot be opened, an output another build holds, an existing output the user
    // keeps or that cannot be erased, an output that cannot be created) show their message and
    // stop before the copy; then the input channel may stay open and a new output stays in
    // place. From its look for an existing output to its end the build holds the output's name
    // (a lock file beside it), so that no other build of the same output runs meanwhile.
    // Otherwise both channels are closed at the end (the output before the closing message,
    // which counts what it keeps) and the list file, if one was started, is finished. A copy
    // that ends early (a failed read of the input, an output out of space, a stop asked for)
    // says so with a stop icon in place of the count.
    void Run();

    // The dry run: the key fields, bounds and input as for Run, then what creating the output
    // would refuse (summary.outputExists when it is in place and the build would ask), the copy
    // with DryRunCounter, the input channel closed again. Shows only the messages of an early
    // end. Returns the summary (also left in `summary`) with dryRun set.
    BuildSummary DryRun();

  private:
    // Steps before any file is touched: key fields, key bounds, limits, output name, key size.
    bool TakeDefinitions();
    // Copies the request's key bounds into fromKey and toKey.
    void TakeKeyBounds();
    bool OpenInput();
    // Holds the output's name for this build; false (said) when another build holds it.
    bool ReserveOutput();
    // Probes for an existing output (a damaged one counts: its parts may not belong together),
    // asks before erasing it, creates the new output (copying the input's subordinate keys to
    // an extended one; a definition it does not take is shown after the closing message and
    // kept in the summary) and opens it.
    bool PrepareOutput();
    void CopySubordinateKeys();
    // The dry run's look at the output: false (said) when creating it would be refused.
    bool ForeseeOutput();
    // Shows the message of an early end and keeps it in the summary.
    void EndEarly(const std::string& text, unsigned flags);
    // Closes the output channel, which commits the output. When that fails, keeps the reason as
    // the summary's failure and counts the records the output did not keep as not written.
    bool CloseOutput();
    // The closing message, or the message of a copy that ended early.
    void ShowEnd(bool outputClosed);

    CDornApi& client;
    const BuildRequest request;
    BuildListener& listener;
    ListFile& listFile;
    BuildSummary& summary;
    std::unique_ptr<BuildBuffers> buffers;
    BuildProgress progress;
    bool upperBound = false;  // a To Key was given
    platform::NameLock outputName;
};

}  // namespace builder
