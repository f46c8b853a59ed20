// The channel and directory-table operations against the scripted component: what reaches the
// component, byte for byte and in which order, what comes back cut to the caller's capacity, and
// what stays untouched when the component or a buffer transfer fails.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fsclient/dornapi.h"
#include "fsclient/testing/scripted_component.h"
#include "platform/exception.h"

namespace {

using fstest::ScriptedComponent;
using fstest::Units;
using fstest::W;
using platform::ComPtr;
using platform::VariantBool;
using platform::WideString;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kChannel = 38;

// A connected client over a component of type C (the scripted one or a subclass of it).
template <typename C = ScriptedComponent>
struct Connected {
    ComPtr<C> component;
    fstest::ScopedComponentRegistration registration;
    CDornApi client{"Ordelin Utility", 100, 51, 0, false};

    explicit Connected(ComPtr<C> c = Make())
        : component(c), registration(ComPtr<ScriptedComponent>(Upcast(c))) {
        EXPECT_TRUE(client.Connect(nullptr, false));
        component->calls.clear();
    }
    static ComPtr<C> Make() { return ComPtr<C>(new C()); }
    static ScriptedComponent* Upcast(const ComPtr<C>& c) {
        c->AddRef();
        return c.Get();
    }
};

// A keyed file FILE in directory DIR holding `records` under `keys`, open on kChannel.
template <typename C>
void OpenKeyed(Connected<C>& t, const std::vector<Bytes>& keys, const std::vector<Bytes>& records,
               int32_t keySize) {
    auto& file =
        t.component->AddFile("DIR", "FILE", 4, static_cast<int32_t>(records[0].size()), keySize);
    for (size_t i = 0; i < keys.size(); ++i) {
        ScriptedComponent::AddRecord(file, Units(keys[i]), Units(records[i]));
    }
    ASSERT_TRUE(t.client.OpenFile(kChannel, "FILE", "DIR"));
    t.component->calls.clear();
}

const Bytes kRecord = {0x00, 0xFF, 0x10, 0x80, 0x7F, 0x01, 0xFE, 0x00, 0xFF, 0x42};
const Bytes kKey = {0x00, 0xFF, 0x00};

// Both record reads: found, then delivered according to the capacity given.
TEST(ChannelsTest, RecordReadsDeliverUpToTheCapacity) {
    struct Row {
        const char* name;
        bool hasLength;
        int32_t capacity;
        int32_t delivered;  // bytes expected in the buffer and in the length
        bool fetches;       // whether the buffer is asked for at all
    };
    const Row rows[] = {
        {"no length", false, 0, 0, false},       {"length 0", true, 0, 0, false},
        {"shorter capacity", true, 4, 4, true},  {"exact capacity", true, 10, 10, true},
        {"larger capacity", true, 32, 10, true},
    };
    for (bool byKey : {true, false}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (byKey ? " by key" : " by number"));
            Connected t;
            OpenKeyed(t, {kKey}, {kRecord}, 3);
            Bytes buffer(40, 0xAA);
            int32_t length = row.capacity;
            int32_t* lengthArg = row.hasLength ? &length : nullptr;
            const bool ok =
                byKey ? t.client.ReadByKey(kChannel, buffer.data(), lengthArg, kKey.data(), 3)
                      : t.client.ReadByRecordNumber(kChannel, buffer.data(), lengthArg, 0);
            ASSERT_TRUE(ok);
            EXPECT_EQ(t.component->CallCount("GetBuffer"), row.fetches ? 1 : 0);
            if (row.hasLength) {
                EXPECT_EQ(length, row.delivered);
            }
            EXPECT_TRUE(
                std::equal(kRecord.begin(), kRecord.begin() + row.delivered, buffer.begin()));
            for (size_t i = static_cast<size_t>(row.delivered); i < buffer.size(); ++i) {
                ASSERT_EQ(buffer[i], 0xAA) << "byte " << i << " past the delivered record";
            }
        }
    }
}

TEST(ChannelsTest, ReadsSendTheKeyOrNumberUnchanged) {
    Connected t;
    OpenKeyed(t, {kKey}, {kRecord}, 3);
    EXPECT_TRUE(t.client.ReadByKey(kChannel, nullptr, nullptr, kKey.data(), 3));
    const auto readKey = t.component->LastCall("ReadKey");
    EXPECT_EQ(readKey.variant.vt, platform::VT_BSTR);
    EXPECT_EQ(readKey.variant.bstrVal, Units(kKey));

    EXPECT_TRUE(t.client.ReadByRecordNumber(kChannel, nullptr, nullptr, 0));
    const auto readRecord = t.component->LastCall("ReadRecord");
    EXPECT_EQ(readRecord.variant.vt, platform::VT_I4);
    EXPECT_EQ(readRecord.variant.lVal, 0);

    // A 254-byte key of every value travels as 254 units.
    Bytes longKey(254);
    for (size_t i = 0; i < longKey.size(); ++i) longKey[i] = static_cast<uint8_t>(255 - i);
    EXPECT_FALSE(t.client.ReadByKey(kChannel, nullptr, nullptr, longKey.data(), 254));
    EXPECT_EQ(t.component->LastCall("ReadKey").variant.bstrVal, Units(longKey));
}

TEST(ChannelsTest, FailedReadsCopyNothing) {
    for (const char* failing : {"ReadKey", "ReadRecord", "GetBuffer"}) {
        SCOPED_TRACE(failing);
        Connected t;
        OpenKeyed(t, {kKey}, {kRecord}, 3);
        const std::string op = failing;
        if (op == "GetBuffer") {
            t.component->throwOnGetBuffer = true;
        } else {
            t.component->failingOperations.insert(op);
        }
        Bytes buffer(16, 0xAA);
        int32_t length = 16;
        if (op != "ReadRecord") {
            EXPECT_FALSE(t.client.ReadByKey(kChannel, buffer.data(), &length, kKey.data(), 3));
        }
        length = 16;
        if (op != "ReadKey") {
            EXPECT_FALSE(t.client.ReadByRecordNumber(kChannel, buffer.data(), &length, 0));
        }
        EXPECT_EQ(buffer, Bytes(16, 0xAA));
        EXPECT_EQ(t.component->CallCount("GetBuffer"), op == "GetBuffer" ? 2 : 0);
    }
}

TEST(ChannelsTest, NextKeyIsCutToTheCapacityAndEndsWithFalse) {
    Connected t;
    OpenKeyed(t, {{1, 2, 3, 4, 5, 6}, {0xFF, 0, 0xFF, 0, 0xFF, 0}}, {kRecord, kRecord}, 6);
    const Bytes from = {0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(t.client.PositionByKey(kChannel, from.data(), 6));
    EXPECT_EQ(t.component->LastCall("FindKey").variant.bstrVal, Units(from));

    Bytes key(8, 0xAA);
    int32_t length = 4;
    ASSERT_TRUE(t.client.ReadNextKey(kChannel, key.data(), length));
    EXPECT_EQ(length, 4);
    EXPECT_EQ(key, (Bytes{1, 2, 3, 4, 0xAA, 0xAA, 0xAA, 0xAA})) << "cut, no terminator";

    key.assign(8, 0xAA);
    length = 8;
    ASSERT_TRUE(t.client.ReadNextKey(kChannel, key.data(), length));
    EXPECT_EQ(length, 6);
    EXPECT_EQ(key, (Bytes{0xFF, 0, 0xFF, 0, 0xFF, 0, 0xAA, 0xAA}));

    length = 8;
    EXPECT_FALSE(t.client.ReadNextKey(kChannel, key.data(), length));
    EXPECT_EQ(length, 0);
    EXPECT_EQ(key, (Bytes{0xFF, 0, 0xFF, 0, 0xFF, 0, 0xAA, 0xAA}));
}

TEST(ChannelsTest, KeyedWriteStoresTheRecordThenSendsTheKey) {
    Connected t;
    OpenKeyed(t, {kKey}, {kRecord}, 3);
    const Bytes newKey = {0xFF, 0x00, 0x01};
    const Bytes record = {0xFF, 0x00, 0x7F, 0x80, 0x00, 0x00, 0x11, 0x00, 0x22, 0xFF};
    ASSERT_TRUE(t.client.WriteKeyed(kChannel, record.data(), 10, newKey.data(), 3));
    EXPECT_EQ(t.component->CallNames(),
              (std::vector<std::string>{"PrepareBuffer", "PutBuffer", "WriteKey"}));
    const auto put = t.component->LastCall("PutBuffer");
    EXPECT_EQ(put.texts.at(0), Units(record));
    const auto write = t.component->LastCall("WriteKey");
    EXPECT_EQ(write.variant.vt, platform::VT_BSTR);
    EXPECT_EQ(write.variant.bstrVal, Units(newKey));

    // The component's refusal is the result.
    t.component->failingOperations.insert("WriteKey");
    EXPECT_FALSE(t.client.WriteKeyed(kChannel, record.data(), 10, newKey.data(), 3));
}

TEST(ChannelsTest, FailedStoreSendsNoKey) {
    Connected t;
    OpenKeyed(t, {kKey}, {kRecord}, 3);
    t.component->throwOnPutBuffer = true;
    const Bytes key = {9, 9, 9};
    EXPECT_FALSE(t.client.WriteKeyed(kChannel, kRecord.data(), 10, key.data(), 3));
    EXPECT_EQ(t.component->CallCount("PutBuffer"), 1);
    EXPECT_EQ(t.component->CallCount("WriteKey"), 0);
}

TEST(ChannelsTest, SubordinateKeyNameIsCutAndTerminated) {
    Connected t;
    auto& file = t.component->AddFile("DIR", "FILE", 36, 20, 4, 2);
    const std::string longName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";  // 40 characters
    file.subKeys.push_back({5, 6, W(longName)});
    file.subKeys.push_back({7, 8, W("")});
    ASSERT_TRUE(t.client.OpenFile(kChannel, "FILE", "DIR"));

    int32_t first = 0;
    int32_t second = 0;
    char name[40];
    std::memset(name, 'x', sizeof name);
    ASSERT_TRUE(t.client.GetSubordinateKey(kChannel, 1, first, second, name, 32));
    EXPECT_EQ(first, 5);
    EXPECT_EQ(second, 6);
    EXPECT_EQ(std::string(name), longName.substr(0, 31));
    EXPECT_EQ(name[32], 'x') << "nothing written past the name buffer";

    ASSERT_TRUE(t.client.GetSubordinateKey(kChannel, 2, first, second, name, 32));
    EXPECT_EQ(std::string(name), "");

    // No third sub-key: false, outputs as they were.
    first = second = -5;
    EXPECT_FALSE(t.client.GetSubordinateKey(kChannel, 3, first, second, name, 32));
    EXPECT_EQ(first, -5);
    EXPECT_EQ(second, -5);
}

TEST(ChannelsTest, SubordinateKeyObjectWithoutItsInterfaceGivesFalse) {
    struct NoInterface : ScriptedComponent {
        platform::HResult GetSubKey(int32_t, int32_t, platform::IDispatch** subKey) override {
            auto object = fstest::ScriptedSubKey::Make(1, 2, W("N"));
            object->offersInterface = false;
            *subKey = object.Detach();
            return platform::kOk;
        }
    };
    Connected<NoInterface> t;
    int32_t first = -5;
    int32_t second = -5;
    char name[8] = "old";
    EXPECT_FALSE(t.client.GetSubordinateKey(kChannel, 1, first, second, name, 8));
    EXPECT_EQ(first, -5);
    EXPECT_STREQ(name, "old");
}

// A component whose handle and seek answers are scripted.
struct HandleComponent : ScriptedComponent {
    int64_t handle = 12;
    int64_t seekResult = 4096;
    platform::HResult GetHandle(int32_t, int32_t* integer, int64_t* h) override {
        *integer = 77;
        *h = handle;
        return handle == -1 ? platform::kFail : platform::kOk;
    }
    platform::HResult Seek(int64_t, int64_t, int32_t, int64_t* position) override {
        *position = seekResult;
        return seekResult == -1 ? platform::kFail : platform::kOk;
    }
};

TEST(ChannelsTest, HandleAndSeek) {
    Connected<HandleComponent> t;
    int64_t handle = 0;
    int32_t second = 0;
    ASSERT_TRUE(t.client.GetChannelHandle(kChannel, handle, &second));
    EXPECT_EQ(handle, 12);
    EXPECT_EQ(second, 77);
    ASSERT_TRUE(t.client.GetChannelHandle(kChannel, handle, nullptr));

    int64_t position = 0;
    ASSERT_TRUE(t.client.SeekHandle(handle, position, 2));
    EXPECT_EQ(position, 4096);

    t.component->handle = -1;
    handle = 555;
    second = 666;
    EXPECT_FALSE(t.client.GetChannelHandle(kChannel, handle, &second));
    EXPECT_EQ(handle, 555);
    EXPECT_EQ(second, 666);

    t.component->seekResult = -1;
    position = 10;
    EXPECT_FALSE(t.client.SeekHandle(12, position, 2));
    EXPECT_EQ(position, -1);
}

TEST(ChannelsTest, DirectoryEntryIsCutToItsFields) {
    struct LongEntries : ScriptedComponent {
        platform::HResult GetDirectory(int32_t index, WideString* path, WideString* name) override {
            if (index != 0) return platform::kFail;
            *name = W("ABCDE");
            *path = W("Z:\\" + std::string(297, 'p'));
            return platform::kOk;
        }
    };
    Connected<LongEntries> t;
    DirectoryEntry entry;
    std::memset(&entry, 'x', sizeof entry);
    ASSERT_TRUE(t.client.GetDirectoryEntry(0, entry));
    EXPECT_STREQ(entry.name, "ABC");
    EXPECT_EQ(std::strlen(entry.path), 259u);
    EXPECT_EQ(std::string(entry.path, 3), "Z:\\");

    DirectoryEntry before;
    std::memcpy(&before, &entry, sizeof entry);
    EXPECT_FALSE(t.client.GetDirectoryEntry(1, entry));
    EXPECT_EQ(std::memcmp(&before, &entry, sizeof entry), 0);
}

// A table of `size` entries whose names the test sets directly.
struct TableComponent : ScriptedComponent {
    std::vector<std::string> names = std::vector<std::string>(100);
    std::vector<std::string> paths = std::vector<std::string>(100);
    platform::HResult GetDirectory(int32_t index, WideString* path, WideString* name) override {
        Record({"GetDirectory", {index}, {}, {}});
        if (index < 0 || index >= static_cast<int32_t>(names.size())) return platform::kFail;
        *name = W(names[index]);
        *path = W(paths[index]);
        return platform::kOk;
    }
    platform::HResult SetDirectory(int32_t index, const WideString& name, const WideString& path,
                                   VariantBool* ok) override {
        Record({"SetDirectory", {index}, {name, path}, {}});
        *ok = platform::VARIANT_FALSE;
        if (index < 0 || index >= static_cast<int32_t>(names.size())) return platform::kFail;
        names[index] = CDornApi::WideToText(name);
        paths[index] = CDornApi::WideToText(path);
        *ok = platform::VARIANT_TRUE;
        return platform::kOk;
    }
};

TEST(ChannelsTest, FindOrAddDirectoryEntry) {
    Connected<TableComponent> t;
    auto& names = t.component->names;
    // Empty table: the first entry.
    EXPECT_EQ(t.client.FindOrAddDirectoryEntry("AAA", "Z:\\a"), 0);
    EXPECT_EQ(t.client.FindOrAddDirectoryEntry("BBB", "Z:\\b"), 1);
    // A known name in another case keeps its index and takes the new path.
    EXPECT_EQ(t.client.FindOrAddDirectoryEntry("bbb", "Z:\\b2"), 1);
    EXPECT_EQ(t.component->paths[1], "Z:\\b2");
    EXPECT_EQ(names[1], "bbb");

    // The search stops at the first free entry: a match beyond it is not seen.
    names[5] = "CCC";
    EXPECT_EQ(t.client.FindOrAddDirectoryEntry("CCC", "Z:\\c"), 2);

    // A full table: the last entry is overwritten.
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty()) names[i] = "N" + std::to_string(i);
    }
    EXPECT_EQ(t.client.FindOrAddDirectoryEntry("NEW", "Z:\\new"), 99);
    EXPECT_EQ(names[99], "NEW");
    t.component->calls.clear();
    EXPECT_EQ(t.client.FindOrAddDirectoryEntry("n42", "Z:\\x"), 42);
    EXPECT_EQ(t.component->CallCount("GetDirectory"), 43) << "only the entries up to the match";

    // A refusal gives -1.
    struct Refusing : TableComponent {
        platform::HResult SetDirectory(int32_t, const WideString&, const WideString&,
                                       VariantBool* ok) override {
            *ok = platform::VARIANT_FALSE;
            return platform::kOk;
        }
    };
    Connected<Refusing> r;
    EXPECT_EQ(r.client.FindOrAddDirectoryEntry("AAA", "Z:\\a"), -1);
}

TEST(ChannelsTest, DirectorySearchEndsAtTheTableSizeWhateverTheComponentAnswers) {
    struct Endless : ScriptedComponent {
        int reads = 0;
        platform::HResult GetDirectory(int32_t, WideString* path, WideString* name) override {
            ++reads;
            *name = W("X");
            *path = W("Z:\\x");
            return platform::kOk;
        }
        platform::HResult SetDirectory(int32_t index, const WideString&, const WideString&,
                                       VariantBool* ok) override {
            lastSet = index;
            *ok = platform::VARIANT_TRUE;
            return platform::kOk;
        }
        int32_t lastSet = -1;
    };
    Connected<Endless> t;
    EXPECT_EQ(t.client.FindOrAddDirectoryEntry("NEW", "Z:\\n"), 99);
    EXPECT_EQ(t.component->lastSet, 99);
    EXPECT_EQ(t.component->reads, 100);
}

TEST(ChannelsTest, CreateSendsItsNumbersInOrder) {
    Connected t;
    EXPECT_TRUE(t.client.CreateExtendedKeyedFile("OUT", "DIR", 80, 10, 20));
    const auto create = t.component->LastCall("CreateExtendedKeyed");
    EXPECT_EQ(create.texts, (std::vector<WideString>{W("OUT"), W("DIR")}));
    EXPECT_EQ(create.numbers, (std::vector<int64_t>{80, 10, 20}));
    t.component->failingOperations.insert("CreateKeyed");
    EXPECT_FALSE(t.client.CreateKeyedFile("NEW", "DIR", 10, 2));
}

TEST(ChannelsTest, NothingReachesAComponentWithoutAConnection) {
    CDornApi client("Ordelin Utility", 100, 51, 0, false);
    uint8_t buffer[4] = {};
    int32_t length = 4;
    int64_t handle = 3;
    int64_t position = 9;
    DirectoryEntry entry{};
    EXPECT_FALSE(client.OpenFile(38, "F", "D"));
    EXPECT_FALSE(client.ReadByKey(38, buffer, &length, buffer, 2));
    EXPECT_FALSE(client.ReadNextKey(38, buffer, length));
    EXPECT_FALSE(client.WriteKeyed(38, buffer, 4, buffer, 2));
    EXPECT_FALSE(client.GetChannelHandle(38, handle, nullptr));
    EXPECT_FALSE(client.SeekHandle(handle, position, 2));
    EXPECT_FALSE(client.GetDirectoryEntry(0, entry));
    EXPECT_EQ(client.FindOrAddDirectoryEntry("D", "Z:\\d"), -1);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(handle, 3);
    EXPECT_EQ(position, 9);
}

}  // namespace
