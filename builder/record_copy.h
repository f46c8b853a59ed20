// The copy loop of a build: reads the input on the input channel, in key order within the key
// range or in record-number order without deleted records, and hands every record to a sink that
// writes it (the build) or only judges whether it would be written (a dry run). One read per
// record; nothing is allocated per record.
#pragma once

#include <cstdint>

#include "builder/build_progress.h"
#include "builder/build_request.h"
#include "builder/build_summary.h"
#include "builder/key_fields.h"
#include "fsclient/dornapi.h"

namespace builder {

// Takes the records of the copy.
class RecordSink {
  public:
    virtual ~RecordSink() = default;
    // The record now in the build's recordBuffer is to go to the output. `number` is its record
    // number (record order) or its place among the keys read (key order). The sink counts it as
    // written or not written in the summary. Returns false when the copy cannot go on (the sink
    // has set the summary's end and endError).
    virtual bool Take(uint64_t number) = 0;
    // The copy has ended: the sink completes its counts.
    virtual void Finish() {}
};

// The key range of a copy in key order: fromKey positions the input (with the whole input key
// size); toKey bounds it only when a To Key was given.
struct KeyRange {
    bool upperBound = false;
};

class RecordCopy {
  public:
    // `progress` may be null (no bar). The summary receives the records read, the deleted ones
    // left out, the records that could not be read, and how the copy ended.
    RecordCopy(CDornApi& dornApi, const BuildRequest& asked, BuildBuffers& into,
               BuildSummary& counts, BuildProgress* bar, KeyRange range)
        : client(dornApi),
          request(asked),
          buffers(into),
          summary(counts),
          progress(bar),
          keyRange(range) {}

    // Requires the input open on the input channel, the key fields and bounds taken and checked.
    // Key order: from the first key not below fromKey (its first inputKeySize bytes) up to the
    // last key, or with an upper bound up to the last key not above toKey (the first
    // inputKeySize bytes compared as unsigned bytes); a key whose record cannot be read is
    // counted as not written and nothing is written for it. Record order: from record 0 up to
    // the last; in files of types 4 and 36 a record carrying the deleted mark is counted and
    // left out. The end of the keys (or records) is told apart from a read that fails: a failed
    // read ends the copy with CopyEnd::kInputUnreadable and the component's text. Before each
    // record the copy looks whether a stop was asked for (platform/stop_request.h) and ends
    // with CopyEnd::kInterrupted if so. Calls sink.Finish() at the end.
    void Run(bool keyOrder, RecordSink& sink);

  private:
    void CopyInKeyOrder(RecordSink& sink);
    void CopyInRecordOrder(RecordSink& sink);
    // True (and the summary says so) when a stop was asked for.
    bool Interrupted();
    // A read failed: keeps its text when `endOfInput` does not hold for the component's code.
    void ReadEnded(bool endOfInput);
    void Stepped() {
        ++summary.recordsRead;
        if (progress != nullptr) progress->Step();
    }

    CDornApi& client;
    const BuildRequest& request;
    BuildBuffers& buffers;
    BuildSummary& summary;
    BuildProgress* progress;
    KeyRange keyRange;
};

}  // namespace builder
