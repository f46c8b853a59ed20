// Files that are not what they should be: foreign, truncated, damaged, of another version, or
// left by a crash between two steps of a commit. Each is refused with a clear code, or opens in
// its last committed state; none crashes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "talvo/engine.h"
#include "talvo/engine/engine_test_support.h"
#include "talvo/engine/file_header.h"
#include "talvo/engine/key_index.h"
#include "talvo/engine/tuning.h"

namespace talvo {
namespace {

using engine::testing::Bytes;
using engine::testing::Span;

class DamagedFileTest : public engine::testing::TempDirTest {
  protected:
    // A keyed file "k" (AA, BB, CC in slots 0..2) and a record file "r" (three records).
    void SetUp() override {
        TempDirTest::SetUp();
        std::shared_ptr<DataFile> file;
        ASSERT_OK(engine_.Create(PathOf("k"), {FileType::kKeyed, 10, 2, 0}));
        ASSERT_OK(engine_.Open(PathOf("k"), &file));
        for (const char* k : {"AA", "BB", "CC"}) ASSERT_OK(file->Put(Bytes(k), Bytes("record")));
        ASSERT_OK(engine_.Close(file));
        ASSERT_OK(engine_.Create(PathOf("r"), {FileType::kRecords2, 10, 0, 0}));
        ASSERT_OK(engine_.Open(PathOf("r"), &file));
        for (int i = 0; i < 3; ++i) ASSERT_OK(file->AppendRecord(Bytes("record"), nullptr));
        ASSERT_OK(engine_.Close(file));
    }

    std::string Contents(const std::string& name) {
        std::ifstream in(PathOf(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream(PathOf(name), std::ios::binary | std::ios::trunc) << bytes;
    }
    Error OpenCode(const std::string& name) {
        std::shared_ptr<DataFile> file;
        const Status s = engine_.Open(PathOf(name), &file);
        if (s.ok())
            EXPECT_OK(engine_.Close(file));
        else
            EXPECT_FALSE(s.message().empty());
        return s.code();
    }

    Engine engine_;
};

TEST_F(DamagedFileTest, ForeignTruncatedAndDamagedFilesAreRefused) {
    const std::string keyed = Contents("k");
    const std::string records = Contents("r");
    ASSERT_EQ(records.size(), 8192u + 30);
    struct Case {
        const char* what;
        std::string bytes;
        Error expected;
    };
    auto flip = [](std::string s, std::initializer_list<size_t> at) {
        for (size_t i : at) s[i] = static_cast<char>(s[i] ^ 0x40);
        return s;
    };
    const Case cases[] = {
        {"empty", "", Error::kNotDataFile},
        {"text", "hello, this is a letter\n", Error::kNotDataFile},
        {"zeros", std::string(20000, '\0'), Error::kNotDataFile},
        {"header cut short", keyed.substr(0, 5000), Error::kDamaged},
        {"both copies damaged", flip(keyed, {40, 4096 + 40}), Error::kDamaged},
        {"record size out of range, checksum intact", "", Error::kDamaged},
        {"records cut short", records.substr(0, 8192 + 25), Error::kDamaged},
        {"one copy damaged", flip(records, {36}), Error::kOk},
        {"uncommitted bytes after the last record", records + "partial", Error::kOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = c.bytes;
        if (std::string(c.what).find("out of range") != std::string::npos) {
            bytes = records;
            for (size_t copy : {size_t{0}, size_t{4096}}) {
                bytes[copy + 38] = 0x7F;  // record size 0x7F000A
                const uint32_t crc =
                    engine::Crc32({reinterpret_cast<const uint8_t*>(bytes.data() + copy),
                                   engine::kHeaderCopySize - 4});
                for (int i = 0; i < 4; ++i)
                    bytes[copy + 4092 + i] = static_cast<char>(crc >> (8 * i));
            }
        }
        Write("case", bytes);
        EXPECT_EQ(OpenCode("case"), c.expected);
    }
    // Another format version is named as such.
    std::string other = records;
    for (size_t copy : {size_t{0}, size_t{4096}}) {
        other[copy + 8] = 2;
        const uint32_t crc = engine::Crc32(
            {reinterpret_cast<const uint8_t*>(other.data() + copy), engine::kHeaderCopySize - 4});
        for (int i = 0; i < 4; ++i) other[copy + 4092 + i] = static_cast<char>(crc >> (8 * i));
    }
    Write("case", other);
    EXPECT_EQ(OpenCode("case"), Error::kVersionMismatch);
    // A foreign file is never erased; a damaged one of ours may be.
    Write("letter", "hello");
    EXPECT_EQ(engine_.Erase(PathOf("letter")).code(), Error::kNotDataFile);
    EXPECT_TRUE(std::filesystem::exists(PathOf("letter")));
    EXPECT_OK(engine_.Erase(PathOf("case")));
}

TEST_F(DamagedFileTest, KeyedFileNeedsItsOwnIndex) {
    ASSERT_OK(engine_.Create(PathOf("other"), {FileType::kKeyed, 10, 2, 0}));
    std::filesystem::copy_file(PathOf("k.idx"), PathOf("k.idx.saved"));

    std::filesystem::remove(PathOf("k.idx"));
    EXPECT_EQ(OpenCode("k"), Error::kDamaged);
    std::filesystem::copy_file(PathOf("other.idx"), PathOf("k.idx"));
    EXPECT_EQ(OpenCode("k"), Error::kDamaged);  // a valid index, but of another file
    Write("k.idx", std::string(64 * 1024, 'x'));
    EXPECT_EQ(OpenCode("k"), Error::kDamaged);

    std::filesystem::remove(PathOf("k.idx"));
    std::filesystem::copy_file(PathOf("k.idx.saved"), PathOf("k.idx"));
    EXPECT_EQ(OpenCode("k"), Error::kOk);
    // Records missing under an index that counts them.
    const std::string keyed = Contents("k");
    Write("k", keyed.substr(0, keyed.size() - 5));
    EXPECT_EQ(OpenCode("k"), Error::kDamaged);
}

TEST_F(DamagedFileTest, SlotsPastTheCommittedCountAreIgnoredAndCutByTheNextWriter) {
    Write("k", Contents("k") + std::string(25, '\xFE'));
    std::shared_ptr<DataFile> file;
    ASSERT_OK(engine_.Open(PathOf("k"), &file));
    EXPECT_EQ(file->Info().slotCount, 3u);
    std::vector<uint8_t> record;
    EXPECT_EQ(file->ReadRecord(3, &record).code(), Error::kNotFound);
    ASSERT_OK(file->Put(Bytes("DD"), Bytes("fourth")));
    ASSERT_OK(engine_.Close(file));
    EXPECT_EQ(std::filesystem::file_size(PathOf("k")), 8192u + 4 * 10);
    ASSERT_OK(engine_.Open(PathOf("k"), &file));
    ASSERT_OK(file->ReadRecord(3, &record));
    EXPECT_EQ(record, Bytes("fourth    "));
    EXPECT_OK(engine_.Close(file));
}

TEST_F(DamagedFileTest, DeletionCommittedInTheIndexButNotYetMarkedReadsDeleted) {
    // The state a crash leaves between committing a deletion and writing its mark.
    {
        engine::KeyIndex index;
        engine::IndexMeta meta;
        ASSERT_OK(index.Open(PathOf("k.idx"), true, &meta));
        ASSERT_OK(index.BeginWrite());
        ASSERT_OK(index.Erase(Bytes("BB")));
        ASSERT_OK(index.AddMark(1));
        meta.deletedCount = 1;
        meta.keyCount = 2;
        ASSERT_OK(index.Commit(meta));
    }
    std::shared_ptr<DataFile> file;
    ASSERT_OK(engine_.Open(PathOf("k"), &file));
    std::vector<uint8_t> record;
    ASSERT_OK(file->ReadRecord(1, &record));
    EXPECT_EQ(record[6], kDeletedMark);
    EXPECT_EQ(file->DeleteRecord(1).code(), Error::kDeletedRecord);
    ASSERT_OK(file->Put(Bytes("DD"), Bytes("fourth")));  // the writer completes the deletion
    ASSERT_OK(engine_.Close(file));

    EXPECT_EQ(static_cast<uint8_t>(Contents("k")[8192 + 10 + 6]), kDeletedMark);
    engine::KeyIndex index;
    engine::IndexMeta meta;
    ASSERT_OK(index.Open(PathOf("k.idx"), false, &meta));
    std::vector<uint64_t> marks;
    ASSERT_OK(index.LoadMarks(&marks));
    EXPECT_TRUE(marks.empty());
    EXPECT_EQ(meta.keyCount, 3u);
    EXPECT_EQ(meta.deletedCount, 1u);
}

// Sets a header field of both copies and restores their checksums, as a crafted file would.
void SetHeaderField(std::string* bytes, size_t offset, uint64_t value, size_t size) {
    for (size_t copy : {size_t{0}, engine::kHeaderCopySize}) {
        for (size_t i = 0; i < size; ++i)
            (*bytes)[copy + offset + i] = static_cast<char>(value >> (8 * i));
        const uint32_t crc = engine::Crc32(
            {reinterpret_cast<const uint8_t*>(bytes->data() + copy), engine::kHeaderCopySize - 4});
        for (int i = 0; i < 4; ++i) (*bytes)[copy + 4092 + i] = static_cast<char>(crc >> (8 * i));
    }
}

TEST_F(DamagedFileTest, RecordCountsBeyondTheFileAreRefusedWhateverTheirSize) {
    // 8192 + count * 16 wraps around to 16: a count that only overflow makes fit.
    const std::string records = Contents("r");
    struct Case {
        uint32_t recordSize;
        uint64_t slotCount;
    };
    for (const Case c :
         {Case{16, (uint64_t{1} << 60) - 511}, Case{10, 4}, Case{1, ~uint64_t{0} - 8191}}) {
        SCOPED_TRACE(c.slotCount);
        std::string bytes = records;
        SetHeaderField(&bytes, 36, c.recordSize, 4);
        SetHeaderField(&bytes, 80, c.slotCount, 8);
        Write("case", bytes);
        std::shared_ptr<DataFile> file;
        const Status s = engine_.Open(PathOf("case"), &file);
        EXPECT_EQ(s.code(), Error::kDamaged) << s.message();
        if (s.ok()) {
            std::vector<uint8_t> record;
            (void)file->ReadRecord(5, &record);
            EXPECT_OK(engine_.Close(file));
        }
    }
}

TEST_F(DamagedFileTest, IndexCutShortIsRefused) {
    const std::string index = Contents("k.idx");
    for (size_t length : {size_t{8192}, size_t{12288}, index.size() - 4096, index.size() - 1}) {
        SCOPED_TRACE(length);
        Write("k.idx", index.substr(0, length));
        EXPECT_EQ(OpenCode("k"), Error::kDamaged);
    }
    Write("k.idx", index);
    EXPECT_EQ(OpenCode("k"), Error::kOk);
}

TEST_F(DamagedFileTest, MetaPagesThatLmdbWouldTrustAreRefused) {
    // LMDB divides by the page size of a meta page and finds the second one with it, before
    // any check of ours could run on the pages it maps.
    const std::string index = Contents("k.idx");
    auto withPageSize = [&index](uint32_t first, uint32_t second) {
        std::string bytes = index;
        for (int i = 0; i < 4; ++i) {
            bytes[40 + i] = static_cast<char>(first >> (8 * i));
            bytes[4096 + 40 + i] = static_cast<char>(second >> (8 * i));
        }
        return bytes;
    };
    std::string notMeta = index;
    notMeta[4096 + 10] = 0x02;  // page 1 marked as a leaf
    const std::pair<const char*, std::string> cases[] = {
        {"page size 0", withPageSize(0, 0)},
        {"page size 3", withPageSize(3, 3)},
        {"page size 1 MiB", withPageSize(1 << 20, 1 << 20)},
        {"page sizes that disagree", withPageSize(4096, 8192)},
        {"second page not a meta page", notMeta},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        Write("k.idx", bytes);
        EXPECT_EQ(OpenCode("k"), Error::kDamaged);
    }
    Write("k.idx", index);
    EXPECT_EQ(OpenCode("k"), Error::kOk);
}

TEST_F(DamagedFileTest, NothingPlantedAsTheLockFileIsWrittenThrough) {
    // The index's lock file is opened by name and written through a map.
    Write("victim", "a file of the user's own");
    const std::string lock = PathOf("k.idx-lock");
    std::filesystem::remove(lock);
    std::filesystem::create_symlink(PathOf("victim"), lock);
    EXPECT_EQ(OpenCode("k"), Error::kDamaged);
    std::filesystem::remove(lock);
    std::filesystem::create_symlink(PathOf("nowhere"), lock);  // a link to a file to be made
    EXPECT_EQ(OpenCode("k"), Error::kDamaged);
    EXPECT_FALSE(std::filesystem::exists(PathOf("nowhere")));
    std::filesystem::remove(lock);
    std::filesystem::create_directory(lock);
    EXPECT_EQ(OpenCode("k"), Error::kDamaged);
    std::filesystem::remove(lock);
    std::filesystem::create_symlink(PathOf("victim"), lock);
    // Erasing the file takes the link, never what it names.
    EXPECT_OK(engine_.Erase(PathOf("k")));
    EXPECT_FALSE(std::filesystem::is_symlink(lock));
    EXPECT_EQ(Contents("victim"), "a file of the user's own");
}

TEST_F(DamagedFileTest, DamagedIndexPagesAreRefusedBeforeTheyAreRead) {
    const std::string index = Contents("k.idx");
    const size_t pageSize = 4096;
    ASSERT_EQ(index.size() % pageSize, 0u);
    struct Damage {
        const char* what;
        size_t offset;  // within the page, or within its first node
        uint16_t value;
        bool inFirstNode = false;
    };
    const Damage damages[] = {
        {"page number", 0, 0x7777},
        {"kind", 10, 0x0004},
        {"lower beyond upper", 12, 0xFFF0},
        {"node offset past the page", 16, 0xFFF0},
        {"node offset into the header", 16, 0x0004},
        {"key past the page", 6, 0xFFF0, true},
        {"value past the page", 2, 0x7FFF, true},
        {"value of duplicates", 4, 0x0004, true},
    };
    int refused = 0;
    for (size_t page = 2; page < index.size() / pageSize; ++page) {
        for (const Damage& d : damages) {
            SCOPED_TRACE(std::string(d.what) + " of page " + std::to_string(page));
            std::string bytes = index;
            size_t at = page * pageSize + d.offset;
            if (d.inFirstNode) {
                const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
                const size_t lower = byte(page * pageSize + 12) | byte(page * pageSize + 13) << 8;
                if (lower <= 16) continue;  // no node
                at += byte(page * pageSize + 16) | byte(page * pageSize + 17) << 8;
                if (at + 2 > (page + 1) * pageSize) continue;
            }
            bytes[at] = static_cast<char>(d.value & 0xFF);
            bytes[at + 1] = static_cast<char>(d.value >> 8);
            Write("k.idx", bytes);
            std::shared_ptr<DataFile> file;
            const Status s = engine_.Open(PathOf("k"), &file);
            if (!s.ok()) {
                EXPECT_EQ(s.code(), Error::kDamaged) << s.message();
                ++refused;
                continue;
            }
            // A page no tree reaches (a free one) may carry anything.
            std::string key;
            for (Status k = file->SeekKey({}, false, &key); k.ok();
                 k = file->SeekKey(Span(key), true, &key)) {
            }
            EXPECT_OK(engine_.Close(file));
        }
    }
    EXPECT_GE(refused, 4 * 8);  // the main, keys and meta trees at least
}

TEST_F(DamagedFileTest, AKeyOfAnotherSizeIsReportedNotDelivered) {
    // The keys of "k" have 2 bytes; a damaged index holds one of 5 bytes, for a live record.
    {
        engine::KeyIndex index;
        engine::IndexMeta meta;
        ASSERT_OK(index.Open(PathOf("k.idx"), true, &meta));
        ASSERT_OK(index.BeginWrite());
        ASSERT_OK(index.Erase(Bytes("BB")));
        const engine::IndexEntry odd{reinterpret_cast<const uint8_t*>("BBBBB"), 1};
        ASSERT_OK(index.InsertSorted({&odd, 1}, 5));
        ASSERT_OK(index.Commit(meta));
    }
    std::shared_ptr<DataFile> file;
    ASSERT_OK(engine_.Open(PathOf("k"), &file));
    std::string key;
    ASSERT_OK(file->SeekKey({}, false, &key));
    EXPECT_EQ(key, "AA");
    EXPECT_EQ(file->SeekKey(Span(key), true, &key).code(), Error::kDamaged);
    // Deleting its record looks the key up by record number: refused, not copied past its end.
    EXPECT_EQ(file->DeleteRecord(1).code(), Error::kDamaged);
    EXPECT_OK(engine_.Close(file));
}

TEST_F(DamagedFileTest, APageMarkedAsCopiedForAWriteIsRefusedNotWrittenInPlace) {
    // LMDB marks a page it has copied for the running write in the page itself and never writes
    // the mark to disk. A page that carries it would have the next write change it in place,
    // inside the read-only map.
    const std::string index = Contents("k.idx");
    int refused = 0;
    for (size_t page = 2; page < index.size() / 4096; ++page) {
        const uint8_t flags = static_cast<uint8_t>(index[page * 4096 + 10]);
        if (flags != 1 && flags != 2) continue;  // only branch and leaf pages
        SCOPED_TRACE(page);
        std::string bytes = index;
        bytes[page * 4096 + 10] = static_cast<char>(flags | 0x10);
        Write("k.idx", bytes);
        std::shared_ptr<DataFile> file;
        const Status s = engine_.Open(PathOf("k"), &file);
        if (s.ok()) {  // a page no tree reaches: a write goes on as usual
            EXPECT_OK(file->Put(Bytes("ZZ"), Bytes("new")));
            EXPECT_OK(engine_.Close(file));
            continue;
        }
        EXPECT_EQ(s.code(), Error::kDamaged) << s.message();
        ++refused;
    }
    EXPECT_GE(refused, 3);  // the main, keys and meta trees
    Write("k.idx", index);
    EXPECT_EQ(OpenCode("k"), Error::kOk);
}

TEST_F(DamagedFileTest, AnIndexOpenedAgainUnchangedIsCheckedOnceButAChangedOneAgain) {
    const auto checks = [] { return engine::Counters().indexPageChecks; };
    const uint64_t before = checks();
    EXPECT_EQ(OpenCode("k"), Error::kOk);
    EXPECT_EQ(checks(), before + 1);
    EXPECT_EQ(OpenCode("k"), Error::kOk);  // as a build opens its input after its descriptor
    EXPECT_EQ(checks(), before + 1);
    // A commit makes another snapshot: checked again.
    std::shared_ptr<DataFile> file;
    ASSERT_OK(engine_.Open(PathOf("k"), &file));
    ASSERT_OK(file->Put(Bytes("DD"), Bytes("fourth")));
    ASSERT_OK(engine_.Close(file));
    EXPECT_EQ(OpenCode("k"), Error::kOk);
    EXPECT_EQ(checks(), before + 2);
    // The same bytes written again, and then a damaged page of the same length: each is read
    // through again, and the damage is found.
    const std::string index = Contents("k.idx");
    Write("k.idx", index);
    EXPECT_EQ(OpenCode("k"), Error::kOk);
    EXPECT_EQ(checks(), before + 3);
    bool damaged = false;
    for (size_t page = 2; page < index.size() / 4096 && !damaged; ++page) {
        const uint8_t flags = static_cast<uint8_t>(index[page * 4096 + 10]);
        if (flags != 2) continue;  // a leaf page
        std::string bytes = index;
        bytes[page * 4096 + 10] = static_cast<char>(flags | 0x10);
        Write("k.idx", bytes);
        damaged = OpenCode("k") == Error::kDamaged;
    }
    EXPECT_TRUE(damaged);
    Write("k.idx", index);
}

TEST_F(DamagedFileTest, OnlyTheLastFewIndexesCheckedAreRemembered) {
    // Ten files opened in turn, three times: more than are remembered, so each open checks (the
    // oldest goes first); then eight in turn: only the first round checks.
    for (int i = 0; i < 10; ++i) {
        ASSERT_OK(engine_.Create(PathOf("f" + std::to_string(i)), {FileType::kKeyed, 10, 2, 0}));
    }
    const auto checks = [] { return engine::Counters().indexPageChecks; };
    for (int files : {10, 8}) {
        SCOPED_TRACE(files);
        const uint64_t before = checks();
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < files; ++i)
                EXPECT_EQ(OpenCode("f" + std::to_string(i)), Error::kOk);
        }
        EXPECT_EQ(checks() - before, files == 10 ? 30u : 8u);
    }
}

TEST_F(DamagedFileTest, KeyThatPointsPastTheLastRecordIsNeitherReadNorDeleted) {
    {
        engine::KeyIndex index;
        engine::IndexMeta meta;
        ASSERT_OK(index.Open(PathOf("k.idx"), true, &meta));
        ASSERT_OK(index.BeginWrite());
        ASSERT_OK(index.Erase(Bytes("BB")));
        const engine::IndexEntry far{reinterpret_cast<const uint8_t*>("BB"), 1000000};
        ASSERT_OK(index.InsertSorted({&far, 1}, 2));
        ASSERT_OK(index.Commit(meta));
    }
    std::shared_ptr<DataFile> file;
    ASSERT_OK(engine_.Open(PathOf("k"), &file));
    std::vector<uint8_t> record;
    EXPECT_EQ(file->Get(Bytes("BB"), &record).code(), Error::kDamaged);
    EXPECT_EQ(file->DeleteKey(Bytes("BB")).code(), Error::kDamaged);
    EXPECT_OK(file->DeleteKey(Bytes("CC")));
    ASSERT_OK(engine_.Close(file));
    const std::string data = Contents("k");
    ASSERT_EQ(data.size(), 8192u + 30);
    EXPECT_EQ(static_cast<uint8_t>(data[8192 + 20 + 6]), kDeletedMark);
    EXPECT_NE(static_cast<uint8_t>(data[8192 + 10 + 6]), kDeletedMark);
}

}  // namespace
}  // namespace talvo
