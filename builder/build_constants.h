// The channels and constants of the build.
#pragma once

#include <cstdint>

namespace builder {

constexpr int32_t kInputChannel = 38;
constexpr int32_t kOutputChannel = 39;
constexpr int32_t kSeekFromEnd = 2;
// The open upper bound fills this many bytes of toKey with 0xFF and ends with a zero byte. It is
// kept for the bound's look only: a build without a To Key compares no key with it.
constexpr int32_t kOpenBoundLength = 254;
constexpr uint8_t kDeletedMark = 0xFE;
constexpr int kFirstSubordinateKey = 1;
constexpr int kLastSubordinateKey = 99;
constexpr int32_t kSubordinateKeyNameSize = 32;

// Where a deleted record of the file type carries its mark: byte 6 (type 4), 8 (type 36);
// -1 for types without one.
inline int DeletedMarkOffset(int fileType) {
    return fileType == 4 ? 6 : fileType == 36 ? 8 : -1;
}

}  // namespace builder
