#include "talvo/engine/slot_read_ahead.h"

#include <algorithm>

#include "talvo/engine/file_header.h"

namespace talvo::engine {

SlotReadAhead::SlotReadAhead(const HostFile& data, uint32_t recordSize, uint64_t first,
                             uint64_t end, size_t chunkBytes, WorkCounters& counters)
    : data_(data),
      recordSize_(recordSize),
      first_(first),
      end_(end),
      chunkRecords_(std::max<size_t>(1, chunkBytes / recordSize)),
      next_(first),
      chunkFirst_(first),
      chunkEnd_(first),
      counters_(counters) {
    for (Chunk& chunk : chunks_) chunk.bytes.resize(chunkRecords_ * recordSize_);
    thread_ = std::thread(&SlotReadAhead::Run, this);
}

SlotReadAhead::~SlotReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool SlotReadAhead::NextChunk() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (inHand_ != kChunks) {
        chunks_[inHand_].ready = false;
        inHand_ = kChunks;
        changed_.notify_all();
    }
    Chunk& chunk = chunks_[taken_ % kChunks];
    changed_.wait(lock, [&] { return chunk.ready; });
    if (chunk.failed || chunk.count == 0) {
        failed_ = true;
        return false;
    }
    inHand_ = taken_ % kChunks;
    ++taken_;
    ++counters_.slotChunksReadAhead;
    chunkFirst_ = chunk.first;
    chunkEnd_ = chunk.first + chunk.count;
    at_ = chunk.bytes.data();
    return true;
}

void SlotReadAhead::Run() {
    uint64_t first = first_;
    for (size_t filled = 0;; ++filled) {
        Chunk& chunk = chunks_[filled % kChunks];
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || !chunk.ready; });
            if (stop_) return;
        }
        // Past the last slot the chunk is empty: the caller finds the end there.
        const uint64_t count = std::min<uint64_t>(chunkRecords_, end_ - std::min(first, end_));
        const size_t bytes = static_cast<size_t>(count) * recordSize_;
        bool read = count == 0;
        try {
            read = read ||
                   data_.ReadAt(SlotOffset(first, recordSize_), {chunk.bytes.data(), bytes}).ok();
        } catch (const std::exception&) {
            // The text of a failed read could not be made: a failed read all the same.
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            chunk.first = first;
            chunk.count = count;
            chunk.failed = !read;
            chunk.ready = true;
        }
        changed_.notify_all();
        if (!read || count == 0) return;
        first += count;
    }
}

}  // namespace talvo::engine
