// The checks every crash state of a workload must pass, through the `talvo` tool as a user would
// run it on the folder a power loss left:
//   1. every file that was there before the run and is not a part of the output (the input
//      above all) holds exactly the bytes it held;
//   2. every data file is sound (`talvo check`), the output included when it exists;
//   3. the output holds records of this run only: each one is a record the run may write (one
//      of its input), under the key its bytes make; or else it is the output the run replaces,
//      whole;
//   4. what a program acknowledged is there: an output it said it made exists, an output it
//      said it filled holds every record (and the subordinate key definitions) of the complete
//      output, or exactly the count it reported;
//   5. on request, a writer can go on: one more record imported into the output is taken, and
//      the file stays sound with one record more.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "powerloss/crash_model.h"

namespace powerloss {

// One record of `talvo dump --json`.
struct DumpedRecord {
    std::string key;
    std::string data;
};
// Parses the lines of `talvo dump --json` (the escapes \\, \" and \u00HH); false with *problem
// when a line is not of that form.
bool ParseDump(const std::string& text, std::vector<DumpedRecord>* records, std::string* problem);

// What the output of a workload may hold.
struct OutputRules {
    std::string name;  // the output's data file, relative to the recorded folder
    std::vector<std::pair<size_t, size_t>> keyFields;  // its key: byte ranges of the record
    std::set<std::string> records;                     // the complete output's records
    // Every record the run may write (a failed write lets a later record of the same key in);
    // empty: those of the complete output.
    std::set<std::string> candidates;
    std::string subkeys;           // `talvo subkey NAME list` of the complete output
    std::set<std::string> oldRecords;  // the output the run replaces (empty: none)
    std::string extraRecordFile;       // a record with a key of its own, for rule 5
    std::string extraKeyFields;        // --key-fields for it ("" when the file knows its key)
};

// What the acknowledgements before a crash promise about the output.
enum class Promise { kNothing, kExists, kComplete, kCount };
struct Expectation {
    Promise promise = Promise::kNothing;
    uint64_t count = 0;  // kCount
};

class StateChecker {
  public:
    // talvo: the tool; environment: its environment; folder: where states are written;
    // unchanged: relative path -> bytes of every file that must stay as it is.
    StateChecker(std::string talvo, std::vector<std::string> environment, std::string folder,
                 std::map<std::string, std::string> unchanged, OutputRules rules);

    // The problems of a state (none: it passed). With `recovery`, rule 5 as well.
    std::vector<std::string> Check(const State& state, const Expectation& expectation,
                                   bool recovery);

    size_t recoveries() const { return recoveries_; }
    const OutputRules& rules() const { return rules_; }
    const std::string& folder() const { return folder_; }

  private:
    // `talvo check` of a file; its record count in *count. Empty when sound, else the reason.
    std::string CheckFile(const std::string& path, uint64_t* count);
    void CheckOutput(const Expectation& expectation, bool recovery,
                     std::vector<std::string>* problems);
    std::string Recover(uint64_t count);
    std::string TalvoText(const std::vector<std::string>& args, int* status);

    std::string talvo_;
    std::vector<std::string> environment_;
    std::string folder_;
    std::map<std::string, std::string> unchanged_;
    OutputRules rules_;
    size_t recoveries_ = 0;
};

// Whether bytes begin like a data file (a valid-looking magic in either header copy).
bool LooksLikeDataFile(const std::string& bytes);

}  // namespace powerloss
