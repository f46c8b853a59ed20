#include "ui/record_sample.h"

#include <algorithm>

#include "talvo/file_types.h"

RecordSample ReadRecordSample(CDornApi& client, const std::string& fileName,
                              const std::string& directory, const FileDescriptor& descriptor,
                              size_t count) {
    RecordSample sample;
    if (!client.OpenFile(kSampleChannel, fileName.c_str(), directory.c_str())) {
        sample.error = client.GetErrorText();
        return sample;
    }
    const int32_t recordSize = descriptor.recordSize;
    const int markOffset = talvo::DeletedMarkOffset(static_cast<talvo::FileType>(descriptor.fileType));
    // A record too short to carry the mark has none.
    const bool marked = markOffset >= 0 && recordSize > markOffset;
    std::vector<uint8_t> buffer(static_cast<size_t>(recordSize));
    for (size_t i = 0; i < count; ++i) {
        const auto number = static_cast<int32_t>(i);
        int32_t length = recordSize;
        if (!client.ReadByRecordNumber(kSampleChannel, buffer.data(), &length, number)) {
            // Past the last record the component finds none; anything else is a failed read.
            if (client.GetErrorNumber() == talvo::kErrorNotFound) {
                sample.endOfFile = true;
            } else {
                sample.error = client.GetErrorText();
            }
            break;
        }
        SampleRecord record;
        record.number = number;
        // The client delivers at most the capacity it was given.
        record.bytes.assign(buffer.begin(),
                            buffer.begin() + std::clamp<int32_t>(length, 0, recordSize));
        record.bytes.resize(static_cast<size_t>(recordSize), 0);
        record.deleted =
            marked && record.bytes[static_cast<size_t>(markOffset)] == talvo::kDeletedMark;
        sample.records.push_back(std::move(record));
    }
    client.CloseChannel(kSampleChannel);
    return sample;
}
