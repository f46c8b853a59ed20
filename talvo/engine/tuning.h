// Memory budgets of an open data file. They bound what an open file holds in memory while it is
// being written; tests lower them to exercise the paths that large files take.
#pragma once

#include <cstddef>

namespace talvo::engine {

struct Tuning {
    // New record slots are gathered up to this many bytes before they are written out.
    size_t slotBufferBytes = size_t{1} << 20;
    // New keys are gathered up to this much memory before they go into the index, sorted.
    size_t pendingKeyBytes = size_t{96} << 20;
    // A commit (data flushed, index committed) happens once the uncommitted changes are
    // estimated to hold this many bytes of index pages and records.
    size_t commitBytes = size_t{512} << 20;
};

// The process's budgets, read when a file is opened.
Tuning& CurrentTuning();

}  // namespace talvo::engine
