#include "powerloss/state_check.h"

#include <sys/stat.h>

#include <cstring>

#include "powerloss/folder_state.h"
#include "powerloss/process.h"

namespace powerloss {
namespace {

constexpr char kDataMagic[8] = {'T', 'L', 'V', 'D', 'A', 'T', 'A', 0x1A};
constexpr size_t kHeaderCopy = 4096;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The JSON string value of "field" in line, unescaped; false when absent or malformed.
bool StringField(const std::string& line, const std::string& field, std::string* value) {
    const std::string marker = "\"" + field + "\":\"";
    size_t at = line.find(marker);
    if (at == std::string::npos) return false;
    at += marker.size();
    value->clear();
    while (at < line.size() && line[at] != '"') {
        char c = line[at++];
        if (c != '\\') {
            value->push_back(c);
            continue;
        }
        if (at >= line.size()) return false;
        c = line[at++];
        if (c == 'u') {
            if (at + 4 > line.size() || line[at] != '0' || line[at + 1] != '0') return false;
            const int hi = HexValue(line[at + 2]);
            const int lo = HexValue(line[at + 3]);
            if (hi < 0 || lo < 0) return false;
            value->push_back(static_cast<char>(hi * 16 + lo));
            at += 4;
        } else if (c == '\\' || c == '"' || c == '/') {
            value->push_back(c);
        } else {
            return false;
        }
    }
    return at < line.size();
}

bool HexBytes(const std::string& hex, std::string* bytes) {
    if (hex.size() % 2 != 0) return false;
    bytes->clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = HexValue(hex[i]);
        const int lo = HexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes->push_back(static_cast<char>(hi * 16 + lo));
    }
    return true;
}

std::string Shorten(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (text.size() > 400) text = text.substr(0, 400) + "...";
    return text;
}

// The N of "...: sound: N records" in the output of `talvo check`.
bool SoundCount(const std::string& text, uint64_t* count) {
    const size_t at = text.find(": sound: ");
    if (at == std::string::npos) return false;
    *count = std::strtoull(text.c_str() + at + 9, nullptr, 10);
    return true;
}

}  // namespace

bool LooksLikeDataFile(const std::string& bytes) {
    for (size_t copy = 0; copy < 2; ++copy) {
        const size_t at = copy * kHeaderCopy;
        if (bytes.size() >= at + sizeof kDataMagic &&
            std::memcmp(bytes.data() + at, kDataMagic, sizeof kDataMagic) == 0) {
            return true;
        }
    }
    return false;
}

bool ParseDump(const std::string& text, std::vector<DumpedRecord>* records, std::string* problem) {
    records->clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        DumpedRecord r;
        std::string hex;
        if (!StringField(line, "keyHex", &hex) || !HexBytes(hex, &r.key) ||
            !StringField(line, "data", &r.data)) {
            *problem = "a line of talvo dump that cannot be read: " + Shorten(line);
            return false;
        }
        records->push_back(std::move(r));
    }
    return true;
}

StateChecker::StateChecker(std::string talvo, std::vector<std::string> environment,
                           std::string folder, std::map<std::string, std::string> unchanged,
                           OutputRules rules)
    : talvo_(std::move(talvo)),
      environment_(std::move(environment)),
      folder_(std::move(folder)),
      unchanged_(std::move(unchanged)),
      rules_(std::move(rules)) {}

std::string StateChecker::TalvoText(const std::vector<std::string>& args, int* status) {
    std::vector<std::string> argv{talvo_};
    argv.insert(argv.end(), args.begin(), args.end());
    const ProcessResult r = RunProcess(argv, environment_, folder_, 120);
    *status = r.timedOut ? -2 : r.status;
    return r.out + r.err;
}

std::string StateChecker::CheckFile(const std::string& path, uint64_t* count) {
    int status = 0;
    const std::string text = TalvoText({"check", path}, &status);
    if (status != 0 || !SoundCount(text, count)) {
        return "talvo check " + path + " (exit status " + std::to_string(status) +
               "): " + Shorten(text);
    }
    return "";
}

std::vector<std::string> StateChecker::Check(const State& state, const Expectation& expectation,
                                             bool recovery) {
    std::vector<std::string> problems;
    for (const auto& [path, bytes] : unchanged_) {
        const std::string* now = state.Content(path);
        if (now == nullptr)
            problems.push_back(path + ", which the run must leave alone, is gone");
        else if (*now != bytes)
            problems.push_back(path + ", which the run must leave alone, changed");
    }
    std::string problem;
    if (!WriteState(state, folder_, &problem)) {
        problems.push_back(problem);
        return problems;
    }
    // Every other data file (a temporary name, say) must be sound as well.
    for (const StateEntry& e : state.entries) {
        if (e.type != EntryType::kFile || e.path == rules_.name || unchanged_.count(e.path) != 0)
            continue;
        const std::string* bytes = state.Content(e.path);
        if (bytes == nullptr || !LooksLikeDataFile(*bytes)) continue;
        uint64_t count = 0;
        const std::string bad = CheckFile(folder_ + "/" + e.path, &count);
        if (!bad.empty()) problems.push_back(bad);
    }
    CheckOutput(expectation, recovery, &problems);
    return problems;
}

void StateChecker::CheckOutput(const Expectation& expectation, bool recovery,
                               std::vector<std::string>* problems) {
    const std::string path = folder_ + "/" + rules_.name;
    const std::string shown = rules_.name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        if (expectation.promise != Promise::kNothing) {
            problems->push_back("the output " + shown + " is gone, after a program said it made it");
        }
        return;
    }
    uint64_t count = 0;
    const std::string unsound = CheckFile(path, &count);
    if (!unsound.empty()) {
        problems->push_back(unsound);
        return;
    }
    int status = 0;
    const std::string dump = TalvoText({"dump", path, "--order", "key", "--json"}, &status);
    std::vector<DumpedRecord> records;
    std::string problem;
    if (status != 0) {
        problems->push_back("talvo dump " + shown + " (exit status " + std::to_string(status) +
                            "): " + Shorten(dump));
        return;
    }
    if (!ParseDump(dump, &records, &problem)) {
        problems->push_back(problem);
        return;
    }
    size_t fresh = 0;     // records this run may write
    size_t complete = 0;  // of them, records of the complete output
    size_t old = 0;
    for (const DumpedRecord& r : records) {
        std::string key;
        for (const auto& [at, length] : rules_.keyFields) {
            if (at + length <= r.data.size()) key += r.data.substr(at, length);
        }
        if (key != r.key) {
            problems->push_back("the output " + shown + " holds a record under a key its bytes do "
                                "not make: " + Shorten(r.data));
            return;
        }
        if (rules_.records.count(r.data) != 0) {
            ++fresh;
            ++complete;
        } else if (rules_.candidates.count(r.data) != 0) {
            ++fresh;
        } else if (rules_.oldRecords.count(r.data) != 0) {
            ++old;
        } else {
            problems->push_back("the output " + shown + " holds a record of no run: " +
                                Shorten(r.data));
            return;
        }
    }
    const bool isOld = !rules_.oldRecords.empty() && old == records.size() &&
                       old == rules_.oldRecords.size() && !records.empty();
    if (old != 0 && !isOld) {
        problems->push_back("the output " + shown + " mixes " + std::to_string(old) +
                            " records of the output it replaces with " + std::to_string(fresh) +
                            " of this run");
        return;
    }
    if (records.size() != count) {
        problems->push_back("talvo check counts " + std::to_string(count) + " records in " +
                            shown + " and talvo dump delivers " + std::to_string(records.size()));
    }
    switch (expectation.promise) {
        case Promise::kNothing:
        case Promise::kExists:
            if (isOld && expectation.promise == Promise::kExists)
                problems->push_back("the output " + shown + " is still the one the run replaced");
            break;
        case Promise::kComplete: {
            if (isOld || complete != rules_.records.size() || fresh != complete) {
                problems->push_back("the output " + shown + " holds " + std::to_string(complete) +
                                    " of the " + std::to_string(rules_.records.size()) +
                                    " records a program said it wrote" +
                                    (isOld ? " (it is the output the run replaced)" : ""));
            }
            const std::string subkeys = TalvoText({"subkey", path, "list"}, &status);
            if (status != 0 || subkeys != rules_.subkeys) {
                problems->push_back("the subordinate keys of " + shown + " are not those of the "
                                    "complete output: " + Shorten(subkeys));
            }
            break;
        }
        case Promise::kCount:
            if (isOld || fresh != expectation.count) {
                problems->push_back("the output " + shown + " holds " + std::to_string(fresh) +
                                    " records where a program said it wrote " +
                                    std::to_string(expectation.count));
            }
            break;
    }
    if (recovery && problems->empty()) {
        const std::string failed = Recover(count);
        if (!failed.empty()) problems->push_back(failed);
    }
}

std::string StateChecker::Recover(uint64_t count) {
    ++recoveries_;
    const std::string path = folder_ + "/" + rules_.name;
    std::vector<std::string> args{"import", path, "--input", rules_.extraRecordFile};
    if (!rules_.extraKeyFields.empty()) {
        args.push_back("--key-fields");
        args.push_back(rules_.extraKeyFields);
    }
    int status = 0;
    const std::string text = TalvoText(args, &status);
    if (status != 0 || text.find("written: 1,") == std::string::npos) {
        return "one more record could not be imported afterwards (exit status " +
               std::to_string(status) + "): " + Shorten(text);
    }
    uint64_t after = 0;
    const std::string unsound = CheckFile(path, &after);
    if (!unsound.empty()) return "after one more record: " + unsound;
    if (after != count + 1) {
        return "after one more record " + rules_.name + " holds " + std::to_string(after) +
               " records, not " + std::to_string(count + 1);
    }
    return "";
}

}  // namespace powerloss
