// The commands that look at files and the directory table: dump, stat, subkey, check, dirs.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "talvo/facade/talvo_config.h"
#include "talvo/tool/bytes_text.h"
#include "talvo/tool/commands.h"
#include "talvo/tool/file_check.h"
#include "talvo/tool/layout_dump.h"

namespace talvo::tool {

namespace {

std::string_view AsText(const std::vector<uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The path that `dirs set` stores: an absolute one as given; a relative one from the current
// folder (separators as "/", "." parts dropped, ".." parts resolved where that names the same
// folder: not after a symbolic link), so that it names the same folder wherever it is used.
std::string StoredDirectoryPath(const std::string& path) {
    namespace fs = std::filesystem;
    const bool absolute =
        path[0] == '/' || path[0] == '\\' ||
        (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':');
    if (absolute) return path;
    std::string relative = path;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    std::error_code ec;
    const fs::path current = fs::current_path(ec);
    if (ec) throw ToolError("cannot make " + path + " absolute: " + ec.message());
    fs::path joined = current;
    for (const fs::path& part : fs::path(relative)) {
        if (!part.empty() && part != ".") joined /= part;
    }
    std::string normal = joined.lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
    struct stat given {};
    struct stat collapsed {};
    if (::stat(relative.c_str(), &given) == 0 &&
        (::stat(normal.c_str(), &collapsed) != 0 || given.st_dev != collapsed.st_dev ||
         given.st_ino != collapsed.st_ino)) {
        return joined.string();
    }
    return normal;
}

// The keys of the index by record number (empty where a record has none).
std::vector<std::optional<std::string>> KeysByRecord(DataFile& file, uint64_t slots,
                                                     const std::string& path) {
    std::vector<std::optional<std::string>> keys(slots);
    std::string key;
    uint64_t recordNumber = 0;
    Status s = file.SeekKey({}, false, &key, &recordNumber);
    while (s.ok()) {
        if (recordNumber < slots) keys[recordNumber] = key;
        std::string previous = std::move(key);
        s = file.SeekKey(AsBytes(previous), true, &key, &recordNumber);
    }
    if (s.code() != Error::kEndOfKeys) Require(s, "cannot read the keys of " + path);
    return keys;
}

struct DumpEntry {
    std::optional<uint64_t> recordNumber;
    std::optional<std::string> key;
    std::optional<std::string_view> data;
    bool deleted = false;
};

void PrintEntry(const DumpEntry& e, bool json, std::ostream& out) {
    if (json) {
        out << "{\"record\":";
        if (e.recordNumber)
            out << *e.recordNumber;
        else
            out << "null";
        out << ",\"key\":" << (e.key ? JsonString(*e.key) : "null");
        out << ",\"keyHex\":" << (e.key ? "\"" + ToHex(*e.key) + "\"" : "null");
        out << ",\"data\":" << (e.data ? JsonString(*e.data) : "null");
        out << ",\"deleted\":" << (e.deleted ? "true" : "false") << "}\n";
        return;
    }
    out << (e.recordNumber ? std::to_string(*e.recordNumber) : "-");
    if (e.key) out << "  key \"" << EscapeBytes(*e.key) << "\" " << ToHex(*e.key);
    if (e.data) out << "  data \"" << EscapeBytes(*e.data) << "\"";
    if (e.deleted) out << "  deleted";
    out << "\n";
}

}  // namespace

void DumpCommand(const DumpArgs& args, Console& console) {
    std::string path = ResolveFile(args.ref);
    Engine engine;
    OpenedFile file(engine, path);
    const FileInfo info = file->Info();
    const bool keyed = IsKeyed(info.type);
    const bool keyOnly = keyed && info.recordSize == 0;
    Order order = args.order;
    if (order == Order::kDefault) order = keyOnly ? Order::kKey : Order::kRecord;
    if (order == Order::kKey && !keyed) {
        throw UsageError("a type " + std::to_string(static_cast<int>(info.type)) +
                         " file has no keys; use --order record");
    }
    if (order == Order::kRecord && keyOnly) {
        throw UsageError("a key-only file has no records; use --order key");
    }
    std::optional<RecordFields> fields;
    if (!args.layout.path.empty()) {
        if (keyOnly) throw UsageError("a key-only file has no records to show with --layout");
        fields.emplace(args.layout, info.recordSize, path);
    }
    auto show = [&](const DumpEntry& e) {
        if (fields && e.data) {
            fields->Print(e.recordNumber, e.key, *e.data, e.deleted, args.json, console.out);
        } else {
            PrintEntry(e, args.json, console.out);
        }
    };
    const uint64_t limit = args.limit.value_or(UINT64_MAX);
    const int markOffset = DeletedMarkOffset(info.type);
    std::vector<uint8_t> record;
    uint64_t shown = 0;

    if (order == Order::kRecord) {
        std::vector<std::optional<std::string>> keys;
        if (keyed && limit != 0) keys = KeysByRecord(*file, info.slotCount, path);
        for (uint64_t n = 0; shown < limit; ++n) {
            Status s = file->ReadRecord(n, &record);
            if (s.code() == Error::kNotFound) break;
            Require(s, "cannot read record " + std::to_string(n) + " of " + path);
            DumpEntry e;
            e.recordNumber = n;
            if (n < keys.size()) e.key = keys[n];
            e.data = AsText(record);
            e.deleted = markOffset >= 0 && record.size() > static_cast<size_t>(markOffset) &&
                        record[markOffset] == kDeletedMark;
            show(e);
            ++shown;
        }
    } else {
        std::string key;
        uint64_t recordNumber = 0;
        Status s = shown < limit ? file->SeekKey({}, false, &key, &recordNumber)
                                 : Status(Error::kEndOfKeys, "");
        while (s.ok()) {
            DumpEntry e;
            e.key = key;
            if (!keyOnly) {
                e.recordNumber = recordNumber;
                Require(file->ReadRecord(recordNumber, &record),
                        "cannot read record " + std::to_string(recordNumber) + " of " + path);
                e.data = AsText(record);
                e.deleted = record.size() > static_cast<size_t>(markOffset) &&
                            record[markOffset] == kDeletedMark;
            }
            show(e);
            if (++shown >= limit) break;
            std::string previous = std::move(key);
            s = file->SeekKey(AsBytes(previous), true, &key, &recordNumber);
        }
        if (!s.ok() && s.code() != Error::kEndOfKeys) {
            Require(s, "cannot read the keys of " + path);
        }
    }
    file.Close();
}

void StatCommand(const StatArgs& args, Console& console) {
    std::string path = ResolveFile(args.ref);
    Engine engine;
    OpenedFile file(engine, path);
    const FileInfo info = file->Info();
    std::vector<std::pair<int, SubKeyDef>> subKeys;
    for (int i = 1; i <= kMaxSubKeys; ++i) {
        SubKeyDef def;
        Status s = file->GetSubKey(i, &def);
        if (s.code() == Error::kNotFound) continue;
        Require(s, "cannot read subordinate key " + std::to_string(i));
        subKeys.emplace_back(i, def);
    }
    file.Close();

    std::ostream& out = console.out;
    if (args.json) {
        out << "{\"dataPath\":" << JsonString(info.dataPath)
            << ",\"indexPath\":" << JsonString(info.indexPath)
            << ",\"type\":" << static_cast<int>(info.type) << ",\"recordSize\":" << info.recordSize
            << ",\"keySize\":" << info.keySize << ",\"keyPosition\":" << info.keyPosition
            << ",\"formatVersion\":" << info.formatVersion << ",\"records\":" << info.slotCount
            << ",\"deleted\":" << info.deletedCount << ",\"keys\":" << info.keyCount
            << ",\"created\":" << info.created << ",\"modified\":" << info.modified
            << ",\"accessed\":" << info.accessed << ",\"subKeys\":[";
        for (size_t i = 0; i < subKeys.size(); ++i) {
            const auto& [index, def] = subKeys[i];
            out << (i ? "," : "") << "{\"index\":" << index << ",\"first\":" << def.first
                << ",\"second\":" << def.second << ",\"name\":" << JsonString(def.name) << "}";
        }
        out << "]}\n";
        return;
    }
    out << "data file       " << info.dataPath << "\n";
    if (!info.indexPath.empty()) out << "index           " << info.indexPath << "\n";
    out << "type            " << TypeText(info.type) << "\n"
        << "record size     " << info.recordSize
        << (IsKeyed(info.type) && info.recordSize == 0 ? " (key-only file)\n" : "\n");
    if (IsKeyed(info.type)) out << "key size        " << info.keySize << "\n";
    if (info.type == FileType::kExtendedKeyed) {
        out << "key position    " << info.keyPosition << "\n";
    }
    out << "format version  " << info.formatVersion << "\n"
        << "records         " << info.slotCount << "\n"
        << "deleted         " << info.deletedCount << "\n";
    if (IsKeyed(info.type)) out << "keys            " << info.keyCount << "\n";
    out << "created         " << FormatLocalTime(info.created) << "\n"
        << "modified        " << FormatLocalTime(info.modified) << "\n"
        << "accessed        " << FormatLocalTime(info.accessed) << "\n"
        << "subordinate keys " << subKeys.size() << "\n";
    for (const auto& [index, def] : subKeys) {
        out << "  " << index << "  " << def.first << " " << def.second << " " << def.name << "\n";
    }
}

void SubKeyCommand(const SubKeyArgs& args, Console& console) {
    int32_t first = 0;
    int32_t second = 0;
    if (args.action == "list") {
        if (!args.operands.empty()) throw UsageError("subkey list takes no further arguments");
    } else if (args.action == "add") {
        if (args.operands.size() != 3) throw UsageError("subkey add needs A B NAME");
        auto a = ParseSigned(args.operands[0], INT32_MIN, INT32_MAX);
        auto b = ParseSigned(args.operands[1], INT32_MIN, INT32_MAX);
        if (!a || !b) throw UsageError("subkey add: A and B must be whole numbers");
        if (args.operands[2].empty() || args.operands[2].size() > kMaxSubKeyName) {
            throw UsageError("subkey add: NAME must have 1 to " + std::to_string(kMaxSubKeyName) +
                             " characters");
        }
        first = static_cast<int32_t>(*a);
        second = static_cast<int32_t>(*b);
    } else {
        throw UsageError("subkey: the action must be list or add, not \"" + args.action + "\"");
    }
    std::string path = ResolveFile(args.ref);
    Engine engine;
    OpenedFile file(engine, path);
    if (args.action == "add") {
        int index = 0;
        Require(file->AddSubKey({first, second, args.operands[2]}, &index),
                "cannot add the subordinate key");
        file.Close();
        console.out << "added subordinate key " << index << "\n";
        return;
    }
    for (int i = 1; i <= kMaxSubKeys; ++i) {
        SubKeyDef def;
        Status s = file->GetSubKey(i, &def);
        if (s.code() == Error::kNotFound) continue;
        Require(s, "cannot read subordinate key " + std::to_string(i));
        console.out << i << "  " << def.first << " " << def.second << " " << def.name << "\n";
    }
    file.Close();
}

int CheckCommand(const FileRef& ref, Console& console) {
    std::string path = ResolveFile(ref);
    Engine engine;
    std::shared_ptr<DataFile> file;
    Status s = engine.Open(path, &file);
    if (!s.ok()) {
        if (s.code() == Error::kNoSuchFile)
            throw ToolError("cannot open " + path + ": " + StatusText(s));
        console.out << path << ": cannot be opened: " << StatusText(s) << "\n";
        console.err << path << ": 1 problem(s) found\n";
        return kExitFailure;
    }
    std::vector<std::string> problems;
    CheckSummary summary;
    bool sound = CheckDataFile(*file, &problems, &summary);
    Status closed = engine.Close(file);
    for (const std::string& p : problems) console.out << p << "\n";
    if (!closed.ok()) {
        console.out << path << ": cannot be closed: " << StatusText(closed) << "\n";
        sound = false;
    }
    if (!sound) {
        console.err << path << ": " << (problems.empty() ? 1 : problems.size())
                    << " problem(s) found\n";
        return kExitFailure;
    }
    console.out << path << ": sound: " << summary.slots << " records (" << summary.deleted
                << " deleted), " << summary.keys << " keys\n";
    return kExitOk;
}

void DirsCommand(const DirsArgs& args, Console& console) {
    const size_t wanted = args.action == "list" ? 0 : args.action == "set" ? 2 : 1;
    if (args.action != "list" && args.action != "set" && args.action != "remove") {
        throw UsageError("dirs: the action must be list, set or remove, not \"" + args.action +
                         "\"");
    }
    if (args.operands.size() != wanted) {
        throw UsageError(args.action == "list"  ? "dirs list takes no further arguments"
                         : args.action == "set" ? "dirs set needs NAME PATH"
                                                : "dirs remove needs NAME");
    }
    std::string configPath;
    Require(TalvoConfigPath(&configPath), "cannot find the directory table");
    Require(CheckDirectoryConfigReadable(configPath), "cannot use the directory table");
    if (args.action == "list") {
        std::vector<DirectoryConfigEntry> entries;
        Require(LoadDirectoryConfig(configPath, &entries), "cannot use the directory table");
        for (const auto& e : entries) console.out << e.name << "=" << e.path << "\n";
        if (entries.empty()) console.err << "no directories in " << configPath << "\n";
        return;
    }
    if (args.action == "set") {
        const std::string path =
            args.operands[1].empty() ? args.operands[1] : StoredDirectoryPath(args.operands[1]);
        Status s = SetDirectoryConfig(configPath, args.operands[0], path);
        if (s.code() == Error::kInvalidArgument) throw UsageError(StatusText(s));
        Require(s, "cannot set directory " + args.operands[0]);
        console.out << args.operands[0] << "=" << path << " set in " << configPath << "\n";
        return;
    }
    Status s = RemoveDirectoryConfig(configPath, args.operands[0]);
    if (s.code() == Error::kNotFound) {
        throw ToolError("no directory \"" + args.operands[0] + "\" in " + configPath);
    }
    Require(s, "cannot remove directory " + args.operands[0]);
    console.out << args.operands[0] << " removed from " << configPath << "\n";
}

}  // namespace talvo::tool
