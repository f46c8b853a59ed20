// The DataFile that the engine hands out: an OpenDataFile whose every operation turns a failed
// allocation (std::bad_alloc from a container, a string, a batch that grows) into a status.
// An operation that changes the file and is cut short by it may have done half its work (a slot
// written without its key); the file then goes back to its last commit, so that a later commit
// never makes the half durable, and the operation reports kOutOfMemory, saying that the
// uncommitted changes were discarded. A read cut short only fails.
#pragma once

#include <memory>

#include "talvo/engine/open_data_file.h"

namespace talvo::engine {

class GuardedFile final : public DataFile {
  public:
    explicit GuardedFile(std::unique_ptr<OpenDataFile> file) : file_(std::move(file)) {}

    FileInfo Info() const override { return file_->Info(); }
    Status ReadRecord(uint64_t recordNumber, std::vector<uint8_t>* record) override;
    // Nothing is at hand in a file given up after a failed allocation: it recovers on a read.
    const uint8_t* RecordAtHand(uint64_t recordNumber) override {
        return file_->abandoned() ? nullptr : file_->RecordAtHand(recordNumber);
    }
    Status AppendRecord(std::span<const uint8_t> record, uint64_t* recordNumber) override;
    Status Get(std::span<const uint8_t> key, std::vector<uint8_t>* record,
               uint64_t* recordNumber) override;
    Status Put(std::span<const uint8_t> key, std::span<const uint8_t> record,
               uint64_t* recordNumber) override;
    Status DeleteKey(std::span<const uint8_t> key) override;
    Status DeleteRecord(uint64_t recordNumber) override;
    Status SeekKey(std::span<const uint8_t> key, bool strictlyAfter, std::string* found,
                   uint64_t* recordNumber) override;
    Status NewKeyReader(std::unique_ptr<KeyReader>* reader) override;
    Status GetSubKey(int index, SubKeyDef* def) override;
    Status AddSubKey(const SubKeyDef& def, int* index) override;
    Status Flush() override;
    int NativeHandle() const override { return file_->NativeHandle(); }

    // OpenDataFile::Finish, guarded as the rest.
    Status Finish();

  private:
    // Runs an operation that may change the file: a failed allocation abandons the changes
    // since the last commit. A file abandoned before is returned to that commit first.
    template <typename Body>
    Status Guard(Body&& body);
    // Runs an operation that only reads: a failed allocation fails it and nothing else.
    template <typename Body>
    Status GuardRead(Body&& body);

    // Shared: a key reader of the file holds it too (OpenDataFile::NewKeyReader).
    std::shared_ptr<OpenDataFile> file_;
};

}  // namespace talvo::engine
