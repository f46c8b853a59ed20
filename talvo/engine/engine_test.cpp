// The engine's operations on real files in a temporary folder.
#include "talvo/engine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "talvo/engine/engine_error.h"
#include "talvo/engine/engine_test_support.h"
#include "talvo/engine/tuning.h"

namespace talvo {
namespace {

using engine::testing::Bytes;
using engine::testing::Span;

class EngineTest : public engine::testing::TempDirTest {
  protected:
    void TearDown() override {
        engine::CurrentTuning() = engine::Tuning{};
        TempDirTest::TearDown();
    }

    std::shared_ptr<DataFile> CreateOpen(const std::string& name, CreateOptions options) {
        const Status created = engine_.Create(PathOf(name), options);
        EXPECT_TRUE(created.ok()) << created.message();
        std::shared_ptr<DataFile> file;
        const Status opened = engine_.Open(PathOf(name), &file);
        EXPECT_TRUE(opened.ok()) << opened.message();
        return file;
    }
    std::shared_ptr<DataFile> Reopen(const std::shared_ptr<DataFile>& file,
                                     const std::string& name) {
        EXPECT_OK(engine_.Close(file));
        std::shared_ptr<DataFile> again;
        const Status opened = engine_.Open(PathOf(name), &again);
        EXPECT_TRUE(opened.ok()) << opened.message();
        return again;
    }
    // Every key in order, through SeekKey(strictlyAfter) as a reader of the whole file does.
    static std::vector<std::string> AllKeys(DataFile& file) {
        std::vector<std::string> keys;
        std::string key;
        Status s = file.SeekKey({}, false, &key);
        while (s.ok()) {
            keys.push_back(key);
            s = file.SeekKey(Span(key), true, &key);
        }
        EXPECT_EQ(s.code(), Error::kEndOfKeys) << s.message();
        return keys;
    }

    Engine engine_;
};

TEST_F(EngineTest, CreateRefusesImpossibleShapesAndExistingNames) {
    struct Case {
        CreateOptions options;
        Error expected;
    };
    const Case cases[] = {
        {{FileType::kKeyed, 100, 12, 0}, Error::kOk},
        {{FileType::kKeyed, 0, 255, 0}, Error::kOk},
        {{FileType::kExtendedKeyed, 20, 10, 10}, Error::kOk},
        {{FileType::kRecords1, 65535, 0, 0}, Error::kOk},
        {{static_cast<FileType>(3), 10, 4, 0}, Error::kInvalidArgument},
        {{FileType::kKeyed, 65536, 4, 0}, Error::kInvalidArgument},
        {{FileType::kKeyed, 10, 0, 0}, Error::kInvalidArgument},
        {{FileType::kKeyed, 10, 256, 0}, Error::kInvalidArgument},
        {{FileType::kKeyed, 10, 4, 2}, Error::kInvalidArgument},
        {{FileType::kExtendedKeyed, 20, 10, 11}, Error::kInvalidArgument},
        {{FileType::kRecords2, 10, 4, 0}, Error::kInvalidArgument},
        {{FileType::kRecords1, 0, 0, 0}, Error::kInvalidArgument},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = PathOf("f" + std::to_string(n++));
        const Status s = engine_.Create(path, c.options);
        EXPECT_EQ(s.code(), c.expected) << path << ": " << s.message();
        EXPECT_EQ(Engine::Exists(path), c.expected == Error::kOk);
        if (c.expected == Error::kOk) {
            EXPECT_EQ(engine_.Create(path, c.options).code(), Error::kFileExists);
        } else {
            EXPECT_FALSE(std::filesystem::exists(path + ".idx"));
        }
    }
}

TEST_F(EngineTest, CreateNeverWritesThroughALinkPlantedAtItsTemporaryName) {
    // A new data file is written under a name of the process and a count, then linked into
    // place: links planted under every such name the next creates could take are not followed.
    std::ofstream(PathOf("victim")) << "the user's own";
    for (int n = 0; n < 2000; ++n) {
        std::filesystem::create_symlink(
            PathOf("victim"),
            PathOf("f") + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(n));
    }
    // Refused (the names are taken) or made under a name no link holds: never through one.
    const Status s = engine_.Create(PathOf("f"), {FileType::kRecords2, 8, 0, 0});
    EXPECT_EQ(Engine::Exists(PathOf("f")), s.ok());
    EXPECT_FALSE(std::filesystem::is_symlink(PathOf("f")));
    std::ifstream in(PathOf("victim"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the user's own");
}

TEST_F(EngineTest, PutGetAndReadRecordKeepEveryByte) {
    auto file = CreateOpen("k", {FileType::kKeyed, 10, 4, 0});
    uint64_t number = 99;
    ASSERT_OK(file->Put(Bytes("AB"), Bytes("short"), &number));
    EXPECT_EQ(number, 0u);
    ASSERT_OK(file->Put(Bytes("ABCD"), Bytes("a record much longer than ten"), &number));
    EXPECT_EQ(number, 1u);

    std::vector<uint8_t> record;
    ASSERT_OK(file->Get(Bytes(std::string("AB\0\0", 4)), &record, &number));  // padded form
    EXPECT_EQ(record, Bytes("short     "));
    EXPECT_EQ(number, 0u);
    ASSERT_OK(file->Get(Bytes("ABCD"), &record));
    EXPECT_EQ(record, Bytes("a record m"));
    EXPECT_EQ(file->Get(Bytes("ABC"), &record).code(), Error::kNotFound);
    EXPECT_EQ(file->Get(Bytes("ABCDE"), &record).code(), Error::kKeyTooLong);
    EXPECT_EQ(file->Put(Bytes("ABCDE"), Bytes("x")).code(), Error::kKeyTooLong);

    ASSERT_OK(file->ReadRecord(1, &record));
    EXPECT_EQ(record, Bytes("a record m"));
    EXPECT_EQ(file->ReadRecord(2, &record).code(), Error::kNotFound);
    EXPECT_EQ(file->AppendRecord(Bytes("x"), &number).code(), Error::kWrongFileType);

    file = Reopen(file, "k");
    const FileInfo info = file->Info();
    EXPECT_EQ(info.slotCount, 2u);
    EXPECT_EQ(info.keyCount, 2u);
    EXPECT_EQ(info.deletedCount, 0u);
    EXPECT_EQ(info.indexPath, info.dataPath + ".idx");
    EXPECT_GT(info.created, 0);
    ASSERT_OK(file->Get(Bytes("AB"), &record));
    EXPECT_EQ(record, Bytes("short     "));
    // Slot n lies at the header plus n record sizes, so the length estimates the count.
    EXPECT_EQ(std::filesystem::file_size(info.dataPath), 8192u + 2 * 10);
    EXPECT_OK(engine_.Close(file));
}

TEST_F(EngineTest, KeysComeInUnsignedByteOrderIncludingZeroAndFF) {
    auto file = CreateOpen("k", {FileType::kKeyed, 4, 3, 0});
    const std::vector<std::string> keys = {
        std::string("\xFF\xFF\xFF", 3), std::string("\x00\x00\x00", 3),
        std::string("\x80\x00\x01", 3), std::string("\x7F\xFF\xFF", 3),
        std::string("A\x00\xFF", 3),    std::string("A\xFF\x00", 3),
        std::string("\x00\x00\x01", 3), std::string("\xFF\xFE\xFF", 3)};
    for (const std::string& k : keys) ASSERT_OK(file->Put(Span(k), Bytes("rec")));
    std::vector<std::string> sorted = keys;
    std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) { return uint8_t(x) < uint8_t(y); });
    });
    EXPECT_EQ(AllKeys(*file), sorted);  // before any commit
    file = Reopen(file, "k");
    EXPECT_EQ(AllKeys(*file), sorted);  // from the index

    std::string found;
    ASSERT_OK(file->SeekKey(Bytes("A"), false, &found));  // "A\0\0" is not there: next one up
    EXPECT_EQ(found, std::string("A\x00\xFF", 3));
    ASSERT_OK(file->SeekKey(Span(std::string("A\x00\xFF", 3)), false, &found));
    EXPECT_EQ(found, std::string("A\x00\xFF", 3));
    ASSERT_OK(file->SeekKey(Span(std::string("A\x00\xFF", 3)), true, &found));
    EXPECT_EQ(found, std::string("A\xFF\x00", 3));
    // A positioning key longer than the key size counts with its first bytes.
    ASSERT_OK(file->SeekKey(Span(std::string("\x7F\xFF\xFF\x01\x02", 5)), false, &found));
    EXPECT_EQ(found, std::string("\x7F\xFF\xFF", 3));
    EXPECT_EQ(file->SeekKey(Span(std::string("\xFF\xFF\xFF", 3)), true, &found).code(),
              Error::kEndOfKeys);
    EXPECT_OK(engine_.Close(file));
}

TEST_F(EngineTest, DuplicateKeyIsRefusedWithTheKeyAndWritesNothing) {
    auto file = CreateOpen("k", {FileType::kKeyed, 8, 4, 0});
    ASSERT_OK(file->Put(Bytes("K1"), Bytes("first")));
    ASSERT_OK(file->Flush());
    ASSERT_OK(file->Put(Bytes("K2"), Bytes("second")));
    for (const char* dup : {"K1", "K2"}) {  // one committed, one still in the write batch
        const Status s = file->Put(Bytes(std::string(dup) + std::string(2, '\0')), Bytes("again"));
        EXPECT_EQ(s.code(), Error::kDuplicateKey);
        EXPECT_NE(s.message().find(std::string("4B 3") + dup[1] + " 00 00"), std::string::npos)
            << s.message();
    }
    EXPECT_EQ(file->Info().slotCount, 2u);
    file = Reopen(file, "k");
    EXPECT_EQ(file->Info().slotCount, 2u);
    EXPECT_EQ(file->Info().keyCount, 2u);
    std::vector<uint8_t> record;
    ASSERT_OK(file->Get(Bytes("K1"), &record));
    EXPECT_EQ(record, Bytes("first   "));
    EXPECT_OK(engine_.Close(file));
}

TEST_F(EngineTest, ExtendedKeyedFileCarriesTheKeyAndNeverStoresALiveRecordThatReadsDeleted) {
    auto file = CreateOpen("x", {FileType::kExtendedKeyed, 12, 3, 7});
    std::vector<uint8_t> record;
    ASSERT_OK(file->Put(Bytes("KEY"), Bytes("0123456KEYAB")));
    ASSERT_OK(file->Get(Bytes("KEY"), &record));
    EXPECT_EQ(record, Bytes("0123456KEYAB"));
    // A short key is zero-padded, and so must the record be at the key position; a short record
    // is padded with spaces before it is compared.
    ASSERT_OK(file->Put(Bytes("K"), Span(std::string("0123456K\0\0AB", 12))));
    ASSERT_OK(file->Put(Bytes("   "), Bytes("0123456")));
    // Records that do not carry their key are refused, whatever else they hold, and the text
    // names the key position and the key.
    struct Refusal {
        std::string key;
        std::string record;
    };
    const Refusal refusals[] = {
        {"KEZ", "0123456KEYAB"},                     // one byte differs
        {"K", "0123456K  AB"},                       // padded with spaces, not zeros
        {"KEY", "0123456KE"},                        // cut short: the last key byte is a space
        {"KEY", "0123456789ABCDEF"},                 // cut to the record size, still no key
        {std::string("\0\0\0", 3), "0123456789AB"},  // a zero key in a record without one
    };
    for (const Refusal& r : refusals) {
        const Status s = file->Put(Span(r.key), Span(r.record));
        EXPECT_EQ(s.code(), Error::kInvalidArgument) << r.record;
        EXPECT_NE(s.message().find("key position 7"), std::string::npos) << s.message();
        std::string padded = r.key;
        padded.resize(3, '\0');
        EXPECT_NE(s.message().find("not its key " + engine::HexBytes(Span(padded))),
                  std::string::npos)
            << s.message();
    }
    // The key lands on byte 8, the deleted mark of type 36.
    const Status refused = file->Put(Span(std::string("K\xFE"
                                                      "Z",
                                                      3)),
                                     Span(std::string("0123456K\xFE"
                                                      "ZAB",
                                                      12)));
    EXPECT_EQ(refused.code(), Error::kInvalidArgument) << refused.message();
    EXPECT_NE(refused.message().find("deleted"), std::string::npos) << refused.message();
    EXPECT_EQ(file->Info().slotCount, 3u);  // nothing refused was written
    file = Reopen(file, "x");
    EXPECT_EQ(file->Info().slotCount, 3u);
    ASSERT_OK(file->ReadRecord(2, &record));
    EXPECT_EQ(record, Bytes("0123456     "));
    EXPECT_EQ(file->Get(Bytes("KEZ"), &record).code(), Error::kNotFound);
    EXPECT_OK(engine_.Close(file));

    auto keyed = CreateOpen("k", {FileType::kKeyed, 8, 2, 0});
    EXPECT_EQ(keyed
                  ->Put(Bytes("AA"), Bytes("123456\xFE"
                                           "7"))
                  .code(),
              Error::kInvalidArgument);
    EXPECT_OK(keyed->Put(Bytes("AA"), Bytes("12345\xFE"
                                            "67")));  // byte 5: ordinary data
    EXPECT_OK(engine_.Close(keyed));
}

TEST_F(EngineTest, DeletedRecordsCarryTheMarkAndLoseTheirKeys) {
    for (FileType type : {FileType::kKeyed, FileType::kExtendedKeyed}) {
        SCOPED_TRACE(static_cast<int>(type));
        const std::string name = "d" + std::to_string(static_cast<int>(type));
        auto file = CreateOpen(name, {type, 12, 2, 0});
        const size_t mark = static_cast<size_t>(DeletedMarkOffset(type));
        // Each record carries its key in bytes 0 and 1 (the key position of type 36).
        for (const char* k : {"AA", "BB", "CC", "DD"})
            ASSERT_OK(file->Put(Bytes(k), Bytes(std::string(k) + "data..data")));
        ASSERT_OK(file->Flush());  // AA..DD committed
        ASSERT_OK(file->Put(Bytes("EE"), Bytes("EEdata..data")));

        ASSERT_OK(file->DeleteKey(Bytes("BB")));  // committed slot, by key
        ASSERT_OK(file->DeleteRecord(2));         // committed slot, by number (CC)
        ASSERT_OK(file->DeleteRecord(4));         // uncommitted slot (EE)
        EXPECT_EQ(file->DeleteRecord(2).code(), Error::kDeletedRecord);
        EXPECT_EQ(file->DeleteKey(Bytes("BB")).code(), Error::kNotFound);
        EXPECT_EQ(file->DeleteRecord(5).code(), Error::kNotFound);

        for (int pass = 0; pass < 2; ++pass) {
            std::vector<uint8_t> record;
            for (uint64_t n = 0; n < 5; ++n) {
                ASSERT_OK(file->ReadRecord(n, &record));
                EXPECT_EQ(record[mark] == kDeletedMark, n == 1 || n == 2 || n == 4) << "slot " << n;
            }
            EXPECT_EQ(file->Get(Bytes("CC"), &record).code(), Error::kNotFound);
            EXPECT_EQ(AllKeys(*file), (std::vector<std::string>{"AA", "DD"}));
            const FileInfo info = file->Info();
            EXPECT_EQ(info.slotCount, 5u);
            EXPECT_EQ(info.deletedCount, 3u);
            EXPECT_EQ(info.keyCount, 2u);
            file = Reopen(file, name);
        }
        // A deleted key may come back, in a new slot.
        uint64_t number = 0;
        std::vector<uint8_t> again;
        ASSERT_OK(file->Put(Bytes("BB"), Bytes("BBagain.....")));
        ASSERT_OK(file->Get(Bytes("BB"), &again, &number));
        EXPECT_EQ(number, 5u);
        EXPECT_OK(engine_.Close(file));
    }
    auto tiny = CreateOpen("tiny", {FileType::kKeyed, 6, 2, 0});
    ASSERT_OK(tiny->Put(Bytes("AA"), Bytes("123456")));
    EXPECT_EQ(tiny->DeleteKey(Bytes("AA")).code(), Error::kNotSupported);
    EXPECT_OK(engine_.Close(tiny));
}

TEST_F(EngineTest, KeyOnlyFileIsAnIndexAlone) {
    auto file = CreateOpen("keys", {FileType::kKeyed, 0, 5, 0});
    for (const char* k : {"delta", "alpha", "char"})
        ASSERT_OK(file->Put(Bytes(k), Bytes("ignored")));
    EXPECT_EQ(file->Put(Bytes("alpha"), {}).code(), Error::kDuplicateKey);
    std::vector<uint8_t> record{1, 2};
    ASSERT_OK(file->Get(Bytes("char"), &record));
    EXPECT_TRUE(record.empty());
    EXPECT_EQ(file->ReadRecord(0, &record).code(), Error::kNotFound);
    ASSERT_OK(file->DeleteKey(Bytes("delta")));
    file = Reopen(file, "keys");
    EXPECT_EQ(AllKeys(*file), (std::vector<std::string>{"alpha", std::string("char\0", 5)}));
    EXPECT_EQ(file->Info().slotCount, 0u);
    EXPECT_EQ(file->Info().keyCount, 2u);
    EXPECT_EQ(std::filesystem::file_size(PathOf("keys")), 8192u);
    EXPECT_OK(engine_.Close(file));
}

TEST_F(EngineTest, RecordFilesAppendAndRefuseKeyOperations) {
    auto file = CreateOpen("r", {FileType::kRecords1, 5, 0, 0});
    uint64_t number = 0;
    ASSERT_OK(file->AppendRecord(Bytes("ab"), &number));
    ASSERT_OK(
        file->AppendRecord(Bytes("\xFE\xFE\xFE\xFE\xFE\xFE\xFE"), &number));  // 0xFE is data here
    EXPECT_EQ(number, 1u);
    std::vector<uint8_t> record;
    EXPECT_EQ(file->Put(Bytes("k"), Bytes("r")).code(), Error::kWrongFileType);
    EXPECT_EQ(file->Get(Bytes("k"), &record).code(), Error::kWrongFileType);
    EXPECT_EQ(file->SeekKey({}, false, nullptr).code(), Error::kWrongFileType);
    EXPECT_EQ(file->DeleteRecord(0).code(), Error::kWrongFileType);
    file = Reopen(file, "r");
    ASSERT_OK(file->ReadRecord(0, &record));
    EXPECT_EQ(record, Bytes("ab   "));
    ASSERT_OK(file->ReadRecord(1, &record));
    EXPECT_EQ(record, Bytes("\xFE\xFE\xFE\xFE\xFE"));
    EXPECT_EQ(file->Info().indexPath, "");
    EXPECT_OK(engine_.Close(file));
}

TEST_F(EngineTest, ManyRandomKeysSurviveBatchesCommitsAndReopen) {
    // Small budgets so that this file goes through every path a large one takes.
    engine::CurrentTuning().slotBufferBytes = 1000;
    engine::CurrentTuning().pendingKeyBytes = 20000;
    engine::CurrentTuning().commitBytes = 150000;
    auto file = CreateOpen("big", {FileType::kKeyed, 16, 8, 0});
    std::mt19937_64 random(7);
    std::map<std::string, uint64_t> expected;
    while (expected.size() < 20000) {
        const uint64_t v = random();
        std::string key(reinterpret_cast<const char*>(&v), 8);
        if (expected.count(key) != 0) continue;
        uint64_t number = 0;
        ASSERT_OK(file->Put(Span(key), Span("record::" + key), &number));
        expected[key] = number;
        if (expected.size() % 997 == 0) {  // reads in between see everything written so far
            std::vector<uint8_t> record;
            ASSERT_OK(file->Get(Span(key), &record));
            std::string first;
            ASSERT_OK(file->SeekKey({}, false, &first));
            EXPECT_EQ(first, expected.begin()->first);
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(file->Info().keyCount, expected.size());
        std::vector<std::string> keys = AllKeys(*file);
        ASSERT_EQ(keys.size(), expected.size());
        auto it = expected.begin();
        for (size_t i = 0; i < keys.size(); ++i, ++it) {
            ASSERT_EQ(keys[i], it->first);
            std::vector<uint8_t> record;
            uint64_t number = 0;
            ASSERT_OK(file->Get(Span(keys[i]), &record, &number));
            ASSERT_EQ(number, it->second);
            ASSERT_EQ(std::string(record.begin(), record.end()), "record::" + keys[i]);
        }
        file = Reopen(file, "big");
    }
    EXPECT_OK(engine_.Close(file));
}

TEST_F(EngineTest, OneFileWhateverItsSpellingAndNoEraseOrCreateWhileOpen) {
    std::filesystem::create_directory(dir_ / "sub");
    ASSERT_OK(engine_.Create(PathOf("sub/data"), {FileType::kKeyed, 10, 4, 0}));
    std::filesystem::create_symlink(dir_ / "sub" / "data", dir_ / "link");
    std::shared_ptr<DataFile> a, b, c;
    ASSERT_OK(engine_.Open(PathOf("sub/data"), &a));
    ASSERT_OK(engine_.Open(PathOf("sub/../sub/./data"), &b));
    ASSERT_OK(engine_.Open(PathOf("link"), &c));
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(a.get(), c.get());
    ASSERT_OK(a->Put(Bytes("KEY1"), Bytes("rec")));

    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(engine_.Erase(PathOf("link")).code(), Error::kFileInUse);
        EXPECT_EQ(engine_.Erase(PathOf("sub/data")).code(), Error::kFileInUse);
        EXPECT_EQ(engine_.Create(PathOf("link"), {FileType::kKeyed, 10, 4, 0}).code(),
                  Error::kFileInUse);
        std::vector<uint8_t> record;
        EXPECT_OK(c->Get(Bytes("KEY1"), &record));  // the shared file still has it
        EXPECT_OK(engine_.Close(i == 0 ? b : i == 1 ? c : a));
    }
    EXPECT_EQ(engine_.Close(a).code(), Error::kNotOpen);
    EXPECT_EQ(a->Put(Bytes("KEY2"), Bytes("x")).code(), Error::kNotOpen);

    ASSERT_OK(engine_.Erase(PathOf("link")));
    for (const char* part : {"sub/data", "sub/data.idx", "sub/data.idx-lock", "link"}) {
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir_ / part))) << part;
    }
    EXPECT_EQ(engine_.Erase(PathOf("sub/data")).code(), Error::kNoSuchFile);
    EXPECT_EQ(engine_.Open(PathOf("sub/data"), &a).code(), Error::kNoSuchFile);
}

TEST_F(EngineTest, EraseAndCreateLeaveAnotherDataFileNamedLikeAnIndexAlone) {
    // "in.idx" and "in.idx-lock" are data files of their own, the second one open.
    for (const char* name : {"in.idx", "in.idx-lock"}) {
        auto other = CreateOpen(name, {FileType::kRecords2, 8, 0, 0});
        ASSERT_OK(other->AppendRecord(Bytes("precious"), nullptr));
        ASSERT_OK(engine_.Close(other));
    }
    std::shared_ptr<DataFile> held;
    ASSERT_OK(engine_.Open(PathOf("in.idx-lock"), &held));

    // A records file "in" has no index: erasing it removes nothing else.
    auto records = CreateOpen("in", {FileType::kRecords2, 8, 0, 0});
    ASSERT_OK(engine_.Close(records));
    ASSERT_OK(engine_.Erase(PathOf("in")));
    // A keyed file "in" would need those names for its index.
    EXPECT_EQ(engine_.Create(PathOf("in"), {FileType::kKeyed, 10, 4, 0}).code(),
              Error::kFileExists);
    EXPECT_FALSE(Engine::Exists(PathOf("in")));
    // A damaged "in" of ours (type unknown) is erased without its neighbours.
    std::ofstream(PathOf("in"), std::ios::binary) << std::string(8192, 'x');
    std::filesystem::copy_file(PathOf("in.idx"), PathOf("saved"));
    {
        std::fstream f(PathOf("in"), std::ios::in | std::ios::out | std::ios::binary);
        std::ifstream src(PathOf("saved"), std::ios::binary);
        std::string header(8192, '\0');
        src.read(header.data(), 8192);
        header[100] ^= 1;         // copy 0 fails its checksum
        header[4096 + 100] ^= 1;  // and so does copy 1
        f.write(header.data(), 8192);
    }
    ASSERT_OK(engine_.Erase(PathOf("in")));

    for (const char* name : {"in.idx", "in.idx-lock"}) {
        SCOPED_TRACE(name);
        std::shared_ptr<DataFile> file;
        ASSERT_OK(engine_.Open(PathOf(name), &file));
        std::vector<uint8_t> record;
        EXPECT_OK(file->ReadRecord(0, &record));
        EXPECT_EQ(record, Bytes("precious"));
        EXPECT_OK(engine_.Close(file));
    }
    EXPECT_OK(engine_.Close(held));
}

TEST_F(EngineTest, SubordinateKeysAreKeptInTheFile) {
    auto file = CreateOpen("s", {FileType::kExtendedKeyed, 20, 4, 0});
    int index = 0;
    ASSERT_OK(file->AddSubKey({7, -3, "by name"}, &index));
    EXPECT_EQ(index, 1);
    ASSERT_OK(file->AddSubKey({1, 2, std::string(31, 'n')}, &index));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(file->AddSubKey({1, 2, std::string(32, 'n')}).code(), Error::kInvalidArgument);
    file = Reopen(file, "s");
    SubKeyDef def;
    ASSERT_OK(file->GetSubKey(1, &def));
    EXPECT_EQ(def.first, 7);
    EXPECT_EQ(def.second, -3);
    EXPECT_EQ(def.name, "by name");
    ASSERT_OK(file->GetSubKey(2, &def));
    EXPECT_EQ(def.name, std::string(31, 'n'));
    EXPECT_EQ(file->GetSubKey(3, &def).code(), Error::kNotFound);
    EXPECT_EQ(file->GetSubKey(0, &def).code(), Error::kInvalidArgument);
    EXPECT_EQ(file->GetSubKey(100, &def).code(), Error::kInvalidArgument);
    for (int i = 3; i <= kMaxSubKeys; ++i) ASSERT_OK(file->AddSubKey({i, i, "k"}, &index));
    EXPECT_EQ(index, 99);
    EXPECT_EQ(file->AddSubKey({0, 0, "one too many"}).code(), Error::kInvalidArgument);
    file = Reopen(file, "s");
    ASSERT_OK(file->GetSubKey(99, &def));
    EXPECT_EQ(def.first, 99);
    EXPECT_OK(engine_.Close(file));
}

}  // namespace
}  // namespace talvo
