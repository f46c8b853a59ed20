// Build benchmark: the utility's whole build, driven through the dialog on the headless host as a
// person would (output name, key size, key fields, directory, order, Build File), against the
// `talvo` tool's import of the same records under the same output key, in the same run; and the
// same build through `ordelin-batch`, the batch form, as a process of its own.
//
//   build_bench [--records N] [--repeat N] [--dir FOLDER] [--keep] [--talvo PATH] [--batch PATH]
//               [--no-check]
//
// In a temporary folder (its own component configuration, settings file, QVTEMP and home):
//   1. N records of 100 bytes are written to a flat file and imported (untimed) into the input, a
//      keyed file whose key is record bytes 18..27;
//   2. then, in turn and --repeat times (default once), each round starting one kind later than
//      the round before (so that over five rounds each kind runs once in each place of a round):
//      - `talvo create` and `talvo import --key-fields 10:8,0:4` of the flat file (timed: the
//        import's process alone);
//      - build in key order: the input read along its key, written under bytes 10..17 then 0..3;
//      - build in record order: the same output key, the input read by record number;
//      - `ordelin-batch` on the input with the same output key, in key order and in record order
//        (timed: its whole process, start-up and build).
// The output of each run is erased after it (the first import's excepted, kept as the reference;
// in the last round, unless --no-check, each build's output is read back through the engine first
// and must hold the same keys and records as the reference), the files of earlier runs are
// synced and the run's input is read through (into the system's cache) before each timed run. Each
// build is timed from the click on Build File to the end of its handler (the output closed, the
// list file written). Prints each time as it comes, then for each kind the median and the least
// time, their ratios to the import's, the median of the ratios of each round's run to that round's
// import, the median processor time (user and system: of the import's and the batch's processes,
// and of all the threads of this process during a build through the dialog) and its ratio to the
// import's, and the peak resident memory: of the import's and the batch's processes, and of this
// process during each build through the dialog.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_keys.h"
#include "fsclient/dornapi.h"
#include "platform/path.h"
#include "talvo/engine.h"
#include "talvo/talvolib.h"
#include "ui/headless/headless_host.h"
#include "ui/ordelin_dlg.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using D = COrdelinDlg;

constexpr size_t kRecordSize = 100;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Record i: its number in decimal in bytes 0..9, a bijection of i in bytes 10..17 (so the output
// key 10..17 + 0..3 is unique), another in bytes 18..27 (the input key), filler after.
void MakeRecord(uint64_t i, uint8_t* record) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%010llu", static_cast<unsigned long long>(i));
    std::memcpy(record, digits, 10);
    const uint64_t outputPart = bench::Mix(i + 0x51ED270B);
    std::memcpy(record + 10, &outputPart, 8);
    bench::MakeKey(i, record + 18);  // 12 bytes; the input key is the first 10 of them
    for (size_t j = 30; j < kRecordSize; ++j) record[j] = static_cast<uint8_t>('a' + (i + j) % 26);
}

struct ToolRun {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;  // user and system time of the process and the ones it waited for
    double peakMiB = 0;
};

double CpuSeconds(const struct rusage& usage) {
    const auto seconds = [](const struct timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The processor time of this process (all its threads) so far.
double OwnCpuSeconds() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

// Runs a program (the talvo tool, ordelin-batch) with `args`, its standard output discarded;
// times it and takes its peak memory. The peak comes from /usr/bin/time (package time), which
// starts the program from a small process: a child this process spawned itself would report at
// least this process's own peak, which the kernel carries across fork and exec. Without it, the
// peak is not known (negative).
ToolRun RunTool(const std::string& tool, const std::vector<std::string>& args) {
    const bool timed = ::access("/usr/bin/time", X_OK) == 0;
    const std::string peakFile =
        (fs::temp_directory_path() / ("build_bench_peak_" + std::to_string(::getpid()))).string();
    std::vector<std::string> all;
    if (timed) all = {"/usr/bin/time", "-f", "%M", "-o", peakFile};
    all.push_back(tool);
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ToolRun run;
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "build_bench: cannot start %s: %s\n", tool.c_str(),
                     std::strerror(spawned));
        return run;
    }
    int status = 0;
    struct rusage usage {};
    if (::wait4(pid, &status, 0, &usage) != pid) return run;
    run.seconds = Seconds(start);
    run.cpuSeconds = CpuSeconds(usage);
    run.peakMiB = -1;
    if (timed) {
        std::ifstream peak(peakFile);
        double kib = 0;
        if (peak >> kib) run.peakMiB = kib / 1024.0;
        fs::remove(peakFile);
    }
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!run.ok) {
        std::fprintf(stderr, "build_bench: %s %s failed\n", fs::path(tool).filename().c_str(),
                     args[0].c_str());
    }
    return run;
}

// This process's peak resident memory since the last ResetPeak (VmHWM), in MiB.
double PeakMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);  // no /proc: the peak of the whole life of the process
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Starts the peak anew from what is resident now, so that a build through the dialog is not
// charged with what the runs and the read-backs before it held.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Reads the files through, so that the run after finds them in the system's cache: on the
// project's machine the host takes back pages of the cache that lie unread for a while, and the
// first run after a pause would read its input from the disk while the others do not.
void ReadThrough(const std::vector<fs::path>& files) {
    std::vector<char> chunk(size_t{1} << 20);
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
               in.gcount() > 0) {
        }
    }
}

// Types into an edit and leaves it, as a person would.
bool Enter(headless::HeadlessHost& host, int id, const std::string& text) {
    return host.Type(id, text) && host.MoveFocus(D::kInputFile);
}

// One build through the dialog: returns its seconds (and in `cpuSeconds` the processor time of
// this process meanwhile), or a negative number when it failed.
double BuildThroughTheDialog(CDornApi& client, const std::string& output, bool keyOrder,
                             uint64_t records, double& cpuSeconds) {
    COrdelinDlg dialog;
    headless::HeadlessHost host;
    dialog.SetInputFile(client, "input", "dat");
    if (!host.Open(dialog)) {
        std::fprintf(stderr, "build_bench: the dialog refused the input\n");
        return -1;
    }
    const bool described =
        Enter(host, D::kOutputFile, output) && Enter(host, D::kOutputKeySize, "12") &&
        Enter(host, D::kFieldPosition, "10") && Enter(host, D::kFieldLength, "8") &&
        host.Click(D::kAddKeyField) && Enter(host, D::kFieldPosition, "0") &&
        Enter(host, D::kFieldLength, "4") && host.Click(D::kAddKeyField) &&
        host.ChooseComboItem(D::kOutputDirectory, "OUT") &&
        host.Click(keyOrder ? D::kUseKeyTree : D::kUseRecordNumber) && host.Enabled(D::kBuildFile);
    if (!described) {
        std::fprintf(stderr, "build_bench: the output could not be described\n");
        return -1;
    }
    host.TakeMessageBoxes();
    ::sync();  // no run pays for the write-back of the files of the runs before it
    const double cpuStart = OwnCpuSeconds();
    const Clock::time_point start = Clock::now();
    host.Click(D::kBuildFile);
    const double seconds = Seconds(start);
    cpuSeconds = OwnCpuSeconds() - cpuStart;
    const std::vector<platform::ShownMessageBox> boxes = host.TakeMessageBoxes();
    const std::string expected = std::to_string(records) + " records were written";
    if (boxes.empty() || boxes.back().text != expected ||
        dialog.lastBuild.recordsWritten != records) {
        std::fprintf(stderr, "build_bench: the build said \"%s\"\n",
                     boxes.empty() ? "nothing" : boxes.back().text.c_str());
        return -1;
    }
    host.Close();
    return seconds;
}

// Reads two outputs in key order through the engine; true when keys and records agree.
bool SameContent(const fs::path& a, const fs::path& b, uint64_t records) {
    talvo::Engine engine;
    std::shared_ptr<talvo::DataFile> fa;
    std::shared_ptr<talvo::DataFile> fb;
    if (!engine.Open(a.string(), &fa).ok() || !engine.Open(b.string(), &fb).ok()) return false;
    std::string ka;
    std::string kb;
    std::vector<uint8_t> ra;
    std::vector<uint8_t> rb;
    uint64_t count = 0;
    const auto bytes = [](const std::string& s) {
        return std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    bool same = true;
    for (bool after = false;; after = true, ++count) {
        const bool moreA = fa->SeekKey(bytes(ka), after, &ka).ok();
        const bool moreB = fb->SeekKey(bytes(kb), after, &kb).ok();
        if (moreA != moreB || ka != kb) same = false;
        if (!same || !moreA) break;
        if (!fa->Get(bytes(ka), &ra).ok() || !fb->Get(bytes(kb), &rb).ok() || ra != rb) {
            same = false;
            break;
        }
    }
    engine.Close(fa);
    engine.Close(fb);
    return same && count == records;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t records = 1000000;
    std::string dir;
    std::string tool;
    std::string batch;
    bool keep = false;
    bool check = true;
    int repeat = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--records" && i + 1 < argc) {
            char* end = nullptr;
            records = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0' || records == 0 || records > 0x7FFFFFFF) {
                std::fprintf(stderr, "build_bench: --records takes a count from 1 to 2147483647\n");
                return 2;
            }
        } else if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (arg == "--talvo" && i + 1 < argc) {
            tool = argv[++i];
        } else if (arg == "--batch" && i + 1 < argc) {
            batch = argv[++i];
        } else if (arg == "--keep") {
            keep = true;
        } else if (arg == "--no-check") {
            check = false;
        } else if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
            if (repeat < 1 || repeat > 100) {
                std::fprintf(stderr, "build_bench: --repeat takes a count from 1 to 100\n");
                return 2;
            }
        } else {
            std::fprintf(stderr,
                         "usage: build_bench [--records N] [--repeat N] [--dir FOLDER] [--keep] "
                         "[--talvo PATH] [--batch PATH] [--no-check]\n");
            return 2;
        }
    }
    // Beside the benchmarks in the build folder: bench/../talvo/tool/talvo, bench/../batch/...
    const fs::path buildFolder = fs::canonical("/proc/self/exe").parent_path().parent_path();
    if (tool.empty()) tool = (buildFolder / "talvo" / "tool" / "talvo").string();
    if (batch.empty()) batch = (buildFolder / "batch" / "ordelin-batch").string();
    const std::string base = dir.empty() ? fs::temp_directory_path().string() : dir;
    std::string pattern = base + "/build-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("build_bench: mkdtemp");
        return 1;
    }
    const fs::path work = pattern;
    for (const char* sub : {"data", "out", "temp", "share", "windir", "app"}) {
        fs::create_directories(work / sub);
    }
    std::ofstream(work / "talvo.ini")
        << "[Directories]\nDAT=" << platform::ToPlatformPath((work / "data").string())
        << "\nOUT=" << platform::ToPlatformPath((work / "out").string()) << "\n";
    ::setenv("HOME", work.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (work / "share").c_str(), 1);
    ::setenv("TALVO_CONFIG", (work / "talvo.ini").c_str(), 1);
    ::setenv("ORDELIN_WINDIR", (work / "windir").c_str(), 1);
    ::setenv("ORDELIN_PROGRAM_PATH", (work / "app" / "ordelin").c_str(), 1);
    CDornApi::SetSetting("Directories", "QVTEMP",
                         platform::ToPlatformPath((work / "temp").string()).c_str());

    int status = 1;
    const auto run = [&]() -> bool {
        const fs::path flat = work / "records.bin";
        {
            std::ofstream out(flat, std::ios::binary);
            std::vector<uint8_t> record(kRecordSize);
            for (uint64_t i = 0; i < records; ++i) {
                MakeRecord(i, record.data());
                out.write(reinterpret_cast<const char*>(record.data()), kRecordSize);
            }
            if (!out) return false;
        }
        const std::string input = (work / "data" / "input").string();
        if (!RunTool(tool,
                     {"create", input, "--type", "4", "--record-size", "100", "--key-size", "10"})
                 .ok ||
            !RunTool(tool, {"import", input, "--input", flat.string(), "--format", "fixed",
                            "--key-fields", "18:10"})
                 .ok) {
            return false;
        }
        // The input's data file and every file beside it that belongs to it (its index).
        std::vector<fs::path> inputFiles;
        for (const auto& entry : fs::directory_iterator(work / "data")) {
            if (entry.path().filename().string().rfind("input", 0) == 0) {
                inputFiles.push_back(entry.path());
            }
        }
        std::printf("records: %llu of %zu bytes\n", static_cast<unsigned long long>(records),
                    kRecordSize);
        std::fflush(stdout);

        // The five kinds of run, in turn, `repeat` times: whatever else the machine does at a
        // moment weighs on each kind alike. Each keeps its times; the outputs of a round are
        // removed before the next, those of the last round are read back.
        enum Kind { kImport, kBuildKey, kBuildRecord, kBatchKey, kBatchRecord, kKinds };
        const char* const names[kKinds] = {"talvo import", "build in key order",
                                           "build in record order", "ordelin-batch, key order",
                                           "ordelin-batch, record order"};
        std::vector<double> seconds[kKinds];
        std::vector<double> cpu[kKinds];
        double peak[kKinds] = {0, 0, 0, 0, 0};
        talvo::RegisterTalvoLib();
        CDornApi client("Ordelin Utility", 100, 51, 0, false);
        if (!client.Connect(nullptr, false)) return false;
        const auto note = [&](Kind kind, double s, double c, double mib) {
            seconds[kind].push_back(s);
            cpu[kind].push_back(c);
            peak[kind] = std::max(peak[kind], mib);
            std::printf("%-28s %.3f s (%.0f records/s), cpu %.3f s\n",
                        (std::string(names[kind]) + ":").c_str(), s,
                        static_cast<double>(records) / s, c);
            std::fflush(stdout);
        };
        const auto outputOf = [&](const char* name, int round) {
            return std::string(name) + (round + 1 == repeat ? "" : std::to_string(round));
        };
        // One run of a kind; false when it failed.
        const auto runKind = [&](Kind kind, int round) -> bool {
            ::sync();  // no run pays for the write-back of the files of the runs before it
            if (kind == kImport) {
                ReadThrough({flat});
            } else {
                ReadThrough(inputFiles);
            }
            if (kind == kImport) {
                const std::string imported = (work / "out" / outputOf("imported", round)).string();
                if (!RunTool(tool, {"create", imported, "--type", "4", "--record-size", "100",
                                    "--key-size", "12"})
                         .ok) {
                    return false;
                }
                ::sync();
                const ToolRun import =
                    RunTool(tool, {"import", imported, "--input", flat.string(), "--format",
                                   "fixed", "--key-fields", "10:8,0:4"});
                if (!import.ok) return false;
                note(kImport, import.seconds, import.cpuSeconds, import.peakMiB);
                return true;
            }
            const bool keyOrder = kind == kBuildKey || kind == kBatchKey;
            if (kind == kBuildKey || kind == kBuildRecord) {
                double c = 0;
                ResetPeak();
                const double s = BuildThroughTheDialog(
                    client, outputOf(keyOrder ? "BYKEY" : "BYNUMBER", round), keyOrder, records, c);
                if (s < 0) return false;
                note(kind, s, c, PeakMiB());
                return true;
            }
            // The batch as a script runs it, one process a build.
            const ToolRun b = RunTool(
                batch, {input, "/DDAT", "--out", outputOf(keyOrder ? "BATCH" : "BATCHREC", round),
                        "--out-dir", "OUT", "--key-size", "12", "--key", "10:8", "--key", "0:4",
                        "--order", keyOrder ? "key" : "record"});
            if (!b.ok) return false;
            note(kind, b.seconds, b.cpuSeconds, b.peakMiB);
            return true;
        };
        // Every run starts from the same state of the system: the output of the run before it
        // is gone (read back first, in the last round) and only the first import's output stays,
        // as the reference. On the project's machine a run that finds the outputs of the runs
        // before it still in the system cache writes its own into memory the host has to supply
        // anew, and took up to twice as long as the same run at the start of a round.
        const char* const outputNames[kKinds] = {"imported", "BYKEY", "BYNUMBER", "BATCH",
                                                 "BATCHREC"};
        std::string reference;
        bool same = true;
        for (int round = 0; round < repeat; ++round) {
            // Each round starts one kind later than the round before, so that over five rounds
            // each kind takes each place once.
            for (int k = 0; k < kKinds; ++k) {
                const auto kind = static_cast<Kind>((k + round) % kKinds);
                if (!runKind(kind, round)) return false;
                const std::string output =
                    (work / "out" / outputOf(outputNames[kind], round)).string();
                if (kind == kImport && reference.empty()) {
                    reference = output;
                    continue;
                }
                if (check && round + 1 == repeat && kind != kImport) {
                    same = SameContent(output, reference, records) && same;
                }
                talvo::Engine engine;
                (void)engine.Erase(output);
            }
        }
        // Medians (and, with several rounds, the least of each kind, which load on the machine
        // can only lengthen), and their ratios to the import's.
        const auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v.size() % 2 != 0 ? v[v.size() / 2]
                                     : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
        };
        const auto least = [](const std::vector<double>& v) {
            return *std::min_element(v.begin(), v.end());
        };
        // The ratio of each round's run to that round's import, whose median follows the
        // machine's load more closely than the ratio of the medians: runs of one round lie
        // minutes apart at most, while the load of the host changes over the whole series.
        const auto pairedRatio = [&](int k) {
            std::vector<double> r;
            for (std::size_t i = 0; i < seconds[k].size() && i < seconds[kImport].size(); ++i) {
                r.push_back(seconds[k][i] / seconds[kImport][i]);
            }
            return median(r);
        };
        const double importMedian = median(seconds[kImport]);
        const double importLeast = least(seconds[kImport]);
        const double importCpu = median(cpu[kImport]);
        const std::string rounds =
            "over " + std::to_string(repeat) + (repeat == 1 ? " round" : " rounds");
        std::printf("%-28s %8s %8s %10s %10s %9s %8s %8s %10s\n", rounds.c_str(), "median s",
                    "least s", "median/imp", "least/imp", "round/imp", "cpu s", "cpu/imp",
                    "peak MiB");
        for (int k = 0; k < kKinds; ++k) {
            std::printf("%-28s %8.3f %8.3f %10.2f %10.2f %9.2f %8.3f %8.2f %10.1f\n", names[k],
                        median(seconds[k]), least(seconds[k]), median(seconds[k]) / importMedian,
                        least(seconds[k]) / importLeast, pairedRatio(k), median(cpu[k]),
                        median(cpu[k]) / importCpu, peak[k]);
        }
        std::printf(
            "(round/imp: the median over the rounds of each run's time over the import's of its "
            "round)\n");
        std::printf(
            "(cpu: the median processor time, user and system, of each kind; of the builds "
            "through the dialog, all the threads of this process)\n");
        std::printf(
            "(peak memory of the builds through the dialog: of this process, which ran them "
            "all, its high-water mark reset before each)\n");
        std::fflush(stdout);

        if (check) {
            std::printf("outputs read back: %s\n", same ? "the same keys and records" : "DIFFER");
            if (!same) return false;
        }
        return true;
    };
    if (run()) status = 0;
    if (!keep) fs::remove_all(work);
    return status;
}
