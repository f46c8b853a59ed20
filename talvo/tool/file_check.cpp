#include "talvo/tool/file_check.h"

#include <cstring>

#include "talvo/tool/bytes_text.h"

namespace talvo::tool {

namespace {

class ProblemList {
  public:
    explicit ProblemList(std::vector<std::string>* out) : out_(out) {}
    void Add(std::string text) {
        if (count_ < kMaxProblemTexts) out_->push_back(std::move(text));
        ++count_;
    }
    void Finish() {
        if (count_ > kMaxProblemTexts) {
            out_->push_back("... and " + std::to_string(count_ - kMaxProblemTexts) +
                            " more problems");
        }
    }
    bool empty() const { return count_ == 0; }

  private:
    std::vector<std::string>* out_;
    uint64_t count_ = 0;
};

std::string KeyText(const std::string& key) {
    return "\"" + EscapeBytes(key) + "\" (" + ToHex(key) + ")";
}

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

bool KeyLess(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
    return c < 0 || (c == 0 && a.size() < b.size());
}

enum SlotState : uint8_t { kLive = 0, kDeleted = 1, kLiveReferenced = 2, kUnreadable = 3 };

}  // namespace

bool CheckDataFile(DataFile& file, std::vector<std::string>* problems, CheckSummary* summary) {
    ProblemList list(problems);
    *summary = {};
    const FileInfo info = file.Info();
    const bool keyed = info.type == FileType::kKeyed || info.type == FileType::kExtendedKeyed;
    const bool keyOnly = keyed && info.recordSize == 0;
    const int markOffset = DeletedMarkOffset(info.type);

    // Record slots: readable, of the right size, deleted marks counted.
    std::vector<uint8_t> slots;
    if (!keyOnly) {
        std::vector<uint8_t> record;
        for (uint64_t n = 0;; ++n) {
            Status s = file.ReadRecord(n, &record);
            if (s.code() == Error::kNotFound) break;
            if (!s.ok()) {
                list.Add("record " + std::to_string(n) + " cannot be read: " + s.message());
                if (n >= info.slotCount) break;
                slots.push_back(kUnreadable);
                continue;
            }
            if (record.size() != info.recordSize) {
                list.Add("record " + std::to_string(n) + " has " + std::to_string(record.size()) +
                         " bytes, not the record size " + std::to_string(info.recordSize));
            }
            bool deleted = markOffset >= 0 && record.size() > static_cast<size_t>(markOffset) &&
                           record[markOffset] == kDeletedMark;
            slots.push_back(deleted ? kDeleted : kLive);
            if (deleted) ++summary->deleted;
        }
        summary->slots = slots.size();
        if (summary->slots != info.slotCount) {
            list.Add("the file holds " + std::to_string(summary->slots) +
                     " record slots, but its descriptor counts " + std::to_string(info.slotCount));
        }
        if (summary->deleted != info.deletedCount) {
            list.Add(std::to_string(summary->deleted) + " records are marked deleted, but the " +
                     "descriptor counts " + std::to_string(info.deletedCount));
        }
    }

    if (keyed) {
        std::string previous;
        std::string key;
        std::vector<uint8_t> record;
        uint64_t recordNumber = 0;
        bool walkedAll = true;
        Status s = file.SeekKey({}, false, &key, &recordNumber);
        while (s.ok()) {
            ++summary->keys;
            const std::string shown = KeyText(key);
            if (key.size() != info.keySize) {
                list.Add("key " + shown + " has " + std::to_string(key.size()) +
                         " bytes, not the key size " + std::to_string(info.keySize));
            }
            if (summary->keys > 1 && !KeyLess(previous, key)) {
                list.Add("key " + shown + " follows " + KeyText(previous) +
                         ": the index is out of order");
                walkedAll = false;
                break;  // walking on could go round in circles
            }
            if (!keyOnly) {
                const std::string where =
                    "key " + shown + " points to record " + std::to_string(recordNumber);
                if (recordNumber >= slots.size()) {
                    list.Add(where + ", past the last record");
                } else if (slots[recordNumber] == kDeleted) {
                    list.Add(where + ", which is deleted");
                } else if (slots[recordNumber] == kUnreadable) {
                    // already reported
                } else if (slots[recordNumber] == kLiveReferenced) {
                    list.Add(where + ", which another key also points to");
                } else {
                    slots[recordNumber] = kLiveReferenced;
                    if (info.type == FileType::kExtendedKeyed &&
                        file.ReadRecord(recordNumber, &record).ok() &&
                        info.keyPosition + key.size() <= record.size() &&
                        std::memcmp(record.data() + info.keyPosition, key.data(), key.size()) !=
                            0) {
                        std::string stored(
                            reinterpret_cast<const char*>(record.data()) + info.keyPosition,
                            key.size());
                        list.Add(where + ", whose key at position " +
                                 std::to_string(info.keyPosition) + " is " + KeyText(stored));
                    }
                }
            }
            uint64_t found = 0;
            Status g = file.Get(Bytes(key), &record, &found);
            if (!g.ok()) {
                list.Add("looking up key " + shown + " fails: " + g.message());
            } else if (!keyOnly && found != recordNumber) {
                list.Add("looking up key " + shown + " finds record " + std::to_string(found) +
                         ", not record " + std::to_string(recordNumber));
            }
            previous = key;
            s = file.SeekKey(Bytes(previous), true, &key, &recordNumber);
        }
        if (!s.ok() && s.code() != Error::kEndOfKeys) {
            list.Add("the index cannot be read" +
                     (summary->keys == 0 ? std::string() : " after key " + KeyText(previous)) +
                     ": " + s.message());
            walkedAll = false;
        }
        // Only a complete walk of the index can tell which records lack a key.
        for (uint64_t n = 0; walkedAll && n < slots.size(); ++n) {
            if (slots[n] == kLive) list.Add("record " + std::to_string(n) + " has no key");
        }
        if (walkedAll && summary->keys != info.keyCount) {
            list.Add("the index holds " + std::to_string(summary->keys) +
                     " keys, but its descriptor counts " + std::to_string(info.keyCount));
        }
    }
    list.Finish();
    return list.empty();
}

}  // namespace talvo::tool
