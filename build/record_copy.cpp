#include "build/record_copy.h"

#include <cstring>
#include <limits>

#include "build/build_constants.h"

namespace build {

void RecordCopy::Run(bool keyOrder, RecordSink& sink) {
    if (keyOrder) {
        CopyInKeyOrder(sink);
    } else {
        CopyInRecordOrder(sink);
    }
    sink.Finish();
}

void RecordCopy::CopyInKeyOrder(RecordSink& sink) {
    CDornApi& client = *dialog.client;
    const auto keySize = static_cast<int32_t>(dialog.inputKeySize);
    const auto recordSize = static_cast<int32_t>(dialog.inputRecordSize);
    uint8_t* key = dialog.keyBuffer.data();
    const auto* bound = reinterpret_cast<const uint8_t*>(dialog.toKey.data());

    int32_t keyLength = keySize;  // set once: a shorter key caps the later reads
    client.PositionByKey(kInputChannel, reinterpret_cast<const uint8_t*>(dialog.fromKey.data()),
                         kPositionKeyLength);
    if (!client.ReadNextKey(kInputChannel, key, keyLength)) return;
    for (uint64_t place = 0;; ++place) {
        if (std::memcmp(key, bound, static_cast<size_t>(keySize)) > 0) return;
        int32_t recordLength = recordSize;
        const bool read = client.ReadByKey(kInputChannel, dialog.recordBuffer.data(), &recordLength,
                                           key, keySize);
        Stepped();
        if (read) {
            sink.Take(place);
        } else {
            // The buffer holds some other record: nothing is written under this key.
            summary.AddNotWritten(
                place, key, static_cast<size_t>(keySize),
                "could not be read under this input key: " + client.GetErrorText());
        }
        if (!client.ReadNextKey(kInputChannel, key, keyLength)) return;
    }
}

void RecordCopy::CopyInRecordOrder(RecordSink& sink) {
    CDornApi& client = *dialog.client;
    const auto recordSize = static_cast<int32_t>(dialog.inputRecordSize);
    const int markOffset = DeletedMarkOffset(dialog.inputDescriptor.fileType);
    // A record too short to carry the mark has none: the byte there is left from elsewhere.
    const bool marked =
        markOffset >= 0 && dialog.inputRecordSize > static_cast<uint32_t>(markOffset);
    uint8_t* record = dialog.recordBuffer.data();

    int32_t recordLength = recordSize;
    if (!client.ReadByRecordNumber(kInputChannel, record, &recordLength, 0)) return;
    for (int32_t number = 0;; ++number) {
        recordLength = recordSize;
        Stepped();
        if (marked && record[markOffset] == kDeletedMark) {
            ++summary.recordsDeleted;
        } else {
            sink.Take(static_cast<uint64_t>(number));
        }
        if (number == std::numeric_limits<int32_t>::max()) return;  // no number beyond
        if (!client.ReadByRecordNumber(kInputChannel, record, &recordLength, number + 1)) return;
    }
}

}  // namespace build
