// The commands that make and change files: create, import, delete, gen; and export.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "talvo/tool/bytes_text.h"
#include "talvo/tool/commands.h"
#include "talvo/tool/data_gen.h"

namespace talvo::tool {

namespace {

FileType CheckedType(int type) {
    switch (type) {
        case 1:
            return FileType::kRecords1;
        case 2:
            return FileType::kRecords2;
        case 4:
            return FileType::kKeyed;
        case 36:
            return FileType::kExtendedKeyed;
    }
    throw UsageError("--type must be 1, 2, 4 or 36, not " + std::to_string(type));
}

bool ReadsAsDeleted(FileType type, std::span<const uint8_t> record) {
    int offset = DeletedMarkOffset(type);
    return offset >= 0 && record.size() > static_cast<size_t>(offset) &&
           record[offset] == kDeletedMark;
}

std::string KeyText(std::string_view key) {
    return "\"" + EscapeBytes(key) + "\" (" + ToHex(key) + ")";
}

// How an import finds the key of an input record.
struct KeyRule {
    bool keyed = false;
    bool keyOnly = false;              // the input record is the key
    std::vector<KeyField> fields;      // type 4
    std::optional<KeyField> inRecord;  // type 36: the key position
};

KeyRule MakeKeyRule(const FileInfo& info, const std::string& keyFields) {
    KeyRule rule;
    rule.keyed = IsKeyed(info.type);
    if (!rule.keyed) {
        if (!keyFields.empty()) {
            throw UsageError("--key-fields applies to type 4 files; this file has no keys");
        }
        return rule;
    }
    rule.keyOnly = info.recordSize == 0;
    if (info.type == FileType::kExtendedKeyed && !rule.keyOnly) {
        if (!keyFields.empty()) {
            throw UsageError(
                "--key-fields applies to type 4 files; a type 36 file reads the key "
                "at its key position " +
                std::to_string(info.keyPosition));
        }
        rule.inRecord = KeyField{info.keyPosition, info.keySize};
        return rule;
    }
    if (rule.keyOnly) {
        if (!keyFields.empty()) {
            throw UsageError(
                "--key-fields does not apply to a key-only file: each input "
                "record is a key");
        }
        return rule;
    }
    if (keyFields.empty()) {
        if (info.keySize > info.recordSize) {
            throw UsageError("give --key-fields: the key size " + std::to_string(info.keySize) +
                             " is larger than the record size " + std::to_string(info.recordSize));
        }
        rule.fields = {{0, info.keySize}};
        return rule;
    }
    std::string error;
    auto fields = ParseKeyFields(keyFields, info.recordSize, info.keySize, &error);
    if (!fields) throw UsageError("--key-fields: " + error);
    rule.fields = std::move(*fields);
    return rule;
}

// The input of an import, read twice when it must be checked as a whole before the first write:
// once to check it (standard input is kept meanwhile in an unnamed temporary file), once to write.
// Fixed records from a plain file need no first reading: its length tells whether it ends on a
// record boundary.
class ImportInput {
  public:
    ImportInput(const ImportArgs& args, uint32_t unitSize) : args_(args), unitSize_(unitSize) {
        if (args.input == "-") {
            in_ = &std::cin;
        } else {
            errno = 0;
            file_.open(args.input, std::ios::binary);
            if (!file_) {
                // The stream keeps no reason; the system's is in errno when it refused the open.
                const int reason = errno;
                throw ToolError("cannot open the input " + args.input +
                                (reason != 0 ? ": " + std::string(std::strerror(reason)) : ""));
            }
            in_ = &file_;
        }
    }

    // Reads the input through, refusing it as a whole when it cannot be imported; returns the
    // number of records it holds. Afterwards Reader() starts at its first record.
    uint64_t Check(Console& console) {
        struct stat st {};
        if (args_.input != "-" && args_.format == FlatFormat::kFixed &&
            ::stat(args_.input.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            const auto length = static_cast<uint64_t>(st.st_size);
            if (length % unitSize_ != 0) {
                throw ToolError("the input ends inside record " +
                                std::to_string(length / unitSize_ + 1) + " (" +
                                std::to_string(length % unitSize_) + " of " +
                                std::to_string(unitSize_) + " bytes); nothing was imported");
            }
            format_ = FlatFormat::kFixed;
            return length / unitSize_;
        }
        if (args_.input == "-") OpenSpool();
        FlatReader reader(*in_, args_.format, unitSize_);
        std::span<const uint8_t> record;
        std::string error;
        uint64_t count = 0;
        while (reader.Next(&record, &error)) {
            ++count;
            if (spool_.is_open() &&
                !spool_.write(reinterpret_cast<const char*>(record.data()), record.size())) {
                throw ToolError("cannot keep standard input in a temporary file: " +
                                std::string(std::strerror(errno)) + "; nothing was imported");
            }
        }
        if (!error.empty()) throw ToolError(error + "; nothing was imported");
        if (reader.refusedCount() != 0) {
            for (const std::string& text : reader.refused()) console.err << text << "\n";
            if (reader.refusedCount() > reader.refused().size()) {
                console.err << "... and " << reader.refusedCount() - reader.refused().size()
                            << " more lines\n";
            }
            throw ToolError(std::to_string(reader.refusedCount()) + " of " +
                            std::to_string(count + reader.refusedCount()) +
                            " lines are longer than the record size " + std::to_string(unitSize_) +
                            "; nothing was imported");
        }
        if (spool_.is_open()) {
            spool_.flush();
            spool_.seekg(0);
            in_ = &spool_;
            format_ = FlatFormat::kFixed;  // kept as whole records
        } else {
            file_.clear();
            file_.seekg(0);
            format_ = args_.format;
        }
        if (!*in_) throw ToolError("cannot read the input again; nothing was imported");
        return count;
    }

    // The records for the import: the input is a file by now (standard input was kept in one).
    FlatReader Reader() { return FlatReader(*in_, format_, unitSize_, true); }

  private:
    void OpenSpool() {
        const char* folder = std::getenv("TMPDIR");
        std::string path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                           "/talvo-import-XXXXXX";
        const int fd = ::mkstemp(path.data());
        if (fd < 0) {
            throw ToolError("cannot keep standard input in a temporary file: " +
                            std::string(std::strerror(errno)) + "; nothing was imported");
        }
        ::close(fd);
        spool_.open(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
        ::unlink(path.c_str());  // it goes when the import ends, however it ends
        if (!spool_.is_open()) {
            throw ToolError("cannot keep standard input in a temporary file; nothing was imported");
        }
    }

    const ImportArgs& args_;
    uint32_t unitSize_;
    std::ifstream file_;
    std::fstream spool_;
    std::istream* in_ = nullptr;
    FlatFormat format_ = FlatFormat::kFixed;
};

// What a file holds: its records, or its keys when it has no records.
uint64_t StoredCount(const FileInfo& info) {
    return IsKeyed(info.type) && info.recordSize == 0 ? info.keyCount : info.slotCount;
}

// The failure of an import that had begun to write: what stopped it and what of it the file kept
// (the engine keeps what was committed before the failure and drops the rest).
ToolError ImportFailure(Engine& engine, const std::string& path, uint64_t storedBefore,
                        uint64_t inputNumber, const Status& cause) {
    std::string text = inputNumber != 0
                           ? "import stopped at record " + std::to_string(inputNumber) + ": "
                           : std::string("the import could not be completed: ");
    text += StatusText(cause);
    std::shared_ptr<DataFile> reopened;
    if (!engine.Open(path, &reopened).ok())
        return ToolError(text + "; " + path + " cannot be opened");
    const uint64_t kept = StoredCount(reopened->Info()) - storedBefore;
    (void)engine.Close(reopened);
    if (kept == 0) return ToolError(text + "; nothing was imported");
    return ToolError(text + "; the " + std::to_string(kept) +
                     " records written up to the last commit were kept");
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return !a.empty() && !b.empty() && ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

void CreateCommand(const CreateArgs& args, Console& console) {
    FileType type = CheckedType(args.type);
    CreateOptions options;
    options.type = type;
    if (args.recordSize > kMaxRecordSize) {
        throw UsageError("--record-size must be at most " + std::to_string(kMaxRecordSize));
    }
    options.recordSize = args.recordSize;
    if (IsKeyed(type)) {
        if (!args.keySize || *args.keySize < 1 || *args.keySize > kMaxKeySize) {
            throw UsageError("a type " + std::to_string(args.type) +
                             " file needs --key-size from 1 to " + std::to_string(kMaxKeySize));
        }
        options.keySize = *args.keySize;
    } else {
        if (args.keySize && *args.keySize != 0) {
            throw UsageError("a type " + std::to_string(args.type) +
                             " file has no key; leave "
                             "out --key-size");
        }
        if (args.recordSize == 0) {
            throw UsageError("a type " + std::to_string(args.type) +
                             " file needs --record-size of at least 1");
        }
    }
    if (args.keyPosition) {
        if (type != FileType::kExtendedKeyed) {
            throw UsageError("--key-pos applies to type 36 files only");
        }
        options.keyPosition = *args.keyPosition;
    }
    if (type == FileType::kExtendedKeyed && args.recordSize != 0 &&
        uint64_t{options.keyPosition} + options.keySize > options.recordSize) {
        throw UsageError("the key (position " + std::to_string(options.keyPosition) + ", size " +
                         std::to_string(options.keySize) + ") does not fit in the record size " +
                         std::to_string(options.recordSize));
    }
    std::string path = ResolveFile(args.ref);
    Engine engine;
    Require(engine.Create(path, options), "cannot create " + path);
    console.out << "created " << path << ": type " << TypeText(type) << ", record size "
                << options.recordSize;
    if (IsKeyed(type)) console.out << ", key size " << options.keySize;
    if (type == FileType::kExtendedKeyed) console.out << ", key position " << options.keyPosition;
    console.out << "\n";
}

void ImportCommand(const ImportArgs& args, Console& console) {
    std::string path = ResolveFile(args.ref);
    Engine engine;
    OpenedFile file(engine, path);
    const FileInfo info = file->Info();
    const KeyRule rule = MakeKeyRule(info, args.keyFields);
    const uint32_t unitSize = rule.keyOnly ? info.keySize : info.recordSize;

    // The whole input is checked before the first write, so that an input the file cannot take
    // leaves the file as it was.
    ImportInput input(args, unitSize);
    const uint64_t total = input.Check(console);
    FlatReader reader = input.Reader();
    std::span<const uint8_t> record;
    std::string readError;

    uint64_t written = 0;
    uint64_t refused = 0;
    Status failure;
    uint64_t failedAt = 0;
    for (uint64_t n = 0; n < total; ++n) {
        if (!reader.Next(&record, &readError)) {
            throw ToolError("import stopped at record " + std::to_string(n + 1) + " after " +
                            std::to_string(written) + " records were written: " +
                            (readError.empty() ? "the input ended early" : readError));
        }
        const uint64_t inputNumber = n + 1;
        Status s;
        if (!rule.keyed) {
            s = file->AppendRecord(record, nullptr);
        } else {
            std::string key =
                rule.keyOnly
                    ? std::string(reinterpret_cast<const char*>(record.data()), record.size())
                : rule.inRecord ? AssembleKey(record, {*rule.inRecord})
                                : AssembleKey(record, rule.fields);
            if (!rule.keyOnly && ReadsAsDeleted(info.type, record)) {
                console.out << "record " << inputNumber << ": refused, byte "
                            << DeletedMarkOffset(info.type) << " holds the deleted mark FE; key "
                            << KeyText(key) << "\n";
                ++refused;
                continue;
            }
            s = file->Put(AsBytes(key), rule.keyOnly ? std::span<const uint8_t>() : record);
            if (s.code() == Error::kDuplicateKey) {
                console.out << "record " << inputNumber << ": duplicate key " << KeyText(key)
                            << ", skipped\n";
                ++refused;
                continue;
            }
        }
        if (!s.ok()) {
            failure = s;
            failedAt = inputNumber;
            break;
        }
        ++written;
        if (args.progress && (written % 65536 == 0)) {
            console.err << "\r" << written << " of " << total << " records written" << std::flush;
        }
    }
    if (args.progress && total >= 65536) console.err << "\n";
    const Status closed = file.TryClose();
    if (failure.ok()) failure = closed;
    if (!failure.ok()) throw ImportFailure(engine, path, StoredCount(info), failedAt, failure);
    console.out << "records read: " << total << ", written: " << written << ", refused: " << refused
                << "\n";
}

void ExportCommand(const ExportArgs& args, Console& console) {
    std::string path = ResolveFile(args.ref);
    Engine engine;
    OpenedFile file(engine, path);
    const FileInfo info = file->Info();
    const bool keyOnly = IsKeyed(info.type) && info.recordSize == 0;
    Order order = args.order;
    if (order == Order::kDefault) order = IsKeyed(info.type) ? Order::kKey : Order::kRecord;
    if (order == Order::kKey && !IsKeyed(info.type)) {
        throw UsageError("a type " + std::to_string(static_cast<int>(info.type)) +
                         " file has no keys; use --order record");
    }
    if (order == Order::kRecord && keyOnly) {
        throw UsageError("a key-only file has no records; use --order key");
    }

    // Every part of the file: its data file, its index and the files beside them (the index's
    // lock file, which the next opener would write over, and the like).
    const std::vector<std::string> parts = Engine::PartPaths(info.dataPath);
    if (args.output != "-" && std::any_of(parts.begin(), parts.end(), [&](const std::string& part) {
            return SameFile(args.output, part);
        })) {
        throw UsageError("the output " + args.output + " is a part of the file being exported");
    }
    OutputSink sink;
    std::string error;
    if (!sink.Open(args.output, &error)) throw ToolError(error);
    auto emit = [&](std::string_view bytes, uint64_t recordNumber) {
        if (args.format == FlatFormat::kLines && bytes.find('\n') != std::string_view::npos) {
            throw ToolError("record " + std::to_string(recordNumber) +
                            " holds a line break; export it with --format fixed");
        }
        if (!sink.Write(bytes, &error) ||
            (args.format == FlatFormat::kLines && !sink.Write("\n", &error))) {
            throw ToolError(error);
        }
    };

    uint64_t count = 0;
    std::vector<uint8_t> record;
    if (order == Order::kRecord) {
        for (uint64_t n = 0;; ++n) {
            Status s = file->ReadRecord(n, &record);
            if (s.code() == Error::kNotFound) break;
            Require(s, "cannot read record " + std::to_string(n) + " of " + path);
            if (ReadsAsDeleted(info.type, record)) continue;
            emit({reinterpret_cast<const char*>(record.data()), record.size()}, n);
            ++count;
        }
    } else {
        std::string key;
        uint64_t recordNumber = 0;
        Status s = file->SeekKey({}, false, &key, &recordNumber);
        while (s.ok()) {
            if (keyOnly) {
                emit(key, recordNumber);
            } else {
                Require(file->ReadRecord(recordNumber, &record),
                        "cannot read record " + std::to_string(recordNumber) + " of " + path);
                emit({reinterpret_cast<const char*>(record.data()), record.size()}, recordNumber);
            }
            ++count;
            std::string previous = std::move(key);
            s = file->SeekKey(AsBytes(previous), true, &key, &recordNumber);
        }
        if (s.code() != Error::kEndOfKeys) Require(s, "cannot read the keys of " + path);
    }
    if (!sink.Commit(&error)) throw ToolError(error);
    file.Close();
    if (args.output != "-") {
        console.out << "exported " << count << " records to " << args.output << "\n";
    }
}

void DeleteCommand(const DeleteArgs& args, Console& console) {
    int given = (args.key ? 1 : 0) + (args.keyHex ? 1 : 0) + (args.record ? 1 : 0);
    if (given != 1) throw UsageError("give exactly one of --key, --key-hex and --record");
    std::string path = ResolveFile(args.ref);
    Engine engine;
    OpenedFile file(engine, path);
    const FileInfo info = file->Info();
    if (args.record) {
        std::vector<uint8_t> record;
        Status s = file->ReadRecord(*args.record, &record);
        if (s.code() == Error::kNotFound) {
            throw ToolError("no record " + std::to_string(*args.record) + " in " + path +
                            " (it has " + std::to_string(info.slotCount) +
                            " records, numbered from 0)");
        }
        Require(s, "cannot read record " + std::to_string(*args.record));
        if (ReadsAsDeleted(info.type, record)) {
            throw ToolError("record " + std::to_string(*args.record) + " is already deleted");
        }
        Require(file->DeleteRecord(*args.record),
                "cannot delete record " + std::to_string(*args.record));
        file.Close();
        console.out << "deleted record " << *args.record << "\n";
        return;
    }
    if (!IsKeyed(info.type)) {
        throw UsageError("a type " + std::to_string(static_cast<int>(info.type)) +
                         " file has no keys; use --record");
    }
    std::string key;
    if (args.key) {
        key = *args.key;
    } else {
        auto bytes = ParseHex(*args.keyHex);
        if (!bytes || bytes->empty()) {
            throw UsageError("--key-hex needs an even number of hex digits, not \"" + *args.keyHex +
                             "\"");
        }
        key.assign(bytes->begin(), bytes->end());
    }
    if (key.size() > info.keySize) {
        throw ToolError("the key " + KeyText(key) + " is longer than the key size " +
                        std::to_string(info.keySize));
    }
    std::vector<uint8_t> record;
    uint64_t recordNumber = 0;
    Status s = file->Get(AsBytes(key), &record, &recordNumber);
    if (s.code() == Error::kNotFound) throw ToolError("no key " + KeyText(key) + " in " + path);
    Require(s, "cannot look up key " + KeyText(key));
    Require(file->DeleteKey(AsBytes(key)), "cannot delete key " + KeyText(key));
    file.Close();
    console.out << "deleted key " << KeyText(key);
    if (info.recordSize != 0) console.out << " (record " << recordNumber << ")";
    console.out << "\n";
}

void RemoveCommand(const FileRef& ref, Console& console) {
    const std::string path = ResolveFile(ref);
    std::vector<std::string> present;
    for (const std::string& part : Engine::PartPaths(path)) {
        struct stat st {};
        if (::lstat(part.c_str(), &st) == 0) present.push_back(part);
    }
    Engine engine;
    Require(engine.Erase(path), "cannot remove " + path);
    for (const std::string& part : present) {
        struct stat st {};
        if (::lstat(part.c_str(), &st) != 0) console.out << "removed " << part << "\n";
    }
}

void GenCommand(const GenArgs& args, Console& console) {
    FileType type = CheckedType(args.type);
    auto layout = ParseLayout(args.layout);
    if (!layout) throw UsageError("--layout must be customer or orders, not " + args.layout);
    if (args.records < 1 || args.records > kMaxGeneratedRecords) {
        throw UsageError("--records must be from 1 to " + std::to_string(kMaxGeneratedRecords));
    }
    if (args.deletedEvery != 0 && !IsKeyed(type)) {
        throw UsageError("--deleted-every needs a keyed file (type 4 or 36)");
    }
    DataGenerator generator(*layout, args.records, args.seed);
    const LayoutInfo& shape = generator.layout();
    CreateOptions options;
    options.type = type;
    options.recordSize = shape.recordSize;
    options.keySize = IsKeyed(type) ? shape.keySize : 0;
    options.keyPosition = type == FileType::kExtendedKeyed ? shape.keyPosition : 0;

    std::string path = ResolveFile(args.ref);
    Engine engine;
    Require(engine.Create(path, options), "cannot create " + path);
    uint64_t deleted = 0;
    try {
        OpenedFile file(engine, path);
        for (uint64_t i = 0; i < args.records; ++i) {
            std::string record = generator.Record(i);
            Status s = IsKeyed(type) ? file->Put(AsBytes(std::string_view(record).substr(
                                                     shape.keyPosition, shape.keySize)),
                                                 AsBytes(record))
                                     : file->AppendRecord(AsBytes(record), nullptr);
            Require(s, "cannot write record " + std::to_string(i) + " of " + path);
        }
        for (uint64_t i = args.deletedEvery; args.deletedEvery != 0 && i <= args.records;
             i += args.deletedEvery) {
            // By key: the index maps keys to records, so this is a lookup, not a search.
            std::string record = generator.Record(i - 1);
            Require(file->DeleteKey(
                        AsBytes(std::string_view(record).substr(shape.keyPosition, shape.keySize))),
                    "cannot delete record " + std::to_string(i - 1));
            ++deleted;
        }
        file.Close();
    } catch (const ToolError&) {
        engine.Erase(path);
        throw;
    }
    console.out << "generated " << path << ": " << args.records << " " << shape.name
                << " records of " << shape.recordSize << " bytes, type " << TypeText(type) << ", "
                << deleted << " deleted\n";
}

}  // namespace talvo::tool
