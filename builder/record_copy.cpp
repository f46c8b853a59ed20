#include "builder/record_copy.h"

#include <cstring>
#include <limits>

#include "builder/build_constants.h"
#include "platform/stop_request.h"

namespace builder {

void RecordCopy::Run(bool keyOrder, RecordSink& sink) {
    summary.end = CopyEnd::kComplete;
    if (keyOrder) {
        CopyInKeyOrder(sink);
    } else {
        CopyInRecordOrder(sink);
    }
    sink.Finish();
}

bool RecordCopy::Interrupted() {
    const int signal = platform::StopRequested();
    if (signal == 0) return false;
    summary.end = CopyEnd::kInterrupted;
    summary.stopSignal = signal;
    return true;
}

void RecordCopy::ReadEnded(bool endOfInput) {
    if (endOfInput) return;
    summary.end = CopyEnd::kInputUnreadable;
    summary.endError = client.GetErrorText();
    if (summary.endError.empty()) summary.endError = "the component gave no reason";
}

void RecordCopy::CopyInKeyOrder(RecordSink& sink) {
    const auto keySize = static_cast<int32_t>(request.inputKeySize);
    const auto recordSize = static_cast<int32_t>(request.inputRecordSize);
    uint8_t* key = buffers.keyBuffer.data();
    const auto* bound = reinterpret_cast<const uint8_t*>(buffers.toKey.data());

    int32_t keyLength = keySize;  // set once: a shorter key caps the later reads
    client.PositionByKey(kInputChannel, reinterpret_cast<const uint8_t*>(buffers.fromKey.data()),
                         keySize);
    for (uint64_t place = 0;; ++place) {
        if (Interrupted()) return;
        if (!client.ReadNextKey(kInputChannel, key, keyLength)) {
            // The end of the keys is an empty key, with no error (or the code that says so).
            const int32_t code = client.GetErrorNumber();
            ReadEnded(code == 0 || code == talvo::kErrorEndOfKeys);
            return;
        }
        if (keyRange.upperBound && std::memcmp(key, bound, static_cast<size_t>(keySize)) > 0) {
            return;
        }
        int32_t recordLength = recordSize;
        const bool read = client.ReadByKey(kInputChannel, buffers.recordBuffer.data(),
                                           &recordLength, key, keySize);
        Stepped();
        if (read) {
            if (!sink.Take(place)) return;
        } else {
            // The buffer holds some other record: nothing is written under this key.
            summary.AddNotWritten(
                place, key, static_cast<size_t>(keySize),
                "could not be read under this input key: " + client.GetErrorText());
        }
    }
}

void RecordCopy::CopyInRecordOrder(RecordSink& sink) {
    const auto recordSize = static_cast<int32_t>(request.inputRecordSize);
    const int markOffset =
        talvo::DeletedMarkOffset(static_cast<talvo::FileType>(request.inputFileType));
    // A record too short to carry the mark has none: the byte there is left from elsewhere.
    const bool marked =
        markOffset >= 0 && request.inputRecordSize > static_cast<uint32_t>(markOffset);
    uint8_t* record = buffers.recordBuffer.data();

    for (int32_t number = 0;; ++number) {
        if (Interrupted()) return;
        int32_t recordLength = recordSize;
        if (!client.ReadByRecordNumber(kInputChannel, record, &recordLength, number)) {
            // Past the last record the component finds none; any other failure is a read that
            // failed.
            ReadEnded(client.GetErrorNumber() == talvo::kErrorNotFound);
            return;
        }
        Stepped();
        if (marked && record[markOffset] == talvo::kDeletedMark) {
            ++summary.recordsDeleted;
        } else if (!sink.Take(static_cast<uint64_t>(number))) {
            return;
        }
        if (number == std::numeric_limits<int32_t>::max()) return;  // no number beyond
    }
}

}  // namespace builder
