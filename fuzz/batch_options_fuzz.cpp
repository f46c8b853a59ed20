// The batch program's options, up to the dialog: the input is the words that follow
// "ordelin-batch FILE /DDAT" (separated by zero bytes), where FILE is a small keyed file of
// customers. The words are parsed as the program parses them; when they make a run, it runs as a
// dry run through the start-up and the dialog, which refuse what they cannot take. Whatever the
// words, nothing throws, the input stays as it was and a dry run writes nothing.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "fuzz/fuzz_support.h"
#include "talvo/engine.h"
#include "talvo/talvolib.h"

namespace {

constexpr size_t kMaxInput = 2048;
constexpr size_t kMaxWords = 24;

// The scratch folder's data: a keyed input file CUST in DAT (another folder, OUT, for outputs),
// made once; its bytes, to compare with after every run.
const std::string& InputBytes() {
    static const std::string bytes = [] {
        const std::string data = fuzz::ScratchPath("data");
        std::filesystem::create_directories(data);
        std::filesystem::create_directories(fuzz::ScratchPath("out"));
        std::filesystem::create_directories(fuzz::ScratchPath("home"));
        ::setenv("TALVO_CONFIG", fuzz::ScratchPath("talvo.ini").c_str(), 1);
        ::setenv("XDG_DATA_HOME", fuzz::ScratchPath("home").c_str(), 1);
        ::setenv("ORDELIN_WINDIR", fuzz::ScratchPath("home").c_str(), 1);
        fuzz::WriteWholeFile(
            fuzz::ScratchPath("talvo.ini"),
            "[Directories]\nDAT=" + data + "\nOUT=" + fuzz::ScratchPath("out") + "\n");
        talvo::RegisterTalvoLib();
        talvo::Engine engine;
        const std::string cust = data + "/CUST";
        FUZZ_CHECK(engine.Create(cust, {talvo::FileType::kKeyed, 20, 4, 0}).ok(),
                   "the input is made");
        std::shared_ptr<talvo::DataFile> file;
        FUZZ_CHECK(engine.Open(cust, &file).ok(), "the input opens");
        for (int n = 0; n < 12; ++n) {
            std::string record =
                "K" + std::to_string(100 + n * 7) + " customer " + std::to_string(n);
            record.resize(20, ' ');
            const auto* raw = reinterpret_cast<const uint8_t*>(record.data());
            FUZZ_CHECK(file->Put({raw, 4}, {raw, record.size()}).ok(), "a record is put");
        }
        FUZZ_CHECK(engine.Close(file).ok(), "the input is written");
        return fuzz::ReadWholeFile(cust) + fuzz::ReadWholeFile(cust + ".idx");
    }();
    return bytes;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        // The index's lock file comes and goes with its readers.
        if (!name.ends_with(".idx-lock")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    const std::string& input = InputBytes();
    const std::string cust = fuzz::ScratchPath("data/CUST");
    const std::vector<std::string> before = FolderNames(fuzz::ScratchPath("data"));

    std::vector<std::string> words{batch::kProgramName, cust, "/DDAT"};
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && words.size() < kMaxWords) {
        const size_t zero = rest.find('\0');
        words.emplace_back(rest.substr(0, zero));
        rest.remove_prefix(zero == std::string_view::npos ? rest.size() : zero + 1);
    }
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());

    const batch::ParsedCommandLine parsed =
        batch::ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    if (!parsed.options) {
        FUZZ_CHECK(parsed.exitStatus == batch::kExitOk || parsed.exitStatus == batch::kExitUsage,
                   "a command line without a run ends at once");
        if (parsed.exitStatus == batch::kExitUsage) {
            FUZZ_CHECK(parsed.err.find(batch::kUsageLine) != std::string::npos,
                       "a command line that cannot be used shows the usage line");
        }
        return 0;
    }
    batch::BatchOptions options = *parsed.options;
    options.dryRun = true;
    options.progress = false;
    std::ostringstream out, err;
    const int status = batch::RunBatch(options, out, err, false);
    FUZZ_CHECK(status >= batch::kExitOk && status <= batch::kExitPartial,
               "a run ends with one of the program's statuses");
    if (status == batch::kExitRefused || status == batch::kExitUsage) {
        FUZZ_CHECK(!err.str().empty(), "a refused run says why");
    }
    FUZZ_CHECK(fuzz::ReadWholeFile(cust) + fuzz::ReadWholeFile(cust + ".idx") == input,
               "the input stays as it was");
    FUZZ_CHECK(FolderNames(fuzz::ScratchPath("data")) == before &&
                   FolderNames(fuzz::ScratchPath("out")).empty(),
               "a dry run makes no file");
    return 0;
}
