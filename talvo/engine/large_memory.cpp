#include "talvo/engine/large_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <utility>

namespace talvo::engine {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

LargeMemory::LargeMemory(LargeMemory&& other) noexcept {
    *this = std::move(other);
}

LargeMemory& LargeMemory::operator=(LargeMemory&& other) noexcept {
    if (this != &other) {
        Release();
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(mapping_, other.mapping_);
        std::swap(mappingSize_, other.mappingSize_);
    }
    return *this;
}

bool LargeMemory::Allocate(size_t bytes) {
    Release();
    if (bytes == 0) bytes = 1;
    // Small tables gain nothing from huge pages; large ones start on a huge-page boundary.
    const size_t slack = bytes >= kHugePage ? kHugePage : 0;
    if (bytes > SIZE_MAX - slack) return false;
    void* at =
        ::mmap(nullptr, bytes + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (at == MAP_FAILED) return false;
    mapping_ = at;
    mappingSize_ = bytes + slack;
    auto start = reinterpret_cast<uintptr_t>(at);
    if (slack != 0) {
        start = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
        (void)::madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE);  // a hint
    }
    data_ = reinterpret_cast<void*>(start);
    size_ = bytes;
    return true;
}

void LargeMemory::Release() {
    if (mapping_ != nullptr) ::munmap(mapping_, mappingSize_);
    data_ = mapping_ = nullptr;
    size_ = mappingSize_ = 0;
}

}  // namespace talvo::engine
