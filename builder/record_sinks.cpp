#include "builder/record_sinks.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "builder/build_constants.h"
#include "builder/key_fields.h"

namespace builder {

bool OutputWriter::WriteOutputRecord() {
    assembler.Assemble(buffers);
    const bool written = client.WriteKeyed(
        kOutputChannel, buffers.recordBuffer.data(), static_cast<int32_t>(request.outputRecordSize),
        buffers.builtKey.data(), static_cast<int32_t>(request.outputKeySize));
    if (written) ++summary.recordsWritten;
    return written;
}

bool OutputWriter::Take(uint64_t number) {
    if (WriteOutputRecord()) return true;
    const int32_t code = client.GetErrorNumber();
    const std::string& error = client.GetErrorText();
    summary.AddNotWritten(number, buffers.builtKey.data(), request.outputKeySize, error);
    if (code != talvo::kErrorNoSpace && code != talvo::kErrorOutOfMemory) return true;
    summary.end = code == talvo::kErrorNoSpace ? CopyEnd::kNoSpace : CopyEnd::kNoMemory;
    summary.endError = error;
    return false;
}

DryRunCounter::DryRunCounter(const BuildRequest& asked, BuildBuffers& from, BuildSummary& counts)
    : request(asked),
      buffers(from),
      summary(counts),
      assembler(asked),
      keySize(asked.outputKeySize),
      markOffset(talvo::DeletedMarkOffset(asked.extendedOutput ? talvo::FileType::kExtendedKeyed
                                                               : talvo::FileType::kKeyed)) {}

bool DryRunCounter::Take(uint64_t number) {
    assembler.Assemble(buffers);
    const uint8_t* key = buffers.builtKey.data();
    const uint8_t* record = buffers.recordBuffer.data();
    const uint32_t recordSize = request.outputRecordSize;
    if (request.extendedOutput && recordSize != 0 &&
        std::memcmp(record + request.outputKeyPosition, key, keySize) != 0) {
        summary.AddNotWritten(number, key, keySize,
                              "the record's bytes at the key position differ from its key");
        return true;
    }
    if (recordSize > static_cast<uint32_t>(markOffset) &&
        record[markOffset] == talvo::kDeletedMark) {
        summary.AddNotWritten(number, key, keySize,
                              "the record holds 0xFE at byte " + std::to_string(markOffset) +
                                  " and would read as deleted");
        return true;
    }
    keys.insert(keys.end(), key, key + keySize);
    numbers.push_back(static_cast<uint32_t>(number));
    return true;
}

void DryRunCounter::Finish() {
    const size_t count = numbers.size();
    // Sorted by key, and by reading order among equal keys: the first of each run is written.
    std::vector<uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    const uint8_t* base = keys.data();
    const size_t size = keySize;
    std::stable_sort(order.begin(), order.end(), [base, size](uint32_t a, uint32_t b) {
        return std::memcmp(base + a * size, base + b * size, size) < 0;
    });
    std::vector<bool> duplicate(count, false);
    uint64_t duplicates = 0;
    for (size_t i = 1; i < count; ++i) {
        if (std::memcmp(base + order[i - 1] * size, base + order[i] * size, size) == 0) {
            duplicate[order[i]] = true;
            ++duplicates;
        }
    }
    summary.recordsWritten += count - duplicates;
    summary.recordsNotWritten += duplicates;

    // The first duplicates in reading order join the records already listed, in reading order.
    std::vector<NotWrittenRecord> listed = std::move(summary.notWritten);
    size_t added = 0;
    for (size_t i = 0; i < count && added < BuildSummary::kMaxDetails; ++i) {
        if (!duplicate[i]) continue;
        ++added;
        const uint8_t* key = base + i * size;
        listed.push_back({numbers[i], std::vector<uint8_t>(key, key + size),
                          "duplicate key: an earlier record has the same key"});
    }
    std::stable_sort(
        listed.begin(), listed.end(),
        [](const NotWrittenRecord& a, const NotWrittenRecord& b) { return a.number < b.number; });
    if (listed.size() > BuildSummary::kMaxDetails) listed.resize(BuildSummary::kMaxDetails);
    summary.notWritten = std::move(listed);
    keys.clear();
    numbers.clear();
}

}  // namespace builder
