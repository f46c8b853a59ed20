#include "layout/testing/cobol_oracle.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "e2e/program_run.h"
#include "layout/copybook_reader.h"
#include "layout/field_ref.h"

namespace layout::testing {

namespace {

// One place to measure: an occurrence of an item of a record of a case.
struct Place {
    size_t record = 0;
    int item = 0;
    std::vector<uint32_t> subscripts;
};

using PlaceKey = std::tuple<size_t, size_t, size_t>;  // case, record, place within the record

// The occurrences measured of an item: the first, the last, and in more than one table the
// last of each table with the others at their first.
std::vector<std::vector<uint32_t>> Occurrences(const std::vector<Dimension>& dimensions) {
    std::vector<std::vector<uint32_t>> result(1, std::vector<uint32_t>(dimensions.size(), 1));
    if (dimensions.empty()) return result;
    std::vector<uint32_t> last;
    for (const Dimension& d : dimensions) last.push_back(d.occurs);
    if (last != result[0]) result.push_back(last);
    if (dimensions.size() > 1) {
        for (size_t d = 0; d < dimensions.size(); ++d) {
            std::vector<uint32_t> one(dimensions.size(), 1);
            one[d] = dimensions[d].occurs;
            if (one != result[0] && one != last) result.push_back(one);
        }
    }
    return result;
}

// A reference as COBOL writes it, one qualifier a line so that no line grows long.
std::string Reference(const Record& record, int item, const std::vector<uint32_t>& subscripts) {
    std::string text = record.items[item].name;
    for (int p = record.items[item].parent; p >= 0; p = record.items[p].parent) {
        if (!record.items[p].filler) text += "\n      OF " + record.items[p].name;
    }
    if (!subscripts.empty()) {
        text += " (";
        for (size_t s = 0; s < subscripts.size(); ++s) {
            text += (s ? " " : "") + std::to_string(subscripts[s]);
        }
        text += ")";
    }
    return text;
}

std::string WithSubscripts(const std::string& name, const std::vector<uint32_t>& subscripts) {
    if (subscripts.empty()) return name;
    std::string text = name + "(";
    for (size_t s = 0; s < subscripts.size(); ++s) {
        text += (s ? "," : "") + std::to_string(subscripts[s]);
    }
    return text + ")";
}

// The program of one case: its places go into *places.
std::string CaseProgram(size_t index, const OracleCase& c, const Copybook& copybook,
                        std::vector<Place>* places) {
    std::ostringstream p;
    p << "IDENTIFICATION DIVISION.\nPROGRAM-ID. OC" << index << ".\nDATA DIVISION.\n"
      << "WORKING-STORAGE SECTION.\n01 ORACLE-P USAGE POINTER.\n"
      << "01 ORACLE-N REDEFINES ORACLE-P PIC 9(18) COMP-5.\n";
    if (c.format == SourceFormat::kFixed) {
        p << ">>SOURCE FORMAT IS FIXED\n       COPY \"case" << index
          << ".cpy\".\n       >>SOURCE FORMAT IS FREE\n";
    } else {
        p << "COPY \"case" << index << ".cpy\".\n";
    }
    p << "PROCEDURE DIVISION.\n";
    for (size_t r = 0; r < copybook.records.size(); ++r) {
        const Record& record = copybook.records[r];
        if (record.items.front().filler) continue;
        for (const Item& item : record.items) {
            if (!item.dependingOn.empty()) {
                p << "    MOVE " << item.occurs << " TO " << item.dependingOn << "\n";
            }
        }
        p << "    SET ORACLE-P TO ADDRESS OF " << record.name() << "\n    DISPLAY \"R " << r
          << " \" ORACLE-N\n";
        for (size_t i = 0; i < record.items.size(); ++i) {
            const int item = static_cast<int>(i);
            if (record.items[i].filler) continue;
            // Only names the compiler can tell apart by qualification are measured.
            for (const auto& subscripts : Occurrences(Dimensions(record, item))) {
                std::string check;
                auto resolved = ResolveField(
                    record, WithSubscripts(QualifiedName(record, item), subscripts), &check);
                if (!resolved || resolved->item != item) continue;
                const std::string ref = Reference(record, item, subscripts);
                p << "    SET ORACLE-P TO ADDRESS OF " << ref << "\n    DISPLAY \"I " << r << " "
                  << places->size() << " \" ORACLE-N \" \" FUNCTION BYTE-LENGTH(" << ref
                  << ")\n";
                places->push_back({r, item, subscripts});
            }
        }
    }
    p << "    GOBACK.\nEND PROGRAM OC" << index << ".\n";
    return p.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

}  // namespace

std::string FindCobc() {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/cobc";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

OracleResult CompareWithCompiler(const std::vector<OracleCase>& cases, BinarySize binarySize,
                                 const std::string& workFolder) {
    OracleResult result;
    ReadOptions options;
    options.binarySize = binarySize;
    std::vector<Copybook> copybooks(cases.size());
    std::vector<std::vector<Place>> places(cases.size());
    std::vector<bool> read(cases.size(), false);
    std::string programs;
    std::string calls;
    for (size_t i = 0; i < cases.size(); ++i) {
        options.format = cases[i].format;
        ReadError error;
        if (!ReadCopybook(cases[i].text, options, &copybooks[i], &error)) {
            result.disagreements.push_back(cases[i].name + ": the reader refuses it: " +
                                           error.Text());
            continue;
        }
        read[i] = true;
        WriteText(workFolder + "/case" + std::to_string(i) + ".cpy", cases[i].text);
        programs += CaseProgram(i, cases[i], copybooks[i], &places[i]);
        calls += "    DISPLAY \"C " + std::to_string(i) + "\"\n    CALL \"OC" +
                 std::to_string(i) + "\"\n";
    }
    const std::string source = "IDENTIFICATION DIVISION.\nPROGRAM-ID. ORACLE.\n"
                               "PROCEDURE DIVISION.\n" +
                               calls + "    STOP RUN.\nEND PROGRAM ORACLE.\n" + programs;
    WriteText(workFolder + "/oracle.cob", source);

    const std::string cobc = FindCobc();
    if (cobc.empty()) {
        result.failure = "cobc is not installed (Debian package gnucobol3)";
        return result;
    }
    e2e::RunOptions run;
    for (char** e = environ; *e != nullptr; ++e) run.environment.push_back(*e);
    run.workingFolder = workFolder;
    run.timeoutSeconds = 600;
    const e2e::RunResult compiled = e2e::RunProgram(
        cobc,
        {"-x", "-free", "-w", "-fstatic-call", "-flarger-redefines-ok",
         std::string("-fbinary-size=") + BinarySizeName(binarySize), "-o", "oracle",
         "oracle.cob"},
        run);
    if (compiled.Status() != 0) {
        result.failure = "cobc fails (" + compiled.Describe() + "): " + compiled.err.substr(0, 4000);
        return result;
    }
    run.timeoutSeconds = 120;
    const e2e::RunResult ran = e2e::RunProgram(workFolder + "/oracle", {}, run);
    if (ran.Status() != 0) {
        result.failure = "the compiled program fails: " + ran.Describe() + " " +
                         ran.err.substr(0, 2000);
        return result;
    }
    result.compiled = true;

    // Lines: "C case", "R record address", "I record place address length".
    std::map<std::pair<size_t, size_t>, uint64_t> recordAddress;
    std::map<PlaceKey, std::pair<uint64_t, uint64_t>> measured;
    std::istringstream lines(ran.out);
    std::string line;
    size_t current = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "C") {
            fields >> current;
        } else if (kind == "R") {
            size_t r = 0;
            uint64_t address = 0;
            fields >> r >> address;
            recordAddress[{current, r}] = address;
        } else if (kind == "I") {
            size_t r = 0, place = 0;
            uint64_t address = 0, length = 0;
            fields >> r >> place >> address >> length;
            measured[{current, r, place}] = {address, length};
        }
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        if (!read[i]) continue;
        for (size_t k = 0; k < places[i].size(); ++k) {
            const Place& place = places[i][k];
            const Record& record = copybooks[i].records[place.record];
            const std::string what = cases[i].name + ": " +
                                     WithSubscripts(QualifiedName(record, place.item),
                                                    place.subscripts);
            auto found = measured.find({i, place.record, k});
            auto base = recordAddress.find({i, place.record});
            if (found == measured.end() || base == recordAddress.end()) {
                result.disagreements.push_back(what + ": the compiled program did not measure it");
                continue;
            }
            const uint64_t offset = found->second.first - base->second;
            const uint64_t length = found->second.second;
            const uint64_t ourOffset = OccurrenceOffset(record, place.item, place.subscripts);
            const uint64_t ourLength = record.items[place.item].length;
            ++result.compared;
            if (offset != ourOffset || length != ourLength) {
                result.disagreements.push_back(
                    what + ": compiler offset " + std::to_string(offset) + " length " +
                    std::to_string(length) + ", reader offset " + std::to_string(ourOffset) +
                    " length " + std::to_string(ourLength));
            }
        }
    }
    return result;
}

}  // namespace layout::testing
