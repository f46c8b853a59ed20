// The workloads whose crash states and failure points are tried: what is made before the run
// (unrecorded) and the program runs that are recorded, as command lines of `talvo` and
// `ordelin-batch`.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "powerloss/state_check.h"

namespace powerloss {

struct Step {
    bool batch = false;             // ordelin-batch, else talvo
    std::vector<std::string> args;  // "{root}" stands for the recorded folder
    std::string budgets;            // $TALVO_BUDGETS for the run ("": the defaults)
    // What the program's acknowledgement promises about the output.
    Promise promise = Promise::kComplete;
};

struct Workload {
    std::string name;
    std::string title;
    std::vector<Step> setup;  // makes the recorded folder's first state
    std::vector<Step> steps;  // the recorded runs
    std::string output;       // the output's name in the folder
    std::string input;        // the data file the output's records come from ("": a flat file)
    std::vector<std::pair<size_t, size_t>> keyFields;  // its key, from the record's bytes
    std::string extraKeyFields;  // --key-fields to import one more record ("": type 36)
    bool replacesOutput = false;  // the setup leaves an older output of the same name
};

// The workloads, on inputs of `records` records. The directory table names the recorded folder
// DAT (ordelin-batch's /DDAT).
std::vector<Workload> Workloads(size_t records);

}  // namespace powerloss
