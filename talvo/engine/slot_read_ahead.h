// Record slots read ahead in ascending order by a thread of its own, for a caller that reads record
// after record by number: the thread reads the next chunks of slots with positional reads while
// the caller copies the records of the chunk in hand, so that the caller's thread meets neither
// the page faults of the map nor the copying out of the system's cache.
//
// The slots read are committed ones, which only a change of the file can alter: the file drops its
// read-ahead on every change (OpenDataFile::NoteChange), before the change is made. A chunk that
// could not be read whole (a read that failed, a file cut short) ends the reading ahead: Take
// answers nullptr from there on, and the caller reads the slots itself, meeting what is wrong.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "talvo/engine/host_file.h"
#include "talvo/engine/tuning.h"

namespace talvo::engine {

class SlotReadAhead {
  public:
    // Chunks filled ahead of the one in hand.
    static constexpr size_t kChunks = 4;

    // Reads the slots [first, end) of records of recordSize bytes (more than 0) from the data
    // file, in chunks of at most chunkBytes (at least one record each). The file must outlive
    // this object. Throws std::bad_alloc or std::system_error when it cannot have its buffers
    // or its thread.
    SlotReadAhead(const HostFile& data, uint32_t recordSize, uint64_t first, uint64_t end,
                  size_t chunkBytes, WorkCounters& counters);
    ~SlotReadAhead();  // stops the thread and joins it
    SlotReadAhead(const SlotReadAhead&) = delete;
    SlotReadAhead& operator=(const SlotReadAhead&) = delete;

    // The bytes of slot `number` when it is the next one in order (valid until the next call),
    // waiting for its chunk; nullptr when it is not, or its chunk could not be read.
    const uint8_t* Take(uint64_t number) {
        if (number != next_ || failed_) return nullptr;
        if (number == chunkEnd_ && !NextChunk()) return nullptr;
        ++next_;
        return at_ + static_cast<size_t>(number - chunkFirst_) * recordSize_;
    }

  private:
    struct Chunk {
        std::vector<uint8_t> bytes;
        uint64_t first = 0;
        uint64_t count = 0;
        bool ready = false;  // filled by the thread, not yet given back
        bool failed = false;
    };

    // Gives the chunk in hand back and waits for the next; false when it could not be read.
    bool NextChunk();
    void Run();

    const HostFile& data_;
    const uint32_t recordSize_;
    const uint64_t first_;  // the thread's first slot
    const uint64_t end_;
    const size_t chunkRecords_;
    Chunk chunks_[kChunks];
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;  // under mutex_
    // The caller's side.
    uint64_t next_;                // the slot Take expects
    uint64_t chunkFirst_;          // the chunk in hand: its first slot and the end of its slots
    uint64_t chunkEnd_;            // (no chunk in hand yet: both the first slot wanted)
    const uint8_t* at_ = nullptr;  // its bytes
    size_t inHand_ = kChunks;      // its index in chunks_ (kChunks: none)
    size_t taken_ = 0;             // chunks taken in all: the next is chunks_[taken_ % kChunks]
    WorkCounters& counters_;       // counted on the caller's thread
    bool failed_ = false;
    std::thread thread_;
};

}  // namespace talvo::engine
