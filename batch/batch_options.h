// The command line of ordelin-batch:
//
//   ordelin-batch FILE /DNAME [/NET:NAME] --out NAME [options]
//
// FILE, /DNAME and /NET:NAME are the window's command line, handed to the start-up as they are.
// The options say what a person would do in the dialog: which texts to type into which edits,
// which directory to choose, which key fields to add, which order to click, how to answer the
// overwrite question; and how the run reports (dry run, JSON, progress).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace batch {

// Exit statuses of the program.
constexpr int kExitOk = 0;       // the build reached its end and wrote every record read
constexpr int kExitRefused = 1;  // the start-up, the dialog or the build refused or ended early
constexpr int kExitUsage = 2;    // a command line that cannot be used
constexpr int kExitPartial = 3;  // the build reached its end and some records were not written
// A signal (SIGINT, SIGTERM) stopped the build at a record: 128 + the signal, as a shell says.
constexpr int kExitSignalBase = 128;

constexpr char kProgramName[] = "ordelin-batch";
constexpr char kUsageLine[] = "usage: ordelin-batch FILE /DNAME [/NET:NAME] --out NAME [options]";

// A key field as given: the texts typed into the Position and Length edits. A field given by its
// name in the record layout (--key NAME) has the name, and its position and length once the name
// is resolved (batch/key_names.h).
struct KeyFieldText {
    std::string position;
    std::string length;
    std::string name;
    friend bool operator==(const KeyFieldText&, const KeyFieldText&) = default;
};

enum class InputOrder { Key, Record };

struct BatchOptions {
    // FILE, then the /D and /NET options, in the order given.
    std::vector<std::string> words;
    std::string out;
    std::optional<std::string> outDir;
    std::optional<std::string> recordSize;
    std::optional<std::string> keySize;
    std::vector<KeyFieldText> keys;
    // The record layout that --key names refer to: a COBOL copybook and the options it is read
    // with (as `talvo layout` takes them).
    std::optional<std::string> layout;
    std::optional<std::string> record;
    std::string sourceFormat = "detect";
    std::string binarySize = "1-2-4-8";
    std::optional<std::string> keyPos;
    bool noKeyPos = false;
    std::optional<std::string> from;
    std::optional<std::string> to;
    std::optional<InputOrder> order;
    bool overwrite = false;
    bool dryRun = false;
    bool json = false;
    bool progress = false;
};

// What parsing the command line gave: options to run with, or a status to exit with at once
// and the texts to print first (help or version on standard output; an error and the usage
// line on standard error).
struct ParsedCommandLine {
    std::optional<BatchOptions> options;
    int exitStatus = kExitOk;
    std::string out;
    std::string err;
};

// Parses argv (argv[0] is the program). Never throws; a command line that cannot be used gives
// kExitUsage with the reason and the usage line. The words after FILE must each be a /D or a
// /NET option (in any letter case); numbers must be written in decimal (the key field's
// position and length without a sign, as their edits take only digits). A --key that is not
// POS:LEN (no colon, not digits alone) names a field and needs --layout; the name itself is
// resolved later (batch/key_names.h).
ParsedCommandLine ParseCommandLine(int argc, const char* const* argv);

// "ordelin-batch VERSION".
std::string VersionText();

}  // namespace batch
