#include "builder/key_fields.h"

#include <algorithm>
#include <cstring>

#include "talvo/byte_copy.h"

namespace builder {

namespace {

constexpr size_t kRecordBufferSize = sizeof(BuildBuffers::recordBuffer);
constexpr size_t kKeyBufferSize = sizeof(BuildBuffers::keyBuffer);
constexpr size_t kBuiltKeySize = sizeof(BuildBuffers::builtKey);

}  // namespace

std::optional<std::string> CheckKeyFields(const BuildRequest& request) {
    const size_t count = request.keyFields.size();
    if (count > static_cast<size_t>(kMaxKeyFields)) {
        return "The key field list holds " + std::to_string(count) + " fields; a key has at most " +
               std::to_string(kMaxKeyFields) + ".";
    }
    uint64_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        const KeyField& field = request.keyFields[i];
        if (uint64_t{field.position} + field.length > kRecordBufferSize) {
            return "Key field " + std::to_string(i + 1) + " (position " +
                   std::to_string(field.position) + ", length " + std::to_string(field.length) +
                   ") lies outside the record.";
        }
        total += field.length;
    }
    if (total > kBuiltKeySize) {
        return "The key fields add up to " + std::to_string(total) + " bytes; a key has at most " +
               std::to_string(kBuiltKeySize) + ".";
    }
    return std::nullopt;
}

std::optional<std::string> CheckBuildLimits(const BuildRequest& request) {
    if (request.inputRecordSize == 0 || request.inputRecordSize > kRecordBufferSize) {
        return "Input record size " + std::to_string(request.inputRecordSize) +
               " is not between 1 and " + std::to_string(kRecordBufferSize) + ".";
    }
    if (request.outputRecordSize > kRecordBufferSize) {
        return "Output record size cannot be greater than " + std::to_string(kRecordBufferSize) +
               ".";
    }
    if (request.inputKeySize > kKeyBufferSize) {
        return "Input key size cannot be greater than " + std::to_string(kKeyBufferSize) + ".";
    }
    if (request.outputKeySize > kBuiltKeySize) {
        return "Output key size cannot be greater than " + std::to_string(kBuiltKeySize) + ".";
    }
    return std::nullopt;
}

void AssembleKey(const BuildRequest& request, BuildBuffers& buffers) {
    uint8_t* key = buffers.builtKey.data();
    const uint8_t* record = buffers.recordBuffer.data();
    size_t at = 0;
    const size_t count = std::min(request.keyFields.size(), static_cast<size_t>(kMaxKeyFields));
    for (size_t i = 0; i < count; ++i) {
        const size_t position = request.keyFields[i].position;
        const size_t length = request.keyFields[i].length;
        if (position + length > kRecordBufferSize || at + length > kBuiltKeySize) break;
        talvo::CopyFewBytes(key + at, record + position, length);
        at += length;
    }
    // Once per record: only the bytes of the output key, not the whole buffer.
    const size_t keySize = std::min<size_t>(request.outputKeySize, kBuiltKeySize);
    if (at < keySize) std::memset(key + at, 0, keySize - at);
}

}  // namespace builder
