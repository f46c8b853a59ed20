// The two sinks of the copy loop: the build's, which writes each record to the output channel,
// and the dry run's, which only judges whether the output would take it, writing nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "builder/key_fields.h"
#include "builder/record_copy.h"

namespace builder {

// Writes each record through WriteOutputRecord; a refused write is counted as not written, with
// the output key and the component's error text as its reason. A write refused because the disk
// is full ends the copy (CopyEnd::kNoSpace), and so does one refused for want of memory
// (CopyEnd::kNoMemory): no later record could be kept.
class OutputWriter : public RecordSink {
  public:
    OutputWriter(CDornApi& dornApi, const BuildRequest& asked, BuildBuffers& from,
                 BuildSummary& counts)
        : client(dornApi), request(asked), buffers(from), summary(counts), assembler(asked) {}
    bool Take(uint64_t number) override;

    // Assembles builtKey from recordBuffer (the key fields end to end, in list order), writes
    // the first outputRecordSize bytes of recordBuffer on the output channel under the first
    // outputKeySize bytes of builtKey, and counts the record in summary.recordsWritten when that
    // succeeded. Requires the key fields checked (CheckKeyFields). Returns whether the record
    // was written.
    bool WriteOutputRecord();

  private:
    CDornApi& client;
    const BuildRequest& request;
    BuildBuffers& buffers;
    BuildSummary& summary;
    const KeyAssembler assembler;
};

// Assembles each record's key as the build does and counts what the new output would refuse:
// in an extended keyed output a record whose bytes at the key position differ from its key, a
// record that would read as deleted (0xFE at the output type's mark), and a key taken by an
// earlier record. Nothing is written. Keeps every accepted key until Finish (outputKeySize + 8
// bytes a record), where the duplicates are found by sorting.
class DryRunCounter : public RecordSink {
  public:
    DryRunCounter(const BuildRequest& asked, BuildBuffers& from, BuildSummary& counts);
    bool Take(uint64_t number) override;
    void Finish() override;

  private:
    const BuildRequest& request;
    BuildBuffers& buffers;
    BuildSummary& summary;
    const KeyAssembler assembler;
    size_t keySize;
    int markOffset;
    std::vector<uint8_t> keys;      // the accepted records' keys, end to end
    std::vector<uint32_t> numbers;  // and their numbers, in reading order
};

}  // namespace builder
