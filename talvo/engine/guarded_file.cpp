#include "talvo/engine/guarded_file.h"

#include <new>

namespace talvo::engine {

template <typename Body>
Status GuardedFile::Guard(Body&& body) {
    if (file_->abandoned()) {
        Status s = file_->Recover();
        if (!s.ok()) return s;
    }
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return file_->Abandon();
    }
}

template <typename Body>
Status GuardedFile::GuardRead(Body&& body) {
    if (file_->abandoned()) {
        Status s = file_->Recover();
        if (!s.ok()) return s;
    }
    try {
        return body();
    } catch (const std::bad_alloc&) {
        try {
            return Status::Failure(Error::kOutOfMemory,
                                   "a read could not get the memory it needed");
        } catch (...) {
            return Status(Error::kOutOfMemory, {});
        }
    }
}

Status GuardedFile::ReadRecord(uint64_t recordNumber, std::vector<uint8_t>* record) {
    return GuardRead([&] { return file_->ReadRecord(recordNumber, record); });
}

Status GuardedFile::AppendRecord(std::span<const uint8_t> record, uint64_t* recordNumber) {
    return Guard([&] { return file_->AppendRecord(record, recordNumber); });
}

Status GuardedFile::Get(std::span<const uint8_t> key, std::vector<uint8_t>* record,
                        uint64_t* recordNumber) {
    return GuardRead([&] { return file_->Get(key, record, recordNumber); });
}

Status GuardedFile::Put(std::span<const uint8_t> key, std::span<const uint8_t> record,
                        uint64_t* recordNumber) {
    return Guard([&] { return file_->Put(key, record, recordNumber); });
}

Status GuardedFile::DeleteKey(std::span<const uint8_t> key) {
    return Guard([&] { return file_->DeleteKey(key); });
}

Status GuardedFile::DeleteRecord(uint64_t recordNumber) {
    return Guard([&] { return file_->DeleteRecord(recordNumber); });
}

Status GuardedFile::SeekKey(std::span<const uint8_t> key, bool strictlyAfter, std::string* found,
                            uint64_t* recordNumber) {
    return Guard([&] { return file_->SeekKey(key, strictlyAfter, found, recordNumber); });
}

// The reader reads only; a failed allocation inside it later reaches its caller as any other
// failure of a read.
Status GuardedFile::NewKeyReader(std::unique_ptr<KeyReader>* reader) {
    return GuardRead([&] { return file_->NewKeyReader(reader); });
}

Status GuardedFile::GetSubKey(int index, SubKeyDef* def) {
    return GuardRead([&] { return file_->GetSubKey(index, def); });
}

Status GuardedFile::AddSubKey(const SubKeyDef& def, int* index) {
    return Guard([&] { return file_->AddSubKey(def, index); });
}

Status GuardedFile::Flush() {
    return Guard([&] { return file_->Flush(); });
}

Status GuardedFile::Finish() {
    return Guard([&] { return file_->Finish(); });
}

}  // namespace talvo::engine
