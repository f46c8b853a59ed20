// Opening a data file with its key index, and reading every record in record order and every
// key in key order, as `talvo check` does. The input's first byte chooses what it holds: odd,
// a data file and its index (a 4-byte little-endian length, that many bytes of data file, the
// rest the index); even, a data file alone. Whatever the bytes, the engine refuses the file
// with a reason or reads it, and never changes it by reading. Then a few changes are made to
// it, which may fail but must not crash, and it is opened once more.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "talvo/engine.h"
#include "talvo/tool/file_check.h"

namespace {

constexpr size_t kMaxInput = 1 << 18;
constexpr uint64_t kMaxReads = 20000;

using talvo::Error;
using talvo::Status;

bool Known(Error code) {
    return code >= Error::kInvalidArgument && code <= talvo::kLastError;
}

void ReadBothOrders(talvo::DataFile& file) {
    const talvo::FileInfo info = file.Info();
    FUZZ_CHECK(info.recordSize <= talvo::kMaxRecordSize && info.keySize <= talvo::kMaxKeySize,
               "an open file has sizes within range");
    std::vector<uint8_t> record;
    uint64_t n = 0;
    for (; n < info.slotCount && n < kMaxReads; ++n) {
        const Status s = file.ReadRecord(n, &record);
        FUZZ_CHECK(s.ok() || Known(s.code()), "a read fails with a known code");
        if (s.ok()) FUZZ_CHECK(record.size() == info.recordSize, "a record has the record size");
    }
    if (n == info.slotCount) {
        FUZZ_CHECK(file.ReadRecord(n, &record).code() == Error::kNotFound,
                   "there is no record past the last");
    }
    if (info.type != talvo::FileType::kKeyed && info.type != talvo::FileType::kExtendedKeyed) {
        return;
    }
    std::string key;
    uint64_t recordNumber = 0;
    Status s = file.SeekKey({}, false, &key, &recordNumber);
    for (uint64_t walked = 0; s.ok() && walked < kMaxReads; ++walked) {
        FUZZ_CHECK(key.size() == info.keySize, "a key has the key size");
        const Status g = file.Get({reinterpret_cast<const uint8_t*>(key.data()), key.size()},
                                  &record, &recordNumber);
        FUZZ_CHECK(g.ok() || Known(g.code()), "a lookup fails with a known code");
        const std::string previous = key;
        s = file.SeekKey({reinterpret_cast<const uint8_t*>(previous.data()), previous.size()}, true,
                         &key, &recordNumber);
    }
    FUZZ_CHECK(s.ok() || Known(s.code()), "a walk over the keys ends with a known code");
}

// Deletes, adds and commits on the file, whatever it holds; then opens and reads it again.
void Change(talvo::Engine& engine, const std::string& path) {
    std::shared_ptr<talvo::DataFile> file;
    if (!engine.Open(path, &file).ok()) return;
    const talvo::FileInfo info = file->Info();
    const std::vector<uint8_t> record(info.recordSize, 'r');
    const std::vector<uint8_t> key(info.keySize, 0x7F);
    if (info.slotCount != 0) (void)file->DeleteRecord(0);
    if (info.type == talvo::FileType::kKeyed || info.type == talvo::FileType::kExtendedKeyed) {
        std::string first;
        if (file->SeekKey({}, false, &first).ok()) {
            (void)file->DeleteKey({reinterpret_cast<const uint8_t*>(first.data()), first.size()});
        }
        std::vector<uint8_t> withKey = record;
        if (info.keyPosition + key.size() <= withKey.size()) {
            std::copy(key.begin(), key.end(), withKey.begin() + info.keyPosition);
        }
        (void)file->Put(key, withKey);
    } else {
        (void)file->AppendRecord(record, nullptr);
    }
    const Status closed = engine.Close(file);
    FUZZ_CHECK(closed.ok() || Known(closed.code()), "a commit fails with a known code");
    if (engine.Open(path, &file).ok()) {
        ReadBothOrders(*file);
        (void)engine.Close(file);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    fuzz::InputReader input(data, size);
    const bool withIndex = (input.Byte() & 1) != 0;
    const std::string dataPath = fuzz::ScratchPath("file");
    const std::string indexPath = dataPath + ".idx";
    fuzz::ClearScratch();
    std::string dataBytes, indexBytes;
    if (withIndex) {
        dataBytes = input.Take(input.Number(4));
        indexBytes = input.Rest();
        fuzz::WriteWholeFile(indexPath, indexBytes);
    } else {
        dataBytes = input.Rest();
    }
    fuzz::WriteWholeFile(dataPath, dataBytes);

    {
        talvo::Engine engine;
        std::shared_ptr<talvo::DataFile> file;
        const Status s = engine.Open(dataPath, &file);
        if (s.ok()) {
            ReadBothOrders(*file);
            std::vector<std::string> problems;
            talvo::tool::CheckSummary summary;
            (void)talvo::tool::CheckDataFile(*file, &problems, &summary);
            const Status closed = engine.Close(file);
            FUZZ_CHECK(closed.ok() || Known(closed.code()), "a close fails with a known code");
        } else {
            FUZZ_CHECK(Known(s.code()) && !s.message().empty(),
                       "a refused file is refused with a reason");
        }
        FUZZ_CHECK(fuzz::ReadWholeFile(dataPath) == dataBytes,
                   "reading leaves the data file alone");
        if (withIndex) {
            FUZZ_CHECK(fuzz::ReadWholeFile(indexPath) == indexBytes,
                       "reading leaves the index alone");
        }
        if (s.ok()) Change(engine, dataPath);
        if (s.code() == Error::kNotDataFile) {
            FUZZ_CHECK(!engine.Erase(dataPath).ok() && fuzz::ReadWholeFile(dataPath) == dataBytes,
                       "a foreign file is never erased");
        }
    }
    fuzz::ClearScratch();
    return 0;
}
