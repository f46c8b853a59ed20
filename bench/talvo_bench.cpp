// Keyed-file benchmark: N records of 100 bytes under unique random 12-byte keys written into a
// new keyed file and closed durably, then read back in key order (SeekKey strictly after the
// last key + Get, the way NextKey + ReadKey walk a file); beside it, in the same run, the
// sqlite3 command-line tool doing the same write into a WITHOUT ROWID table in one transaction.
//
//   talvo_bench [--records N] [--dir FOLDER] [--no-sqlite] [--keep]
//   talvo_bench --read FILE      reads an existing keyed file in key order, nothing else
//
// Prints one line per figure, the engine's work counters and budgets among them (the budgets
// come from TALVO_BUDGETS, as for every user of the engine).
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_keys.h"
#include "talvo/engine.h"
#include "talvo/engine/tuning.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kKeySize = 12;
constexpr size_t kRecordSize = 100;

using bench::MakeKey;
using bench::Mix;

// Record i: printable text (so that the same bytes can travel through sqlite3's import).
void MakeRecord(uint64_t i, char* record) {
    std::snprintf(record, kRecordSize + 1, "record %012llu ", static_cast<unsigned long long>(i));
    for (size_t j = 20; j < kRecordSize; ++j) record[j] = static_cast<char>('a' + (i + j) % 26);
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

uint64_t DiskBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_blocks) * 512 : 0;
}

double PeakMiB(int who) {
    struct rusage usage {};
    ::getrusage(who, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

// The process's private resident memory (heap, stacks; not mapped file pages) in KiB.
uint64_t PrivateKiB() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return 0;
    char line[256];
    uint64_t kib = 0;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "RssAnon:", 8) == 0) kib = std::strtoull(line + 8, nullptr, 10);
    }
    std::fclose(status);
    return kib;
}

uint64_t peakPrivateKiB = 0;

void SamplePrivate(uint64_t i) {
    if (i % 65536 == 0) peakPrivateKiB = std::max(peakPrivateKiB, PrivateKiB());
}

bool Fail(const char* what, const talvo::Status& status) {
    std::fprintf(stderr, "talvo_bench: %s: %s\n", what, status.message().c_str());
    return false;
}

double writePeakMiB = 0;

// Every key of the file in order (SeekKey strictly after the last key + Get), each record read.
bool ReadInKeyOrder(const std::string& path, uint64_t* count, double* seconds) {
    const Clock::time_point readStart = Clock::now();
    talvo::Engine engine;
    std::shared_ptr<talvo::DataFile> file;
    talvo::Status s = engine.Open(path, &file);
    if (!s.ok()) return Fail("open", s);
    std::string current;
    std::string previous;
    std::vector<uint8_t> read;
    uint64_t checksum = 0;
    *count = 0;
    s = file->SeekKey({}, false, &current);
    while (s.ok()) {
        if (*count != 0 && !(previous < current)) {
            std::fprintf(stderr, "talvo_bench: keys out of order at %llu\n",
                         static_cast<unsigned long long>(*count));
            return false;
        }
        s = file->Get({reinterpret_cast<const uint8_t*>(current.data()), current.size()}, &read);
        if (!s.ok()) return Fail("get", s);
        if (!read.empty()) checksum += read.front() + read.back();
        SamplePrivate(*count);
        ++*count;
        previous.swap(current);
        s = file->SeekKey({reinterpret_cast<const uint8_t*>(previous.data()), previous.size()},
                          true, &current);
    }
    if (s.code() != talvo::Error::kEndOfKeys) return Fail("seek", s);
    *seconds = Seconds(readStart);
    (void)engine.Close(file);
    if (*count != 0 && checksum == 0) {
        std::fprintf(stderr, "talvo_bench: the records read are empty\n");
        return false;
    }
    return true;
}

bool RunTalvo(const std::string& path, uint64_t records, double* writeSeconds,
              double* readSeconds) {
    std::vector<uint8_t> key(kKeySize);
    std::vector<char> record(kRecordSize + 1);

    const Clock::time_point writeStart = Clock::now();
    {
        talvo::Engine engine;
        talvo::Status s = engine.Create(path, {talvo::FileType::kKeyed, kRecordSize, kKeySize, 0});
        if (!s.ok()) return Fail("create", s);
        std::shared_ptr<talvo::DataFile> file;
        s = engine.Open(path, &file);
        if (!s.ok()) return Fail("open", s);
        for (uint64_t i = 0; i < records; ++i) {
            MakeKey(i, key.data());
            MakeRecord(i, record.data());
            s = file->Put(key, {reinterpret_cast<const uint8_t*>(record.data()), kRecordSize});
            if (!s.ok()) return Fail("put", s);
            SamplePrivate(i);
        }
        SamplePrivate(0);
        s = engine.Close(file);
        if (!s.ok()) return Fail("close", s);
    }
    *writeSeconds = Seconds(writeStart);
    writePeakMiB = PeakMiB(RUSAGE_SELF);

    uint64_t count = 0;
    if (!ReadInKeyOrder(path, &count, readSeconds)) return false;
    if (count != records) {
        std::fprintf(stderr, "talvo_bench: read %llu records of %llu\n",
                     static_cast<unsigned long long>(count),
                     static_cast<unsigned long long>(records));
        return false;
    }
    return true;
}

// The same keys (as 24 hex digits: the tool cannot import raw bytes) and records through sqlite3.
bool RunSqlite(const std::string& dir, uint64_t records, double* seconds, uint64_t* diskBytes) {
    const std::string tsv = dir + "/records.tsv";
    const std::string script = dir + "/load.sql";
    const std::string db = dir + "/bench.sqlite";
    {
        std::FILE* out = std::fopen(tsv.c_str(), "w");
        if (out == nullptr) return false;
        std::vector<uint8_t> key(kKeySize);
        std::vector<char> record(kRecordSize + 1);
        for (uint64_t i = 0; i < records; ++i) {
            MakeKey(i, key.data());
            MakeRecord(i, record.data());
            for (uint8_t b : key) std::fprintf(out, "%02X", b);
            std::fputc('\t', out);
            std::fwrite(record.data(), 1, kRecordSize, out);
            std::fputc('\n', out);
        }
        std::fclose(out);
        std::ofstream sql(script);
        sql << "CREATE TEMP TABLE staging(k TEXT, r TEXT);\n"
               ".mode tabs\n"
               ".import --schema temp "
            << tsv
            << " staging\n"
               "BEGIN;\n"
               "CREATE TABLE keyed(k TEXT PRIMARY KEY, r TEXT) WITHOUT ROWID;\n"
               "INSERT INTO keyed SELECT k, r FROM staging;\n"
               "COMMIT;\n";
    }
    const std::string command = "sqlite3 " + db + " < " + script;
    const Clock::time_point start = Clock::now();
    const int rc = std::system(command.c_str());
    *seconds = Seconds(start);
    *diskBytes = DiskBytes(db);
    std::filesystem::remove(tsv);
    if (rc != 0) {
        std::fprintf(stderr, "talvo_bench: sqlite3 failed (%d)\n", rc);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t records = 1000000;
    std::string dir;
    bool sqlite = true;
    bool keep = false;
    std::string readOnly;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--records" && i + 1 < argc) {
            records = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (arg == "--no-sqlite") {
            sqlite = false;
        } else if (arg == "--keep") {
            keep = true;
        } else if (arg == "--read" && i + 1 < argc) {
            readOnly = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: talvo_bench [--records N] [--dir FOLDER] [--no-sqlite] [--keep]\n"
                         "       talvo_bench --read FILE\n");
            return 2;
        }
    }
    if (!readOnly.empty()) {
        // A file made elsewhere (e.g. by talvo import), read in key order.
        uint64_t count = 0;
        double seconds = 0;
        if (!ReadInKeyOrder(readOnly, &count, &seconds)) return 1;
        std::printf(
            "talvo read in key order (SeekKey after + Get), %llu records: %.0f records/s "
            "(%.3f s)\n",
            static_cast<unsigned long long>(count), static_cast<double>(count) / seconds, seconds);
        std::printf(
            "talvo peak memory of the read, resident (mapped file pages included): "
            "%.1f MiB\n",
            PeakMiB(RUSAGE_SELF));
        return 0;
    }
    std::string base = dir.empty() ? std::filesystem::temp_directory_path().string() : dir;
    std::string pattern = base + "/talvo-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("talvo_bench: mkdtemp");
        return 1;
    }
    const std::string work = pattern;
    const std::string path = work + "/keyed";

    double writeSeconds = 0;
    double readSeconds = 0;
    if (!RunTalvo(path, records, &writeSeconds, &readSeconds)) return 1;
    const double peak = PeakMiB(RUSAGE_SELF);
    const uint64_t dataBytes = DiskBytes(path);
    const uint64_t indexBytes = DiskBytes(path + ".idx") + DiskBytes(path + ".idx-lock");
    const double n = static_cast<double>(records);
    std::printf(
        "talvo write, %llu records of %zu bytes under random %zu-byte keys, durable close: %.0f "
        "records/s (%.3f s)\n",
        static_cast<unsigned long long>(records), kRecordSize, kKeySize, n / writeSeconds,
        writeSeconds);
    std::printf("talvo read in key order (SeekKey after + Get): %.0f records/s (%.3f s)\n",
                n / readSeconds, readSeconds);
    std::printf("talvo peak memory of the write, resident (mapped file pages included): %.1f MiB\n",
                writePeakMiB);
    std::printf("talvo peak memory, resident (mapped file pages included): %.1f MiB\n", peak);
    std::printf("talvo peak memory, private (heap and stacks, sampled): %.1f MiB\n",
                static_cast<double>(peakPrivateKiB) / 1024.0);
    const talvo::engine::WorkCounters& c = talvo::engine::Counters();
    std::printf(
        "talvo work: %llu spills (%llu run bytes), %llu run block reads, %llu filter rebuilds, "
        "%llu merges (%llu tree rebuilds, %llu entries), %llu index transactions, %llu bytes "
        "cleared\n",
        static_cast<unsigned long long>(c.spills), static_cast<unsigned long long>(c.runBytes),
        static_cast<unsigned long long>(c.runBlockReads),
        static_cast<unsigned long long>(c.filterRebuilds),
        static_cast<unsigned long long>(c.merges), static_cast<unsigned long long>(c.treeRebuilds),
        static_cast<unsigned long long>(c.entriesWritten),
        static_cast<unsigned long long>(c.indexTxns),
        static_cast<unsigned long long>(c.bytesCleared));
    std::printf("talvo budgets: %s\n", talvo::CurrentBudgets().c_str());
    std::printf("talvo bytes on disk: %llu (data %llu, index %llu)\n",
                static_cast<unsigned long long>(dataBytes + indexBytes),
                static_cast<unsigned long long>(dataBytes),
                static_cast<unsigned long long>(indexBytes));
    int status = 0;
    if (sqlite) {
        double sqliteSeconds = 0;
        uint64_t sqliteBytes = 0;
        if (RunSqlite(work, records, &sqliteSeconds, &sqliteBytes)) {
            std::printf(
                "sqlite3 write, .import + INSERT ... SELECT into WITHOUT ROWID, one transaction: "
                "%.0f records/s (%.3f s)\n",
                n / sqliteSeconds, sqliteSeconds);
            std::printf("sqlite3 bytes on disk: %llu\n",
                        static_cast<unsigned long long>(sqliteBytes));
            std::printf("write speed ratio talvo/sqlite3: %.2f\n", sqliteSeconds / writeSeconds);
        } else {
            status = 1;
        }
    }
    if (!keep) std::filesystem::remove_all(work);
    return status;
}
