#include "talvo/tool/record_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace talvo::tool {

namespace {

std::string SystemReason() {
    return std::strerror(errno);
}

// Whole records read at a time from fixed input.
constexpr size_t kReadAhead = size_t{1} << 20;

}  // namespace

FlatReader::FlatReader(std::istream& in, FlatFormat format, uint32_t recordSize, bool readAhead)
    : in_(in), format_(format), recordSize_(recordSize) {
    if (format_ == FlatFormat::kFixed) {
        buffer_.resize(std::max<size_t>(1, kReadAhead / recordSize_) * recordSize_);
        readAhead_ = readAhead;
    } else {
        buffer_.resize(recordSize_);
    }
}

FlatReader::~FlatReader() {
    if (ahead_ == nullptr || !ahead_->thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(ahead_->mutex);
        ahead_->stop = true;
    }
    ahead_->changed.notify_all();
    ahead_->thread.join();
}

// The thread: fills the two buffers in turn, each once it is given back, until the input ends or
// fails or the reader goes.
void FlatReader::RunAhead() {
    Ahead& ahead = *ahead_;
    for (int k = 0;; k ^= 1) {
        Filled& into = ahead.buffers[k];
        {
            std::unique_lock<std::mutex> lock(ahead.mutex);
            ahead.changed.wait(lock, [&] { return ahead.stop || !into.ready; });
            if (ahead.stop) return;
        }
        in_.read(reinterpret_cast<char*>(into.bytes.data()),
                 static_cast<std::streamsize>(into.bytes.size()));
        into.got = static_cast<size_t>(in_.gcount());
        into.bad = in_.bad();
        into.reason = into.bad ? SystemReason() : std::string();
        const bool last = into.bad || into.got < into.bytes.size();
        {
            std::lock_guard<std::mutex> lock(ahead.mutex);
            into.ready = true;
        }
        ahead.changed.notify_all();
        if (last) return;
    }
}

size_t FlatReader::ReadBuffer(bool* bad, std::string* reason) {
    if (readAhead_ && ahead_ == nullptr) {
        try {
            auto ahead = std::make_unique<Ahead>();
            ahead->buffers[1].bytes.resize(buffer_.size());
            ahead->buffers[0].bytes.swap(buffer_);  // the reader's own buffer becomes the first
            ahead_ = std::move(ahead);
            ahead_->thread = std::thread(&FlatReader::RunAhead, this);
        } catch (const std::exception&) {
            // No memory or no thread for it: read here, into the reader's own buffer.
            if (ahead_ != nullptr) buffer_.swap(ahead_->buffers[0].bytes);
            ahead_.reset();
            readAhead_ = false;
        }
    }
    if (ahead_ == nullptr) {
        data_ = buffer_.data();
        in_.read(reinterpret_cast<char*>(buffer_.data()),
                 static_cast<std::streamsize>(buffer_.size()));
        *bad = in_.bad();
        if (*bad) *reason = SystemReason();
        return static_cast<size_t>(in_.gcount());
    }
    if (ended_) {  // as a read past the end would find
        *bad = false;
        return 0;
    }
    Ahead& ahead = *ahead_;
    const int next = taken_ < 0 ? 0 : taken_ ^ 1;
    {
        std::unique_lock<std::mutex> lock(ahead.mutex);
        if (taken_ >= 0) ahead.buffers[taken_].ready = false;  // given back to be filled again
        ahead.changed.notify_all();
        ahead.changed.wait(lock, [&] { return ahead.buffers[next].ready; });
    }
    taken_ = next;
    const Filled& filled = ahead.buffers[next];
    data_ = filled.bytes.data();
    *bad = filled.bad;
    *reason = filled.reason;
    ended_ = filled.bad || filled.got < filled.bytes.size();
    return filled.got;
}

bool FlatReader::Next(std::span<const uint8_t>* record, std::string* error) {
    error->clear();
    if (format_ == FlatFormat::kFixed) {
        if (at_ == filled_) {
            bool bad = false;
            std::string reason;
            const size_t got = ReadBuffer(&bad, &reason);
            if (bad) {
                *error = "cannot read the input: " + reason;
                return false;
            }
            filled_ = got / recordSize_ * recordSize_;
            at_ = 0;
            if (got != filled_) {
                *error = "the input ends inside record " +
                         std::to_string(recordNumber_ + filled_ / recordSize_ + 1) + " (" +
                         std::to_string(got - filled_) + " of " + std::to_string(recordSize_) +
                         " bytes)";
                filled_ = 0;
                return false;
            }
            if (filled_ == 0) return false;
        }
        *record = {data_ + at_, recordSize_};
        at_ += recordSize_;
        ++recordNumber_;
        return true;
    }
    while (std::getline(in_, line_)) {
        ++lineNumber_;
        if (!line_.empty() && line_.back() == '\r') line_.pop_back();
        if (line_.size() > recordSize_) {
            if (refused_.size() < kMaxRefusalTexts) {
                refused_.push_back(
                    "line " + std::to_string(lineNumber_) + ": " + std::to_string(line_.size()) +
                    " bytes, longer than the record size " + std::to_string(recordSize_));
            }
            ++refusedCount_;
            continue;
        }
        std::memcpy(buffer_.data(), line_.data(), line_.size());
        std::memset(buffer_.data() + line_.size(), ' ', recordSize_ - line_.size());
        *record = {buffer_.data(), recordSize_};
        return true;
    }
    if (in_.bad()) {
        *error = "cannot read the input: " + SystemReason();
    }
    return false;
}

bool ReadFlatRecords(std::istream& in, FlatFormat format, uint32_t recordSize, FlatRecords* out,
                     std::string* error) {
    out->recordSize = recordSize;
    out->bytes.clear();
    FlatReader reader(in, format, recordSize);
    std::span<const uint8_t> record;
    while (reader.Next(&record, error))
        out->bytes.insert(out->bytes.end(), record.begin(), record.end());
    out->refused = reader.refused();
    out->refusedCount = reader.refusedCount();
    return error->empty();
}

OutputSink::~OutputSink() {
    if (file_ != nullptr && !isStdout_) {
        std::fclose(file_);
        if (!inPlace_) ::unlink(tempPath_.c_str());
    }
}

bool OutputSink::Open(const std::string& path, std::string* error) {
    if (path == "-") {
        file_ = stdout;
        isStdout_ = true;
        return true;
    }
    finalPath_ = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        // Renaming over a device node would put a plain file in its place.
        const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        file_ = fd < 0 ? nullptr : ::fdopen(fd, "wb");
        if (file_ == nullptr) {
            *error = "cannot write " + path + ": " + SystemReason();
            if (fd >= 0) ::close(fd);
            return false;
        }
        inPlace_ = true;
        return true;
    }
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
    // A device or a pipe may not sync (EINVAL); what it was given is all it gets.
    bool ok = std::fflush(file_) == 0 &&
              (::fsync(::fileno(file_)) == 0 || (inPlace_ && (errno == EINVAL || errno == EROFS)));
    std::string reason = ok ? "" : SystemReason();
    if (std::fclose(file_) != 0 && ok) {
        ok = false;
        reason = SystemReason();
    }
    file_ = nullptr;
    if (inPlace_) {
        if (!ok) *error = "cannot write " + finalPath_ + ": " + reason;
        return ok;
    }
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
