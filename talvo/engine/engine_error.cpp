#include "talvo/engine/engine_error.h"

#include <cerrno>
#include <cstring>

namespace talvo::engine {

Status ErrnoError(int err, std::string_view what) {
    // A file that may grow no further (the process's file size limit) is as full as the disk;
    // memory is memory, whatever the operation that wanted it.
    const Error code = (err == ENOSPC || err == EDQUOT || err == EFBIG) ? Error::kNoSpace
                       : err == ENOMEM                                  ? Error::kOutOfMemory
                                                                        : Error::kIoError;
    std::string detail(what);
    detail += ": ";
    detail += std::strerror(err);
    return Status::Failure(code, detail);
}

std::string HexBytes(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

}  // namespace talvo::engine
