// Helpers that build the engine's Status values: the code's text plus a detail.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "talvo/engine.h"

namespace talvo::engine {

// ErrorText(code) + ": " + detail (or the text alone when detail is empty): Status::Failure.
[[nodiscard]] Status MakeError(Error code, std::string_view detail);

// An operating-system failure: ENOSPC, EDQUOT and EFBIG map to kNoSpace, ENOMEM to
// kOutOfMemory, everything else to kIoError.
// The detail reads "<what>: <strerror(err)>".
[[nodiscard]] Status ErrnoError(int err, std::string_view what);

// Key bytes as upper-case hex pairs ("41 00 FF"), for messages.
std::string HexBytes(std::span<const uint8_t> bytes);

}  // namespace talvo::engine
