// Memory budgets of an open data file, and counters of the engine's expensive operations.
//
// The budgets bound what an open file holds in memory while it is written, whatever the size of
// the file or of the write: keys beyond them go to disk (sorted runs), commits come earlier,
// mapped pages are let go. The process starts with the defaults below, changed by the
// environment variable TALVO_BUDGETS when it is set (text form at ParseBudgets); SetBudgets
// (talvo/engine.h) and tests change them for files opened afterwards.
//
// The counters let tests see that the expensive operations grow with the records written and not
// with the records times a budget. They count for the whole process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "talvo/engine.h"

namespace talvo::engine {

struct Tuning {
    // slot-buffer: new record slots are gathered up to this many bytes before they are written.
    size_t slotBufferBytes = size_t{1} << 20;
    // pending-keys: the batch of new keys in memory (keys, their hash table and the room to sort
    // them). A full batch is sorted and spilled to disk as a run.
    size_t pendingKeyBytes = size_t{16} << 20;
    // filter: the filter over the spilled keys that spares most lookups in the runs. When it
    // cannot cover the spilled keys within this size, the changes are committed instead.
    size_t filterBytes = size_t{64} << 20;
    // run-buffers: read and write buffers of the runs, together.
    size_t runBufferBytes = size_t{16} << 20;
    // index-txn: the index pages one write transaction of the index may change in memory. A
    // transaction that deletes keys or inserts them in place commits on reaching it; a rebuild
    // of the key tree commits its chunks at this size.
    size_t commitBytes = size_t{64} << 20;
    // mapped: pages of the data file and the index read through their maps are let go again
    // once reads may have brought in this much (the pages stay in the system's cache).
    size_t mappedBytes = size_t{64} << 20;
    // read-ahead: what a reader of keys in order holds ahead of the key it delivers: two batches
    // of keys with their records, and the buffer their slots are read through.
    size_t readAheadBytes = size_t{32} << 20;
    // Spilled runs go to an unnamed file beside the data file where the file system can make
    // one; tests turn this off to take the path of file systems that cannot (a named file,
    // unlinked at once).
    bool unnamedSpillFile = true;
    // A reader of keys in order sweeps the slots through maps where the system will map them;
    // tests turn this off to take the path of systems that will not (read through a buffer).
    bool sweepMaps = true;
};

// The smallest value each budget takes (smaller ones are raised to it).
constexpr size_t kMinBudget = 1024;

// The process's budgets, read when a file is opened. The first call applies TALVO_BUDGETS.
Tuning& CurrentTuning();

// The problem with TALVO_BUDGETS, when it is set and cannot be read (empty otherwise).
const std::string& BudgetsEnvironmentProblem();

// Applies "name=size,name=size,..." to *tuning. Names: slot-buffer, pending-keys, filter,
// run-buffers, index-txn, mapped, read-ahead. Sizes: a whole number of bytes, optionally followed
// by K, M or G (times 1024, 1024^2, 1024^3). kInvalidArgument (naming the part) for anything else,
// a size below kMinBudget or above 1 TiB; *tuning is then unchanged.
Status ParseBudgets(std::string_view text, Tuning* tuning);

// The budgets in the form ParseBudgets reads, sizes in the largest unit that divides them.
std::string BudgetsText(const Tuning& tuning);

struct WorkCounters {
    uint64_t spills = 0;            // runs written
    uint64_t runBytes = 0;          // bytes written to runs
    uint64_t runBlockReads = 0;     // blocks of a run read to settle a lookup the filter let by
    uint64_t filterRebuilds = 0;    // the filter made larger, from the runs
    uint64_t keysSorted = 0;        // keys sorted in the batch
    uint64_t bytesCleared = 0;      // bytes of the batch's hash table cleared for reuse
    uint64_t merges = 0;            // commits that brought new keys into the index
    uint64_t treeRebuilds = 0;      // of them, those that wrote a new key tree
    uint64_t entriesWritten = 0;    // index entries written by merges (old ones copied included)
    uint64_t commits = 0;           // commits that changed the file
    uint64_t indexTxns = 0;         // write transactions of an index committed
    uint64_t indexWalks = 0;        // walks over a whole index in search of a record's key
    uint64_t mapReleases = 0;       // times the mapped pages of a file were let go
    uint64_t mapGrowths = 0;        // times the map of an index was made larger
    uint64_t indexPageChecks = 0;   // index files read through to check their pages
    uint64_t readAheadBatches = 0;  // batches of keys and records read ahead
    uint64_t readAheadReads = 0;    // positional reads of record slots for them
    uint64_t readAheadBytes = 0;    // bytes those reads brought in
    uint64_t readAheadSweeps = 0;   // segments of keys read ahead by one pass over the slots
    uint64_t readAheadFewestSwept = 0;    // keys of the smallest of those segments (0: none)
    uint64_t readAheadSpillBytes = 0;     // bytes their records took through the unnamed file
    uint64_t readAheadKeySpillBytes = 0;  // and their keys and record numbers
    uint64_t slotChunksReadAhead = 0;     // chunks of slots read ahead for reads by number in order
};

WorkCounters& Counters();

}  // namespace talvo::engine
