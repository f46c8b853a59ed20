// Flat files in and out of the `talvo` tool: reading the records of an import, and writing an
// export so that a failed export never leaves a half-written file behind.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace talvo::tool {

enum class FlatFormat { kFixed, kLines };

// The records of a flat file, all of the same size, held end to end.
struct FlatRecords {
    uint32_t recordSize = 0;
    std::vector<uint8_t> bytes;  // count() * recordSize bytes
    // One text per refused line ("line 7: 83 bytes, longer than the record size 80"), in input
    // order. When it is not empty the input as a whole is refused.
    std::vector<std::string> refused;
    uint64_t refusedCount = 0;  // refused lines, also those beyond the texts kept

    uint64_t count() const { return recordSize == 0 ? 0 : bytes.size() / recordSize; }
    std::span<const uint8_t> record(uint64_t n) const {
        return {bytes.data() + n * recordSize, recordSize};
    }
};

// At most this many refused lines are kept as texts; the count goes on.
constexpr size_t kMaxRefusalTexts = 20;

// Reads the records of a flat input one at a time, in the forms ReadFlatRecords describes,
// holding no more than one buffer of input.
class FlatReader {
  public:
    // REQUIRES: recordSize >= 1; `in` outlives the reader. With `readAhead`, fixed records are
    // read by a thread of the reader's own, a buffer ahead of the one handed out, so that the
    // reading overlaps what the caller does with the records: only for an input that ends (a
    // file), since the reader waits for that thread when it goes.
    FlatReader(std::istream& in, FlatFormat format, uint32_t recordSize, bool readAhead = false);
    ~FlatReader();
    FlatReader(const FlatReader&) = delete;
    FlatReader& operator=(const FlatReader&) = delete;

    // The next record (recordSize bytes, valid until the next call): true. False at the end of
    // the input, or on an error, which *error then describes. Over-long lines are skipped and
    // counted (refusedCount, refused).
    bool Next(std::span<const uint8_t>* record, std::string* error);

    uint64_t refusedCount() const { return refusedCount_; }
    const std::vector<std::string>& refused() const { return refused_; }

  private:
    // A buffer of the thread's: what one read of the input gave.
    struct Filled {
        std::vector<uint8_t> bytes;
        size_t got = 0;
        bool bad = false;
        std::string reason;  // the system's, when bad
        bool ready = false;  // filled and not yet given back (guarded by Ahead::mutex)
    };
    struct Ahead {
        Filled buffers[2];
        std::mutex mutex;
        std::condition_variable changed;
        bool stop = false;
        std::thread thread;
    };

    // Reads the next buffer of whole records into buffer_ (or takes it from the thread): the
    // bytes read, whether the stream failed and the system's reason.
    size_t ReadBuffer(bool* bad, std::string* reason);
    void RunAhead();

    std::istream& in_;
    FlatFormat format_;
    uint32_t recordSize_;
    bool readAhead_ = false;
    std::unique_ptr<Ahead> ahead_;  // once the first buffer is asked for
    int taken_ = -1;                // the thread's buffer in hand
    bool ended_ = false;            // the thread read its last buffer and it was handed out
    std::vector<uint8_t> buffer_;  // fixed: whole records read ahead (the thread's first, once
                                   // it reads ahead)
    const uint8_t* data_ = nullptr;  // fixed: the buffer the records are handed out from
    size_t filled_ = 0;
    size_t at_ = 0;
    uint64_t recordNumber_ = 0;
    std::string line_;
    uint64_t lineNumber_ = 0;
    uint64_t refusedCount_ = 0;
    std::vector<std::string> refused_;
};

// Reads every record of the input.
//  - kFixed: consecutive blocks of recordSize bytes. Input that ends inside a block is an
//    error (returns false, *error says where).
//  - kLines: one record per line (ended by "\n"; one "\r" before it is dropped; a last line
//    without an end counts), padded with spaces to recordSize. A line longer than recordSize is
//    listed in `refused` with its line number (1-based).
// Returns false with *error only when the input cannot be read as a whole.
// REQUIRES: recordSize >= 1.
bool ReadFlatRecords(std::istream& in, FlatFormat format, uint32_t recordSize, FlatRecords* out,
                     std::string* error);

// Where an export goes: standard output, or a file that appears under its name only when
// Commit succeeds (written to a temporary file beside it, then renamed). A sink destroyed
// without Commit removes its temporary file and leaves any earlier file of that name alone.
// A name that stands for a device, a pipe or a socket (/dev/null, /dev/stdout, a named pipe)
// is written to as it is: there is no file there to replace.
class OutputSink {
  public:
    OutputSink() = default;
    ~OutputSink();
    OutputSink(const OutputSink&) = delete;
    OutputSink& operator=(const OutputSink&) = delete;

    // path "-" is standard output. False with *error when the file cannot be made.
    bool Open(const std::string& path, std::string* error);
    // False with *error when the system refuses the write.
    bool Write(std::string_view bytes, std::string* error);
    // Flushes, syncs and renames into place. False with *error on failure (the target is then
    // as it was).
    bool Commit(std::string* error);

  private:
    std::FILE* file_ = nullptr;
    bool isStdout_ = false;
    bool inPlace_ = false;  // a device, pipe or socket: written directly, never renamed over
    std::string tempPath_;
    std::string finalPath_;
};

}  // namespace talvo::tool
