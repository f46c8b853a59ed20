// The buffers of one build and the build's key fields: the fields of a request checked against
// the buffers they are copied between, and assembled into the output key.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "builder/build_request.h"

namespace builder {

// The buffers of one build, owned by its run: the copy allocates nothing per record.
struct BuildBuffers {
    std::array<uint8_t, kMaxRecordSize> recordBuffer{};  // the current input record
    std::array<uint8_t, kMaxKeySize> keyBuffer{};        // the input key last read (key order)
    std::array<uint8_t, kMaxKeySize> builtKey{};         // the assembled output key
    // The key bounds as zero-terminated texts: fromKey positions the input, toKey bounds it.
    std::array<char, kMaxKeyBoundLength + 1> fromKey{};
    std::array<char, kMaxKeyBoundLength + 1> toKey{};
};

// Checks the request's key fields against the buffers: a refusal text when there are more
// fields than a key has, a field reaches past recordBuffer, or the fields together are longer
// than builtKey.
std::optional<std::string> CheckKeyFields(const BuildRequest& request);

// Checks the sizes the build relies on (records that fit recordBuffer, keys that fit keyBuffer
// and builtKey); a refusal text when one does not hold.
std::optional<std::string> CheckBuildLimits(const BuildRequest& request);

// Assembles builtKey from recordBuffer: the key fields end to end in list order, each at the sum
// of the lengths before it whatever bytes it holds, zero bytes after the last up to the output
// key size (the bytes beyond it are no part of the key and may change). A field that would reach
// past either buffer ends the assembly there (CheckKeyFields refuses such lists).
void AssembleKey(const BuildRequest& request, BuildBuffers& buffers);

// AssembleKey with the request's fields worked out once, for a copy loop that assembles a key
// for every record: each field's place in the key, and whether it may be copied as 16 bytes
// (a field of at most 16 bytes with 16 bytes of both buffers from its places; the bytes past
// its end are overwritten by the fields after it, or by the zeros, or lie past the key).
class KeyAssembler {
  public:
    explicit KeyAssembler(const BuildRequest& request);
    void Assemble(BuildBuffers& buffers) const;

  private:
    struct Piece {
        uint32_t position;  // in recordBuffer
        uint32_t at;        // in builtKey
        uint32_t length;
        bool wide;  // copied as 16 bytes
    };
    std::vector<Piece> pieces_;
    uint32_t zeroFrom_ = 0;  // the zeros: from the end of the last field up to the key size
    uint32_t zeroLength_ = 0;
};

}  // namespace builder
