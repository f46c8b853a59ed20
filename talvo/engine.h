// The TalvoLib engine: data files of fixed-size record slots, with an ordered, unique key index
// for keyed files. This header is the engine's whole public surface; the file format, the index
// and the open-file table sit behind it (talvo/engine/).
//
// Errors are values: every operation returns a Status; nothing throws. Unless an operation says
// otherwise, a failed operation changes nothing on disk or in memory.
//
// Not thread-safe: one thread uses an Engine and everything it hands out.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "talvo/file_types.h"

namespace talvo {

// --- Errors ------------------------------------------------------------------------------------

// One table of codes; ErrorText gives each one's text. 1 and 14 are the codes every component
// of the file system reports for "no connection" and "version mismatch".
enum class Error : int32_t {
    kOk = 0,
    kNoConnection = 1,
    kInvalidArgument = 2,  // a size, position, channel or index out of range
    kNotFound = 3,         // no such key, record or subordinate key
    kDuplicateKey = 4,     // the key is already in the file
    kNoSuchFile = 5,       // the file does not exist
    kFileExists = 6,       // create: a file of that name exists
    kFileInUse = 7,        // erase or re-create of a file that is open
    kLocked = 8,           // another process is writing the file
    kNotDataFile = 9,      // foreign file: not a data file of this file system
    kDamaged = 10,         // truncated or damaged file, or index and records disagree
    kIoError = 11,         // the operating system refused a read, write or sync
    kWrongFileType = 12,   // e.g. a key operation on a file without keys
    kKeyTooLong = 13,      // a key longer than the file's key size
    kVersionMismatch = 14,
    kDeletedRecord = 15,  // (reserved for callers that refuse deleted slots)
    kNoSpace = 16,        // disk full
    kEndOfKeys = 17,      // no further key
    kNotOpen = 18,        // channel or file not open
    kNoDirectory = 19,    // unknown directory name
    kNotSupported = 20,   // e.g. a network name for this local component
    kOutOfMemory = 21,    // an allocation or a map of the address space failed
    kReadOnly = 22,       // the file can be read here but not written (the text says why)
};

// The last code of the table.
constexpr Error kLastError = Error::kReadOnly;

const char* ErrorText(Error code);

// Every call of the engine answers with a Status, most of them several times a record; a
// success is a code and an empty pointer (made, moved and dropped in a few instructions), and
// only a failure carries its text.
class Status {
  public:
    Status() = default;
    Status(Error code, std::string message)
        : code_(code),
          message_(message.empty() ? nullptr : std::make_unique<std::string>(std::move(message))) {}
    Status(const Status& other)
        : code_(other.code_),
          message_(other.message_ ? std::make_unique<std::string>(*other.message_) : nullptr) {}
    Status& operator=(const Status& other) {
        if (this != &other) *this = Status(other);
        return *this;
    }
    Status(Status&&) noexcept = default;
    Status& operator=(Status&&) noexcept = default;
    ~Status() = default;

    [[nodiscard]] static Status Ok() { return {}; }
    // A failure whose message is ErrorText(code), then ": " and the detail where there is one.
    [[nodiscard]] static Status Failure(Error code, std::string_view detail = {});

    bool ok() const { return code_ == Error::kOk; }
    Error code() const { return code_; }
    // The full text for the user: ErrorText(code) and, where there is one, the detail
    // (a file name, a key in hex, the system's reason).
    const std::string& message() const { return message_ ? *message_ : NoText(); }

  private:
    static const std::string& NoText();

    Error code_ = Error::kOk;
    std::unique_ptr<std::string> message_;
};

// --- Files -------------------------------------------------------------------------------------

// FileType, the record and key size limits and the deleted mark: talvo/file_types.h.

struct CreateOptions {
    FileType type = FileType::kKeyed;
    uint32_t recordSize = 0;   // 0..65535; 0 makes a key-only keyed file (types 4 and 36 only)
    uint32_t keySize = 0;      // 1..255 for types 4 and 36; must be 0 for types 1 and 2
    uint32_t keyPosition = 0;  // type 36: keyPosition + keySize <= recordSize
};

struct SubKeyDef {
    int32_t first = 0;
    int32_t second = 0;
    std::string name;  // at most kMaxSubKeyName characters
};

struct FileInfo {
    FileType type = FileType::kKeyed;
    uint32_t recordSize = 0;
    uint32_t keySize = 0;
    uint32_t keyPosition = 0;
    uint32_t formatVersion = 0;
    uint64_t slotCount = 0;     // record slots in the data file, deleted ones included
    uint64_t deletedCount = 0;  // slots marked deleted
    uint64_t keyCount = 0;      // keys in the index (keyed files)
    std::time_t created = 0;
    std::time_t modified = 0;
    std::time_t accessed = 0;
    std::string dataPath;   // host path of the data file
    std::string indexPath;  // host path of the index (empty for types 1 and 2)
};

class KeyReader;

// An open data file. Obtained from Engine::Open; the same object is handed to every opener of
// the same file (same device and inode), so two channels on one file share its state.
class DataFile {
  public:
    virtual ~DataFile() = default;

    virtual FileInfo Info() const = 0;

    // Record slot n (0-based), deleted slots included (delivered with their mark).
    // kNotFound past the last slot. A key-only file has no slots.
    virtual Status ReadRecord(uint64_t recordNumber, std::vector<uint8_t>* record) = 0;

    // The bytes of slot n, recordSize of them, when the file has them at hand without a read
    // (the next of a run of reads in order, read ahead): valid until the next call on the file.
    // nullptr when it has not, and then ReadRecord reads the slot. What it gives is what
    // ReadRecord would deliver; a copy loop takes its records from here, sparing the steps of a
    // read that can fail.
    virtual const uint8_t* RecordAtHand(uint64_t recordNumber) {
        (void)recordNumber;
        return nullptr;
    }

    // Types 1 and 2: appends a record (cut or space-padded to the record size).
    virtual Status AppendRecord(std::span<const uint8_t> record, uint64_t* recordNumber) = 0;

    // Keyed files: the record stored under the key (keys shorter than the key size are
    // zero-padded; longer ones are refused with kKeyTooLong).
    virtual Status Get(std::span<const uint8_t> key, std::vector<uint8_t>* record,
                       uint64_t* recordNumber = nullptr) = 0;

    // Keyed files: stores a new record under a new key. The record is cut or space-padded to
    // the record size. In a type 36 file the record must carry the key (zero-padded to the key
    // size) at the key position; one that does not is refused with kInvalidArgument (the text
    // names the position and the key). kDuplicateKey (with the key in the message) when the
    // key exists. A record that would read as deleted is refused with kInvalidArgument. A
    // refused Put writes nothing.
    virtual Status Put(std::span<const uint8_t> key, std::span<const uint8_t> record,
                       uint64_t* recordNumber = nullptr) = 0;

    // Keyed files: removes the key and marks its slot deleted.
    virtual Status DeleteKey(std::span<const uint8_t> key) = 0;
    // Marks slot n deleted (types 4 and 36: also removes its key from the index).
    virtual Status DeleteRecord(uint64_t recordNumber) = 0;

    // Keyed files: the first key not below `key` (zero-padded / cut to the key size), or
    // strictly above it when `strictlyAfter`. kEndOfKeys when there is none.
    virtual Status SeekKey(std::span<const uint8_t> key, bool strictlyAfter, std::string* found,
                           uint64_t* recordNumber = nullptr) = 0;

    // Keyed files: a reader of the keys in ascending order with their records (see KeyReader).
    // kWrongFileType for files of types 1 and 2. The reader must go before the file is closed
    // for the last time; a reader that outlives that gives kNotOpen.
    virtual Status NewKeyReader(std::unique_ptr<KeyReader>* reader) = 0;

    // Subordinate key definitions, indices 1..99. Get: kNotFound for an unused index.
    virtual Status GetSubKey(int index, SubKeyDef* def) = 0;
    // Adds a definition at the first free index (stored in *index).
    virtual Status AddSubKey(const SubKeyDef& def, int* index = nullptr) = 0;

    // Makes every change so far durable (data flushed before the index commits).
    virtual Status Flush() = 0;

    // The operating system's descriptor of the data file (for its length).
    virtual int NativeHandle() const = 0;
};

// Reads a keyed file's keys in ascending order, each with its record: what SeekKey(last key,
// strictly after) and Get give, one key at a time, answered from batches read ahead. After a run
// of keys read in order, the reader reads ahead along the key tree on a thread of its own, in
// batches within the read-ahead budget: the records of a batch are fetched in ascending slot
// order with positional reads (the data file's map is not touched, so the resident set does not
// grow with the file) and handed out in key order. Whenever the file changes (a write on any
// channel, a commit), the batches read ahead are dropped and reading goes on from the last key
// delivered as SeekKey would; a file with changes not yet committed is read as SeekKey and Get
// read it. Errors are those SeekKey and Get give.
//
// Used by one thread, like the rest of the engine; the reading ahead is its own business.
class KeyReader {
  public:
    virtual ~KeyReader() = default;

    // Where the next key comes from: the first key not below `key` (zero-padded, or cut, to the
    // key size), or strictly above it. A new reader starts at the first key.
    virtual void Seek(std::span<const uint8_t> key, bool strictlyAfter) = 0;
    // The next key; kEndOfKeys when none is left. *key stays valid until the next call on the
    // reader, whatever happens to the file meanwhile.
    virtual Status Next(std::span<const uint8_t>* key) = 0;
    // The record stored under `key`, as DataFile::Get gives it; the key Next delivered last is
    // answered from the batch read ahead, without a search.
    virtual Status Get(std::span<const uint8_t> key, std::vector<uint8_t>* record) = 0;
    // The record of `key` when it is the key Next delivered last and the reader has its bytes at
    // hand, as Get would deliver them: the record size of them, valid until the next call on the
    // reader. nullptr when it has not, and then Get reads the record. A copy loop takes its
    // records from here, sparing the steps of a read that can fail.
    virtual const uint8_t* RecordAtHand(std::span<const uint8_t> key) {
        (void)key;
        return nullptr;
    }
};

// The open-file table of one process's user of the engine.
class Engine {
  public:
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Creates a new, empty file at the host path (the data file; the index goes beside it).
    // kFileExists when it exists; kFileInUse when it is open; kReadOnly for a keyed file in a
    // folder on a network file system.
    Status Create(const std::string& hostPath, const CreateOptions& options);

    // Opens a file, or hands out the one already open under the same identity.
    // Every Open is balanced by a Close of the pointer it gave.
    // A file this user may not write, a keyed file whose index or lock file cannot be written
    // (a read-only folder or file system), and a keyed file on a network file system open for
    // reading: every change then gives kReadOnly with the reason. Where such a file is read
    // without a lock file for its index, no other process writes it while it is open here
    // (kFileInUse for the writer), and it is not opened while another process writes it
    // (kLocked). kOutOfMemory when memory or address space runs short.
    Status Open(const std::string& hostPath, std::shared_ptr<DataFile>* file);

    // Releases one opener's hold; the last Close commits and closes the file.
    Status Close(const std::shared_ptr<DataFile>& file);

    // Removes every part of the file. kFileInUse while it is open anywhere (in this process
    // under any name, or in another process, if only for reading); kLocked while another process
    // writes it; kNoSuchFile when it does not exist; kReadOnly for a keyed file on a network
    // file system.
    Status Erase(const std::string& hostPath);

    // Whether a file of the engine exists at the path (its data file).
    static bool Exists(const std::string& hostPath);

    // The host paths of every part that a file at the path has or may have: its data file
    // first, then its index and the other files beside it that belong to it.
    static std::vector<std::string> PartPaths(const std::string& hostPath);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// --- Memory budgets -----------------------------------------------------------------------------

// The budgets that bound what an open file holds in memory while it is written, as
// "name=size,...": slot-buffer (new records before they are written), pending-keys (new keys
// before they are sorted and spilled to disk), filter (the filter over spilled keys), run-buffers
// (buffers of the spilled runs), index-txn (index pages one write transaction holds), mapped
// (pages read through the maps before they are let go), read-ahead (the batches of keys and
// records a KeyReader holds ahead). Sizes in bytes, or with K, M or G.
// The process starts with the defaults, changed by the environment variable TALVO_BUDGETS; while
// that variable cannot be read, Engine::Open refuses with kInvalidArgument and says why.
//
// SetBudgets changes the named budgets for files opened afterwards (the others keep their
// values); kInvalidArgument, changing nothing, for an unknown name or a size out of range.
Status SetBudgets(std::string_view text);
// Every budget, in the form SetBudgets reads.
std::string CurrentBudgets();

}  // namespace talvo
