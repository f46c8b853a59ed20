// The fixture of ordelin-batch's end-to-end tests: the built program on real data files in a
// temporary folder (made with the built talvo tool), with its own configuration (OUT), settings
// (QVTEMP is temp/) and home, and helpers to run it and read what it left.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "batch/testing/json_value.h"
#include "e2e/program_run.h"

namespace batchtest {

namespace fs = std::filesystem;

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

using e2e::ReadFile;
using e2e::WriteFile;

// Records of 20 bytes: id (0..3), city (4..9), name (10..19).
inline std::string Record(const std::string& id, const std::string& city, const std::string& name) {
    std::string r = id + city + std::string(6 - city.size(), ' ') + name;
    return r + std::string(20 - r.size(), ' ');
}

inline const std::vector<std::string> kPeople = {
    Record("K001", "PARIS", "Anna"),  Record("K002", "LYON", "Bert"),
    Record("K003", "PARIS", "Clara"), Record("K004", "OSLO", "Dora"),
    Record("K005", "LYON", "Emil"),   Record("K006", "ROME", "Fritz"),
};

class Batch : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch_.root();
        for (const char* sub : {"data", "out", "temp", "home/share/Corvane Group"}) {
            fs::create_directories(dir / sub);
        }
        // Host paths serve as they are: the platform takes /x/y for Z:\x\y.
        WriteFile(dir / "talvo.ini", "[Directories]\nOUT=" + (dir / "out").string() + "\n");
        WriteFile(dir / "home" / "share" / "Corvane Group" / "NAVO.INI",
                  "[Directories]\nQVTEMP=" + (dir / "temp").string() + "\n");
        scratch_.SetVariable("ORDELIN_PROGRAM_PATH", (dir / "windows" / "ordelin").string());
    }

    std::string Data(const std::string& name) const { return (dir / "data" / name).string(); }
    std::string Out(const std::string& name) const { return (dir / "out" / name).string(); }

    // Runs `program` with `args` in the scratch folder (standard error to a terminal when
    // `options` name one).
    Result Spawn(const char* program, const std::vector<std::string>& args, e2e::RunOptions options,
                 std::string* terminal = nullptr) {
        const e2e::RunResult r = e2e::RunProgram(program, args, options);
        EXPECT_FALSE(r.timedOut || r.SanitizerReport()) << r.Describe();
        if (terminal != nullptr) *terminal = r.terminal;
        return {r.Status(), r.out, r.err};
    }
    Result Spawn(const char* program, const std::vector<std::string>& args) {
        return Spawn(program, args, scratch_.Options());
    }

    Result Run(const std::vector<std::string>& args) { return Spawn(ORDELIN_BATCH_EXE, args); }

    std::string Talvo(const std::vector<std::string>& args) {
        const Result r = Spawn(TALVO_EXE, args);
        EXPECT_EQ(r.code, 0) << "talvo " << args[0] << ": " << r.err;
        return r.out;
    }

    // A data file in data/ holding `records`; types 4 and 36 keyed on their first four bytes.
    void MakeInput(const std::string& name, int type, const std::vector<std::string>& records) {
        std::vector<std::string> create{"create",        Data(name), "--type", std::to_string(type),
                                        "--record-size", "20"};
        if (type == 4 || type == 36) {
            create.insert(create.end(), {"--key-size", "4"});
            if (type == 36) create.insert(create.end(), {"--key-pos", "0"});
        }
        Talvo(create);
        std::string flat;
        for (const std::string& r : records) flat += r;
        WriteFile(dir / "flat.bin", flat);
        std::vector<std::string> import{"import", Data(name), "--input",
                                        (dir / "flat.bin").string()};
        if (type == 4) import.insert(import.end(), {"--key-fields", "0:4"});
        Talvo(import);
    }

    // Every byte of the input's files (the data file and its key index).
    std::string Snapshot(const std::string& name) const {
        std::string all = ReadFile(Data(name));
        if (fs::exists(Data(name) + ".idx")) all += "|" + ReadFile(Data(name) + ".idx");
        return all;
    }

    // The output's records in its key order.
    std::string Exported(const std::string& path) {
        return Talvo({"export", path, "--order", "key", "--format", "fixed"});
    }

    // The JSON object on the last line of standard output.
    jsontest::Value Json(const Result& r) {
        std::string out = r.out;
        while (!out.empty() && out.back() == '\n') out.pop_back();
        const std::string last =
            out.substr(out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1);
        std::optional<jsontest::Value> v = jsontest::Parse(last);
        if (!v) {
            ADD_FAILURE() << "not a JSON line: " << last;
            return {};
        }
        return *v;
    }

    std::vector<std::string> Base(const std::string& input, const std::string& output) const {
        return {Data(input), "/DDAT", "--out", output};
    }

    e2e::Scratch scratch_;
    fs::path dir;
};

inline std::vector<std::string> Plus(std::vector<std::string> a,
                                     const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace batchtest
