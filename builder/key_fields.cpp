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

KeyAssembler::KeyAssembler(const BuildRequest& request) {
    size_t at = 0;
    const size_t count = std::min(request.keyFields.size(), static_cast<size_t>(kMaxKeyFields));
    for (size_t i = 0; i < count; ++i) {
        const size_t position = request.keyFields[i].position;
        const size_t length = request.keyFields[i].length;
        if (position + length > kRecordBufferSize || at + length > kBuiltKeySize) break;
        const bool wide =
            length <= 16 && position + 16 <= kRecordBufferSize && at + 16 <= kBuiltKeySize;
        pieces_.push_back({static_cast<uint32_t>(position), static_cast<uint32_t>(at),
                           static_cast<uint32_t>(length), wide});
        at += length;
    }
    // Only the bytes of the output key, not the whole buffer.
    const size_t keySize = std::min<size_t>(request.outputKeySize, kBuiltKeySize);
    zeroFrom_ = static_cast<uint32_t>(at);
    zeroLength_ = at < keySize ? static_cast<uint32_t>(keySize - at) : 0;
}

void KeyAssembler::Assemble(BuildBuffers& buffers) const {
    uint8_t* key = buffers.builtKey.data();
    const uint8_t* record = buffers.recordBuffer.data();
    // In list order: a field copied as a word leaves bytes past its end that the next one covers.
    for (const Piece& piece : pieces_) {
        if (piece.wide) {
            uint8_t word[16];
            std::memcpy(word, record + piece.position, 16);
            std::memcpy(key + piece.at, word, 16);
        } else {
            talvo::CopyFewBytes(key + piece.at, record + piece.position, piece.length);
        }
    }
    if (zeroLength_ != 0) std::memset(key + zeroFrom_, 0, zeroLength_);
}

void AssembleKey(const BuildRequest& request, BuildBuffers& buffers) {
    KeyAssembler(request).Assemble(buffers);
}

}  // namespace builder
