// The commands of the `talvo` tool, one function each, behind the command line (cli.h). Each
// takes its options already parsed, writes its report to the console and throws ToolError on
// failure (see tool_common.h for what a failure leaves behind).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "talvo/tool/layout_command.h"
#include "talvo/tool/record_io.h"
#include "talvo/tool/tool_common.h"

namespace talvo::tool {

enum class Order { kDefault, kKey, kRecord };

struct CreateArgs {
    FileRef ref;
    int type = 0;
    uint32_t recordSize = 0;
    std::optional<uint32_t> keySize;
    std::optional<uint32_t> keyPosition;
};
void CreateCommand(const CreateArgs& args, Console& console);

struct ImportArgs {
    FileRef ref;
    std::string input = "-";
    FlatFormat format = FlatFormat::kFixed;
    std::string keyFields;  // empty: the default key of the file type
    bool progress = false;
};
// Every input problem (an unreadable or cut input, an over-long line, bad key fields) refuses
// the whole import before anything is written. Duplicate keys and records that would read as
// deleted are skipped, reported and counted as refused.
void ImportCommand(const ImportArgs& args, Console& console);

struct ExportArgs {
    FileRef ref;
    Order order = Order::kDefault;
    std::string output = "-";
    FlatFormat format = FlatFormat::kFixed;
};
void ExportCommand(const ExportArgs& args, Console& console);

struct DumpArgs {
    FileRef ref;
    Order order = Order::kDefault;
    std::optional<uint64_t> limit;
    bool json = false;
    CopybookArgs layout;  // --layout: each record field by field (path empty: in one line)
};
void DumpCommand(const DumpArgs& args, Console& console);

struct StatArgs {
    FileRef ref;
    bool json = false;
};
void StatCommand(const StatArgs& args, Console& console);

struct DeleteArgs {
    FileRef ref;
    std::optional<std::string> key;
    std::optional<std::string> keyHex;
    std::optional<uint64_t> record;
};
void DeleteCommand(const DeleteArgs& args, Console& console);

struct SubKeyArgs {
    FileRef ref;
    std::string action;                 // "list" or "add"
    std::vector<std::string> operands;  // add: A B NAME
};
void SubKeyCommand(const SubKeyArgs& args, Console& console);

// Removes the file: its data file and every file beside it that belongs to it. Refused while
// the file is open in another process, and for a file that is not a data file.
void RemoveCommand(const FileRef& ref, Console& console);

// Returns the exit status: kExitOk only for a sound file.
int CheckCommand(const FileRef& ref, Console& console);

struct DirsArgs {
    std::string action;  // "list", "set" or "remove"
    std::vector<std::string> operands;
};
// `dirs set` stores a path as given when it is absolute (a host path from "/", a platform path
// with a drive or from a backslash), else made absolute from the current folder.
void DirsCommand(const DirsArgs& args, Console& console);

struct GenArgs {
    FileRef ref;
    uint64_t records = 0;
    uint64_t seed = 1;
    std::string layout = "customer";
    int type = 4;
    uint64_t deletedEvery = 0;  // 0: none
};
// Creates the file and fills it; on failure removes what it created.
void GenCommand(const GenArgs& args, Console& console);

}  // namespace talvo::tool
