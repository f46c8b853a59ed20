// The two sinks of the copy loop: the build's, which writes each record to the output channel,
// and the dry run's, which only judges whether the output would take it, writing nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "builder/record_copy.h"

namespace builder {

// Writes each record through COrdelinDlg::WriteOutputRecord; a refused write is counted as not
// written, with the output key and the component's error text as its reason. A write refused
// because the disk is full ends the copy (CopyEnd::kNoSpace), and so does one refused for want
// of memory (CopyEnd::kNoMemory): no later record could be kept.
class OutputWriter : public RecordSink {
  public:
    OutputWriter(COrdelinDlg& owner, BuildSummary& counts) : dialog(owner), summary(counts) {}
    bool Take(uint64_t number) override;

  private:
    COrdelinDlg& dialog;
    BuildSummary& summary;
};

// Assembles each record's key as the build does and counts what the new output would refuse:
// in an extended keyed output a record whose bytes at the key position differ from its key, a
// record that would read as deleted (0xFE at the output type's mark), and a key taken by an
// earlier record. Nothing is written. Keeps every accepted key until Finish (outputKeySize + 8
// bytes a record), where the duplicates are found by sorting.
class DryRunCounter : public RecordSink {
  public:
    DryRunCounter(COrdelinDlg& owner, BuildSummary& counts);
    bool Take(uint64_t number) override;
    void Finish() override;

  private:
    COrdelinDlg& dialog;
    BuildSummary& summary;
    size_t keySize;
    int markOffset;
    std::vector<uint8_t> keys;      // the accepted records' keys, end to end
    std::vector<uint32_t> numbers;  // and their numbers, in reading order
};

}  // namespace builder
