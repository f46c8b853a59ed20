// The channels and constants of the build.
#pragma once

#include <cstdint>

#include "talvo/file_types.h"

namespace builder {

constexpr int32_t kInputChannel = 38;
constexpr int32_t kOutputChannel = 39;
constexpr int32_t kSeekFromEnd = 2;
// The open upper bound fills this many bytes of toKey with 0xFF and ends with a zero byte. It is
// kept for the bound's look only: a build without a To Key compares no key with it.
constexpr int32_t kOpenBoundLength = 254;
constexpr int kFirstSubordinateKey = 1;
constexpr int kLastSubordinateKey = talvo::kMaxSubKeys;
constexpr int32_t kSubordinateKeyNameSize = talvo::kMaxSubKeyName + 1;  // and a zero byte

}  // namespace builder
