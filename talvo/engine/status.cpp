// The engine's table of error codes and texts.
#include "talvo/engine.h"

namespace talvo {

const char* ErrorText(Error code) {
    switch (code) {
        case Error::kOk:
            return "no error";
        case Error::kNoConnection:
            return "not connected to the file system";
        case Error::kInvalidArgument:
            return "invalid argument";
        case Error::kNotFound:
            return "not found";
        case Error::kDuplicateKey:
            return "duplicate key";
        case Error::kNoSuchFile:
            return "no such file";
        case Error::kFileExists:
            return "file already exists";
        case Error::kFileInUse:
            return "file is in use";
        case Error::kLocked:
            return "file is being written by another process";
        case Error::kNotDataFile:
            return "not a data file";
        case Error::kDamaged:
            return "data file is damaged";
        case Error::kIoError:
            return "input/output error";
        case Error::kWrongFileType:
            return "wrong file type for this operation";
        case Error::kKeyTooLong:
            return "key longer than the key size";
        case Error::kVersionMismatch:
            return "version mismatch";
        case Error::kDeletedRecord:
            return "record is deleted";
        case Error::kNoSpace:
            return "no space left on the device";
        case Error::kEndOfKeys:
            return "no further key";
        case Error::kNotOpen:
            return "file not open";
        case Error::kNoDirectory:
            return "no such directory";
        case Error::kNotSupported:
            return "not supported";
        case Error::kOutOfMemory:
            return "not enough memory";
        case Error::kReadOnly:
            return "the file can only be read";
    }
    return "unknown error";
}

const std::string& Status::NoText() {
    static const std::string none;
    return none;
}

Status Status::Failure(Error code, std::string_view detail) {
    std::string text = ErrorText(code);
    if (!detail.empty()) {
        text += ": ";
        text += detail;
    }
    return Status(code, std::move(text));
}

}  // namespace talvo
