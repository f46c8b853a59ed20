// Client benchmark: the read/write path the utility takes, through CDornApi and the component's
// dispatch interface, one record at a time, keys and records crossing as wide strings.
//
//   client_bench [--records N] [--dir FOLDER] [--keep] [--only write|keycopy|numcopy|read]
//
// In a temporary folder (its own configuration file, HOME and XDG_DATA_HOME), on N records of
// 100 bytes under unique random 12-byte keys:
//   write    create a keyed file, WriteKeyed every record in random key order, close (durable);
//   keycopy  copy it in key order as a build does: PositionByKey(254 zero bytes), then
//            ReadNextKey + ReadByKey + WriteKeyed into a second keyed file keyed on record
//            bytes 20..31, and close;
//   numcopy  copy it in record-number order: ReadByRecordNumber from 0 upward + WriteKeyed;
//   read     read it in key order alone: ReadNextKey + ReadByKey, nothing written.
// Every pass checks what it saw (count, key order, each record against its key), so a faster
// path that delivers the wrong bytes fails the run. Prints one line per figure. `--only` runs the
// write and then the one pass named (for profiling).
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_keys.h"
#include "fsclient/dornapi.h"
#include "platform/path.h"
#include "talvo/talvolib.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kKeySize = 12;
constexpr int32_t kRecordSize = 100;
constexpr int32_t kSecondKeyAt = 20;  // the copies key on record bytes 20..31
constexpr int32_t kPositionKeySize = 254;
constexpr int32_t kKeyCapacity = 255;
constexpr const char* kDir = "BEN";

constexpr int32_t kSource = 1;
constexpr int32_t kTarget = 2;

using bench::MakeKey;
using bench::Mix;

// Record i: its number in bytes 0..7, a second unique key at bytes 20..31 (another bijection of
// i), and every byte value elsewhere, except the deleted mark at byte 6.
void MakeRecord(uint64_t i, uint8_t* record) {
    std::memcpy(record, &i, 8);
    record[6] = 0;  // numbers stay far below 2^48, so this is i's own byte anyway
    for (int32_t j = 8; j < kRecordSize; ++j) record[j] = static_cast<uint8_t>(i * 7 + j * 31);
    const uint64_t a = Mix(i ^ 0x5DEECE66Dull);
    std::memcpy(record + kSecondKeyAt, &a, 8);
    std::memcpy(record + kSecondKeyAt + 8, &i, 4);
}

uint64_t RecordIndex(const uint8_t* record) {
    uint64_t i = 0;
    std::memcpy(&i, record, 8);
    return i;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double PeakMiB() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

uint64_t DiskBytes(const std::filesystem::path& folder) {
    uint64_t total = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) == 0)
            total += static_cast<uint64_t>(st.st_blocks) * 512;
    }
    return total;
}

class Bench {
  public:
    Bench(CDornApi& api, uint64_t records) : api_(api), records_(records) {}

    bool Fail(const char* what) {
        std::fprintf(stderr, "client_bench: %s: %s\n", what, api_.GetErrorText().c_str());
        return false;
    }
    bool Wrong(const char* what, uint64_t at) {
        std::fprintf(stderr, "client_bench: %s at record %llu\n", what,
                     static_cast<unsigned long long>(at));
        return false;
    }

    bool CreateAndOpen(const char* name, int32_t channel) {
        if (!api_.CreateKeyedFile(name, kDir, kRecordSize, kKeySize)) return Fail("create");
        if (!api_.OpenFile(channel, name, kDir)) return Fail("open");
        return true;
    }

    bool Write(const char* name) {
        if (!CreateAndOpen(name, kTarget)) return false;
        uint8_t key[kKeySize];
        uint8_t record[kRecordSize];
        for (uint64_t i = 0; i < records_; ++i) {
            MakeKey(i, key);
            MakeRecord(i, record);
            if (!api_.WriteKeyed(kTarget, record, kRecordSize, key, kKeySize)) return Fail("write");
        }
        if (!api_.CloseChannel(kTarget)) return Fail("close");
        return true;
    }

    // Walks the source in key order; with a target name, writes each record into it under
    // record bytes 20..31. Checks the order and that every record is the one of its key.
    bool KeyOrder(const char* source, const char* target) {
        if (!api_.OpenFile(kSource, source, kDir)) return Fail("open source");
        if (target && !CreateAndOpen(target, kTarget)) return false;
        const uint8_t zeros[kPositionKeySize] = {};
        if (!api_.PositionByKey(kSource, zeros, kPositionKeySize)) return Fail("position");
        uint8_t key[kKeyCapacity];
        uint8_t previous[kKeySize] = {};
        uint8_t expected[kKeySize];
        uint8_t record[kRecordSize];
        uint64_t count = 0;
        for (;;) {
            int32_t keyLength = kKeyCapacity;
            if (!api_.ReadNextKey(kSource, key, keyLength)) break;
            if (keyLength != kKeySize) return Wrong("a key of the wrong length", count);
            if (count != 0 && std::memcmp(previous, key, kKeySize) >= 0)
                return Wrong("keys out of order", count);
            std::memcpy(previous, key, kKeySize);
            int32_t length = kRecordSize;
            if (!api_.ReadByKey(kSource, record, &length, key, keyLength))
                return Fail("read by key");
            MakeKey(RecordIndex(record), expected);
            if (length != kRecordSize || std::memcmp(expected, key, kKeySize) != 0) {
                return Wrong("a record that is not its key's", count);
            }
            if (target &&
                !api_.WriteKeyed(kTarget, record, length, record + kSecondKeyAt, kKeySize)) {
                return Fail("write");
            }
            ++count;
        }
        if (count != records_) return Wrong("the key walk ended early", count);
        if (!api_.CloseChannel(kSource)) return Fail("close source");
        if (target && !api_.CloseChannel(kTarget)) return Fail("close target");
        return true;
    }

    bool NumberOrder(const char* source, const char* target) {
        if (!api_.OpenFile(kSource, source, kDir)) return Fail("open source");
        if (!CreateAndOpen(target, kTarget)) return false;
        uint8_t record[kRecordSize];
        uint64_t count = 0;
        for (int32_t n = 0;; ++n) {
            int32_t length = kRecordSize;
            if (!api_.ReadByRecordNumber(kSource, record, &length, n)) break;
            if (record[6] == 0xFE) continue;  // a deleted slot
            if (length != kRecordSize) return Wrong("a short record", count);
            if (!api_.WriteKeyed(kTarget, record, length, record + kSecondKeyAt, kKeySize))
                return Fail("write");
            ++count;
        }
        if (count != records_) return Wrong("the record walk ended early", count);
        if (!api_.CloseChannel(kSource)) return Fail("close source");
        if (!api_.CloseChannel(kTarget)) return Fail("close target");
        return true;
    }

  private:
    CDornApi& api_;
    uint64_t records_;
};

void Report(const char* what, uint64_t records, double seconds) {
    std::printf("client %s: %.0f records/s (%.3f s)\n", what,
                static_cast<double>(records) / seconds, seconds);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t records = 1000000;
    std::string dir;
    std::string only;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--records" && i + 1 < argc) {
            char* end = nullptr;
            records = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0' || records == 0 || records > 0x7FFFFFFF) {
                std::fprintf(stderr,
                             "client_bench: --records takes a count from 1 to 2147483647\n");
                return 2;
            }
        } else if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (arg == "--keep") {
            keep = true;
        } else {
            std::fprintf(stderr,
                         "usage: client_bench [--records N] [--dir FOLDER] [--keep] "
                         "[--only write|keycopy|numcopy|read]\n");
            return 2;
        }
    }
    if (!only.empty() && only != "write" && only != "keycopy" && only != "numcopy" &&
        only != "read") {
        std::fprintf(stderr, "client_bench: --only takes write, keycopy, numcopy or read\n");
        return 2;
    }
    const std::string base = dir.empty() ? std::filesystem::temp_directory_path().string() : dir;
    std::string pattern = base + "/client-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("client_bench: mkdtemp");
        return 1;
    }
    const std::filesystem::path work = pattern;
    const std::filesystem::path data = work / "data";
    std::filesystem::create_directories(data);
    ::setenv("HOME", work.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (work / "share").c_str(), 1);
    ::setenv("TALVO_CONFIG", (work / "talvo.ini").c_str(), 1);

    int status = 1;
    {
        talvo::RegisterTalvoLib();
        CDornApi api("Ordelin benchmark", 100, 51, 0, false);
        Bench bench(api, records);
        const auto run = [&]() -> bool {
            if (!api.Connect(nullptr, false)) return bench.Fail("connect");
            const std::string dataPath = platform::ToPlatformPath(data.string());
            if (api.FindOrAddDirectoryEntry(kDir, dataPath.c_str()) < 0)
                return bench.Fail("directory");
            const auto wanted = [&](const char* pass) { return only.empty() || only == pass; };

            Clock::time_point start = Clock::now();
            if (!bench.Write("SOURCE.DAT")) return false;
            Report(
                "write, random key order, durable close (CreateKeyedFile + WriteKeyed + "
                "CloseChannel)",
                records, Seconds(start));
            if (wanted("keycopy")) {
                start = Clock::now();
                if (!bench.KeyOrder("SOURCE.DAT", "BYKEY.DAT")) return false;
                Report(
                    "copy in key order (PositionByKey, ReadNextKey + ReadByKey + WriteKeyed, "
                    "close)",
                    records, Seconds(start));
            }
            if (wanted("numcopy")) {
                start = Clock::now();
                if (!bench.NumberOrder("SOURCE.DAT", "BYNUM.DAT")) return false;
                Report("copy in record-number order (ReadByRecordNumber + WriteKeyed, close)",
                       records, Seconds(start));
            }
            if (wanted("read")) {
                start = Clock::now();
                if (!bench.KeyOrder("SOURCE.DAT", nullptr)) return false;
                Report("read in key order (ReadNextKey + ReadByKey)", records, Seconds(start));
            }
            return true;
        };
        if (run()) status = 0;
    }
    std::printf("client peak memory, resident (mapped file pages included): %.1f MiB\n", PeakMiB());
    std::printf("client bytes on disk, all files: %llu\n",
                static_cast<unsigned long long>(DiskBytes(data)));
    if (!keep) std::filesystem::remove_all(work);
    return status;
}
