// Zero-filled memory for the large tables that are probed at random (the filter over spilled
// keys, the batch's hash table): whole pages from the system, so that nothing of ours clears
// them, laid on huge-page boundaries and advised to be backed by huge pages, which spares the
// translation misses of random probes. Handed back to the system when freed.
#pragma once

#include <cstddef>
#include <memory>

namespace talvo::engine {

class LargeMemory {
  public:
    LargeMemory() = default;
    ~LargeMemory() { Release(); }
    LargeMemory(const LargeMemory&) = delete;
    LargeMemory& operator=(const LargeMemory&) = delete;
    LargeMemory(LargeMemory&& other) noexcept;
    LargeMemory& operator=(LargeMemory&& other) noexcept;

    // Replaces what is held by `bytes` zero bytes. False, holding nothing, when the system has no
    // memory for them.
    bool Allocate(size_t bytes);
    void Release();

    void* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    void* data_ = nullptr;
    size_t size_ = 0;
    void* mapping_ = nullptr;  // what was mapped: data_ lies inside it
    size_t mappingSize_ = 0;
};

}  // namespace talvo::engine
