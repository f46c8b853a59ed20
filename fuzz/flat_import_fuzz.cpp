// The flat-file import of the `talvo` tool, through its command line. The input's first bytes
// choose the file to import into and the options:
//   byte 0      type (1, 2, 4, 36 by its value mod 4; bit 2: a key-only file when keyed)
//   bytes 1-2   record size (mod 300, at least 1)
//   byte 3      key size (mod 64, at least 1)
//   byte 4      key position of a type 36 file (mod the room left beside the key)
//   byte 5      bit 0: --format lines; bit 1: give --key-fields; bit 2: budgets so small that
//               the keys are spilled, merged and committed on the way
//   then        the text of --key-fields, up to a line break
//   the rest    the flat file
// Whatever the input, the import either succeeds and reports what it wrote, or fails with a
// message and leaves the file as it was; the file is sound afterwards either way.
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "talvo/engine.h"
#include "talvo/tool/cli.h"
#include "talvo/tool/file_check.h"

namespace {

constexpr size_t kMaxInput = 1 << 16;

using talvo::FileType;

bool MakeOptions(fuzz::InputReader& input, talvo::CreateOptions* options) {
    static const FileType kTypes[] = {FileType::kRecords1, FileType::kRecords2, FileType::kKeyed,
                                      FileType::kExtendedKeyed};
    const uint8_t typeChoice = input.Byte();
    options->type = kTypes[typeChoice % 4];
    const bool keyed =
        options->type == FileType::kKeyed || options->type == FileType::kExtendedKeyed;
    options->recordSize = 1 + input.Number(2) % 300;
    options->keySize = keyed ? 1 + input.Byte() % 64 : (input.Byte(), 0);
    const uint8_t position = input.Byte();
    if (keyed && (typeChoice & 4) != 0) options->recordSize = 0;
    if (options->type == FileType::kExtendedKeyed && options->recordSize != 0) {
        if (options->keySize > options->recordSize) return false;
        options->keyPosition = position % (options->recordSize - options->keySize + 1);
    }
    return true;
}

// "records read: R, written: W, refused: F" as the last line; W, or nothing.
std::optional<uint64_t> WrittenCount(const std::string& out) {
    const size_t at = out.rfind("records read: ");
    if (at == std::string::npos) return std::nullopt;
    const size_t written = out.find(", written: ", at);
    if (written == std::string::npos) return std::nullopt;
    return std::stoull(out.substr(written + 11));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    fuzz::InputReader input(data, size);
    talvo::CreateOptions options;
    if (!MakeOptions(input, &options)) return 0;
    const uint8_t flags = input.Byte();
    const std::string keyFields(input.TextUntil('\n', 64));
    const std::string flatPath = fuzz::ScratchPath("flat");
    const std::string filePath = fuzz::ScratchPath("FILE");
    fuzz::ClearScratch();
    fuzz::WriteWholeFile(flatPath, input.Rest());

    static const std::string kDefaultBudgets = talvo::CurrentBudgets();
    FUZZ_CHECK(talvo::SetBudgets((flags & 4) != 0
                                     ? "slot-buffer=1K,pending-keys=1K,filter=1K,run-buffers=4K"
                                     : kDefaultBudgets)
                   .ok(),
               "the budgets are taken");
    talvo::Engine engine;
    const talvo::Status created = engine.Create(filePath, options);
    if (created.code() == talvo::Error::kInvalidArgument) return 0;  // a shape files cannot have
    FUZZ_CHECK(created.ok(), "the file to import into is made: " + created.message());

    std::vector<std::string> arguments{"talvo",
                                       "import",
                                       filePath,
                                       "--input",
                                       flatPath,
                                       "--format",
                                       (flags & 1) != 0 ? "lines" : "fixed"};
    if ((flags & 2) != 0) {
        arguments.push_back("--key-fields");
        arguments.push_back(keyFields);
    }
    std::vector<const char*> argv;
    for (const std::string& a : arguments) argv.push_back(a.c_str());
    std::ostringstream out, err;
    talvo::tool::Console console{out, err};
    const int status = talvo::tool::RunTool(static_cast<int>(argv.size()), argv.data(), console);

    std::shared_ptr<talvo::DataFile> file;
    FUZZ_CHECK(engine.Open(filePath, &file).ok(), "the file opens after the import");
    const talvo::FileInfo info = file->Info();
    std::vector<std::string> problems;
    talvo::tool::CheckSummary summary;
    const bool sound = talvo::tool::CheckDataFile(*file, &problems, &summary);
    FUZZ_CHECK(sound, "the file is sound after the import: " +
                          (problems.empty() ? std::string() : problems.front()));
    FUZZ_CHECK(engine.Close(file).ok(), "the file closes");

    const uint64_t stored = options.recordSize == 0 ? info.keyCount : info.slotCount;
    if (status == 0) {
        const std::optional<uint64_t> written = WrittenCount(out.str());
        FUZZ_CHECK(written.has_value(), "a successful import reports its counts: " + out.str());
        FUZZ_CHECK(*written == stored, "the import wrote what it reports");
        FUZZ_CHECK(err.str().empty(), "a successful import has nothing to complain of");
    } else {
        FUZZ_CHECK(status == 1 || status == 2, "the import fails with status 1 or 2");
        FUZZ_CHECK(stored == 0 && info.deletedCount == 0, "a failed import writes nothing");
        const std::string text = err.str();
        FUZZ_CHECK(text.find("talvo: ") != std::string::npos && text.back() == '\n',
                   "a failed import says why");
    }
    FUZZ_CHECK(engine.Erase(filePath).ok(), "the file is erased");
    fuzz::ClearScratch();
    return 0;
}
