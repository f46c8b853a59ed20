// What the fuzz targets share: a scratch folder for the files a target makes of its input, a
// reader that takes choices and texts from the front of the input, and a check that stops the
// run (so that the fuzzer keeps the input that led there) when a promise is broken.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

// Fuzz entry point: libFuzzer's, or the replay driver's in builds without libFuzzer.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz {

// Stops the process with a message when a promise of the code under test is broken: the fuzzer
// then reports the input as a finding.
#define FUZZ_CHECK(condition, what)                                                      \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: broken promise: %s (%s)\n", __FILE__, __LINE__, \
                         std::string(what).c_str(), #condition);                         \
            std::abort();                                                                \
        }                                                                                \
    } while (0)

// A folder of this process's own, on a memory file system when there is one (the targets write
// and sync files on every run), removed when the process ends.
inline const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::string base = "/tmp";
        if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') base = tmp;
        std::error_code ec;
        if (std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0) {
            base = "/dev/shm";
        }
        std::string pattern = base + "/ordelin-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("cannot make a scratch folder");
            std::abort();
        }
        static std::string made = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(made, ignored);
        });
        return pattern;
    }();
    return folder;
}

inline std::string ScratchPath(std::string_view name) {
    return ScratchFolder() + "/" + std::string(name);
}

inline void WriteWholeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good(), "cannot write the scratch file " + path);
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Removes everything in the scratch folder, so that a run never sees the files of the last.
inline void ClearScratch() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(ScratchFolder(), ec)) {
        std::filesystem::remove_all(entry.path(), ec);
    }
}

// Takes choices and texts from the front of the input; what is left is the payload.
class InputReader {
  public:
    InputReader(const uint8_t* data, size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    // The next byte, or 0 when the input is used up.
    uint8_t Byte() {
        if (rest_.empty()) return 0;
        const auto b = static_cast<uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    // A little-endian number of `bytes` bytes.
    uint32_t Number(int bytes) {
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value |= static_cast<uint32_t>(Byte()) << (8 * i);
        return value;
    }
    // The text up to (not including) the next `end` character, at most `limit` characters.
    std::string_view TextUntil(char end, size_t limit) {
        size_t stop = rest_.find(end);
        if (stop == std::string_view::npos || stop > limit) stop = std::min(limit, rest_.size());
        std::string_view text = rest_.substr(0, stop);
        rest_.remove_prefix(std::min(rest_.size(), stop + 1));
        return text;
    }
    // The next `count` bytes (fewer when the input ends first).
    std::string_view Take(size_t count) {
        std::string_view taken = rest_.substr(0, count);
        rest_.remove_prefix(taken.size());
        return taken;
    }
    std::string_view Rest() const { return rest_; }

  private:
    std::string_view rest_;
};

}  // namespace fuzz
