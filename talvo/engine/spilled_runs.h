// The keys that did not fit the in-memory batch: sorted runs of (key, record number) entries in
// one spill file beside the data file, with a sparse index of each run in memory. Layout and
// life cycle in spilled_runs.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "talvo/engine.h"
#include "talvo/engine/host_file.h"
#include "talvo/engine/sorted_source.h"
#include "talvo/engine/tuning.h"

namespace talvo::engine {

class PendingKeys;

class SpilledRuns {
  public:
    // The runs of the file whose data file is dataPath, keys of keySize bytes.
    SpilledRuns(std::string dataPath, size_t keySize);
    ~SpilledRuns();
    SpilledRuns(const SpilledRuns&) = delete;
    SpilledRuns& operator=(const SpilledRuns&) = delete;

    // The name the spill file takes, briefly, where no unnamed file can be made.
    static std::string NamedPath(const std::string& dataPath) { return dataPath + ".idx-runs"; }
    // Removes a spill file that a writer killed at the wrong moment left under NamedPath, unless
    // the name is taken by something else (see IsOtherThanAPart). The caller holds the writer
    // lock of the data file.
    static Status RemoveLeftover(const std::string& dataPath);

    bool empty() const { return runs_.empty(); }
    size_t runCount() const { return runs_.size(); }
    uint64_t keyCount() const { return keys_; }
    // Memory held, in bytes.
    size_t bytes() const;

    // Writes the sorted batch as a new run (making the spill file on first use). On failure
    // the runs are as before. REQUIRES: batch.Sort() since its last Add; batch not empty.
    Status Spill(const PendingKeys& batch, const Tuning& tuning, WorkCounters* counters);

    // Whether the key is in a run; *recordNumber receives its number. One block read per run
    // whose range holds the key.
    Status Find(const uint8_t* key, bool* found, uint64_t* recordNumber, WorkCounters* counters);

    // Calls fn with every spilled key, run by run, reading each run in order.
    Status ForEachKey(size_t bufferBytes, const std::function<void(const uint8_t*)>& fn);

    // A source of run i's entries in key order, reading bufferBytes at a time. Valid until Clear.
    Status Reader(size_t run, size_t bufferBytes, std::unique_ptr<SortedSource>* source);

    // Forgets every run and closes the spill file, which takes its space with it.
    void Clear();

  private:
    struct Run {
        uint64_t offset = 0;          // of its first entry in the spill file
        uint64_t count = 0;           // entries
        std::vector<uint8_t> fences;  // the first key of each block
        std::vector<uint8_t> last;    // its last key
    };
    class RunReader;

    Status OpenSpillFile(const Tuning& tuning);
    size_t stride() const { return keySize_ + 8; }

    std::string dataPath_;
    size_t keySize_;
    size_t blockEntries_;  // entries of one block (about 4 KiB)
    HostFile file_;
    uint64_t end_ = 0;  // bytes of the spill file in use
    uint64_t keys_ = 0;
    std::vector<Run> runs_;
    std::vector<uint8_t> block_;  // one block, for Find
};

}  // namespace talvo::engine
