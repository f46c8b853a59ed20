#include "talvo/tool/record_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace talvo::tool {

namespace {

std::string SystemReason() {
    return std::strerror(errno);
}

void Refuse(FlatRecords* out, std::string text) {
    if (out->refused.size() < kMaxRefusalTexts) out->refused.push_back(std::move(text));
    ++out->refusedCount;
}

}  // namespace

bool ReadFlatRecords(std::istream& in, FlatFormat format, uint32_t recordSize, FlatRecords* out,
                     std::string* error) {
    out->recordSize = recordSize;
    out->bytes.clear();
    out->refused.clear();
    out->refusedCount = 0;
    if (format == FlatFormat::kFixed) {
        std::vector<char> block(recordSize);
        uint64_t n = 0;
        while (true) {
            in.read(block.data(), recordSize);
            std::streamsize got = in.gcount();
            if (got == static_cast<std::streamsize>(recordSize)) {
                out->bytes.insert(out->bytes.end(), block.begin(), block.end());
                ++n;
                continue;
            }
            if (in.bad()) {
                *error = "cannot read the input: " + SystemReason();
                return false;
            }
            if (got != 0) {
                *error = "the input ends inside record " + std::to_string(n + 1) + " (" +
                         std::to_string(got) + " of " + std::to_string(recordSize) + " bytes)";
                return false;
            }
            return true;
        }
    }

    std::string line;
    uint64_t lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > recordSize) {
            Refuse(out, "line " + std::to_string(lineNumber) + ": " + std::to_string(line.size()) +
                            " bytes, longer than the record size " + std::to_string(recordSize));
            continue;
        }
        out->bytes.insert(out->bytes.end(), line.begin(), line.end());
        out->bytes.insert(out->bytes.end(), recordSize - line.size(), ' ');
    }
    if (in.bad()) {
        *error = "cannot read the input: " + SystemReason();
        return false;
    }
    return true;
}

OutputSink::~OutputSink() {
    if (file_ != nullptr && !isStdout_) {
        std::fclose(file_);
        ::unlink(tempPath_.c_str());
    }
}

bool OutputSink::Open(const std::string& path, std::string* error) {
    if (path == "-") {
        file_ = stdout;
        isStdout_ = true;
        return true;
    }
    finalPath_ = path;
    tempPath_ = path + ".tmp-XXXXXX";
    int fd = ::mkstemp(tempPath_.data());
    if (fd < 0) {
        *error = "cannot write " + path + ": " + SystemReason();
        return false;
    }
    // mkstemp makes the file private; an export gets the permissions of any new file.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        *error = "cannot write " + path + ": " + SystemReason();
        ::close(fd);
        ::unlink(tempPath_.c_str());
        return false;
    }
    return true;
}

bool OutputSink::Write(std::string_view bytes, std::string* error) {
    if (bytes.empty()) return true;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        *error = "cannot write " + (isStdout_ ? std::string("standard output") : finalPath_) +
                 ": " + SystemReason();
        return false;
    }
    return true;
}

bool OutputSink::Commit(std::string* error) {
    if (isStdout_) {
        if (std::fflush(file_) != 0) {
            *error = "cannot write standard output: " + SystemReason();
            return false;
        }
        return true;
    }
    bool ok = std::fflush(file_) == 0 && ::fsync(::fileno(file_)) == 0;
    std::string reason = ok ? "" : SystemReason();
    if (std::fclose(file_) != 0 && ok) {
        ok = false;
        reason = SystemReason();
    }
    file_ = nullptr;
    if (ok && ::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
        ok = false;
        reason = SystemReason();
    }
    if (!ok) {
        ::unlink(tempPath_.c_str());
        *error = "cannot write " + finalPath_ + ": " + reason;
    }
    return ok;
}

}  // namespace talvo::tool
