// Helpers that build the engine's Status values from the host's failures (the code's text plus a
// detail; every text comes from Status::Failure).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "talvo/engine.h"

namespace talvo::engine {

// An operating-system failure (an errno value): ENOSPC and EDQUOT map to kNoSpace, and so does
// EFBIG, which a write past the process's file size limit gets when SIGXFSZ is ignored (the
// signal's default action ends the process first); ENOMEM maps to kOutOfMemory, everything else
// to kIoError. The detail reads "<what>: <strerror(err)>".
[[nodiscard]] Status ErrnoError(int err, std::string_view what);

// Key bytes as upper-case hex pairs ("41 00 FF"), for messages.
std::string HexBytes(std::span<const uint8_t> bytes);

}  // namespace talvo::engine
