// The component through its dispatch interface, as a client calls it: created by class
// identifier after RegisterTalvoLib, on real files in a temporary folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/path.h"
#include "talvo/engine.h"  // the error codes the component reports
#include "talvo/talvolib.h"

namespace talvo {
namespace {

namespace fs = std::filesystem;
using platform::ComPtr;

// Bytes (or ASCII text) as a wide string, one byte per unit.
WideString W(std::string_view bytes) {
    std::u16string wide;
    for (char c : bytes) wide.push_back(static_cast<unsigned char>(c));
    return wide;
}

std::string Bytes(const WideString& wide) {
    std::string bytes;
    if (wide) {
        for (char16_t u : *wide) bytes.push_back(static_cast<char>(u & 0xFF));
    }
    return bytes;
}

Variant Key(std::string_view bytes) {
    Variant v;
    v.vt = platform::VT_BSTR;
    v.bstrVal = W(bytes);
    return v;
}

Variant Number(int32_t n) {
    Variant v;
    v.vt = platform::VT_I4;
    v.lVal = n;
    return v;
}

class FacadeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "talvo-facade-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        data_ = root_ / "data";
        fs::create_directories(data_);
        const char* former = getenv("TALVO_CONFIG");
        if (former) formerConfig_ = former;
        config_ = (root_ / "talvo.ini").string();
        setenv("TALVO_CONFIG", config_.c_str(), 1);
        // DAT in platform form, ALT in host form: two names of one folder.
        WriteConfig("[Directories]\nDAT=" + platform::ToPlatformPath(data_.string()) +
                    "\nALT=" + data_.string() + "\n");
        RegisterTalvoLib();
        fs_ = Connect();
        ASSERT_TRUE(fs_);
    }
    void TearDown() override {
        fs_.Reset();
        if (formerConfig_)
            setenv("TALVO_CONFIG", formerConfig_->c_str(), 1);
        else
            unsetenv("TALVO_CONFIG");
        fs::remove_all(root_);
    }

    void WriteConfig(const std::string& text) { std::ofstream(config_) << text; }

    static ComPtr<ITalvoFs> Create() {
        ComPtr<ITalvoFs> fs;
        HResult hr = platform::CoCreateInstance(kClsidTalvoLib, nullptr, platform::kClsctxAll,
                                                kIidTalvoFs, fs.PutVoid());
        EXPECT_EQ(hr, platform::kOk);
        return fs;
    }
    static ComPtr<ITalvoFs> Connect(int32_t tableSize = 100) {
        ComPtr<ITalvoFs> fs = Create();
        if (fs) {
            EXPECT_EQ(fs->Initialize(W("Test"), 0, tableSize, 51), platform::kOk);
        }
        return fs;
    }

    int32_t ErrorCode(ITalvoFs* fs = nullptr) {
        int32_t code = -99;
        EXPECT_EQ((fs ? fs : fs_.Get())->GetErrorCode(&code), platform::kOk);
        return code;
    }
    std::string ErrorMessage(ITalvoFs* fs = nullptr) {
        WideString text;
        EXPECT_EQ((fs ? fs : fs_.Get())->GetErrorMessage(&text), platform::kOk);
        return Bytes(text);
    }

    bool CreateKeyed(const char* file, int32_t recordSize, int32_t keySize,
                     const char* dir = "DAT") {
        VariantBool ok = 1;
        fs_->CreateKeyed(W(file), W(dir), recordSize, keySize, &ok);
        return ok != 0;
    }
    bool Open(int32_t channel, const char* file, const char* dir = "DAT") {
        VariantBool ok = 1;
        fs_->Open(channel, W(file), W(dir), &ok);
        return ok != 0;
    }
    bool Close(int32_t channel) {
        VariantBool ok = 1;
        fs_->Close(channel, &ok);
        return ok != 0;
    }
    bool Erase(const char* file, const char* dir) {
        VariantBool ok = 1;
        fs_->Erase(W(file), W(dir), &ok);
        return ok != 0;
    }
    // The client's keyed write: prepare, put the record, write under the key.
    bool Write(int32_t channel, std::string_view key, std::string_view record) {
        int32_t prepared = -2;
        fs_->PrepareBuffer(channel, &prepared);
        fs_->PutBuffer(channel, W(record), 0, static_cast<int32_t>(record.size()));
        VariantBool ok = 1;
        fs_->WriteKey(channel, Key(key), &ok);
        return ok != 0;
    }
    std::string Buffer(int32_t channel, int32_t length = 1 << 20) {
        WideString data;
        EXPECT_EQ(fs_->GetBuffer(channel, 0, length, &data), platform::kOk);
        return Bytes(data);
    }
    std::string Next(int32_t channel) {
        WideString key;
        fs_->NextKey(channel, &key);
        return Bytes(key);
    }
    bool Find(int32_t channel, std::string_view key) {
        VariantBool ok = 1;
        fs_->FindKey(channel, Key(key), &ok);
        return ok != 0;
    }
    bool ReadKey(int32_t channel, std::string_view key) {
        VariantBool ok = 1;
        fs_->ReadKey(channel, Key(key), &ok);
        return ok != 0;
    }
    bool ReadRecord(int32_t channel, int32_t n) {
        VariantBool ok = 1;
        fs_->ReadRecord(channel, Number(n), &ok);
        return ok != 0;
    }

    fs::path root_;
    fs::path data_;
    std::string config_;
    std::optional<std::string> formerConfig_;
    ComPtr<ITalvoFs> fs_;
};

// --- Connection ----------------------------------------------------------------------------------

TEST_F(FacadeTest, QueryAndNameLookup) {
    ComPtr<platform::IDispatch> dispatch;
    EXPECT_EQ(fs_->QueryInterface(platform::kIidDispatch, dispatch.PutVoid()), platform::kOk);
    ComPtr<platform::IUnknown> unknown;
    EXPECT_EQ(fs_->QueryInterface(platform::kIidUnknown, unknown.PutVoid()), platform::kOk);
    void* none = &none;
    EXPECT_EQ(fs_->QueryInterface(kIidTalvoDescriptor, &none), platform::kNoInterface);
    EXPECT_EQ(none, nullptr);

    DispId id = 0;
    for (const char16_t* name :
         {u"Initialize2", u"initialize2", u"VERSION", u"AddSubKey", u"Seek"}) {
        EXPECT_EQ(fs_->GetIDsOfNames(name, &id), platform::kOk) << Bytes(std::u16string(name));
    }
    EXPECT_EQ(fs_->GetIDsOfNames(u"Initialize3", &id), platform::kUnknownName);
    int32_t version = 0;
    EXPECT_EQ(fs_->Version(&version), platform::kOk);
    EXPECT_EQ(version, 0x00010002);
}

TEST_F(FacadeTest, EveryOperationBeforeInitializeFailsWithNoConnection) {
    ComPtr<ITalvoFs> fs = Create();
    VariantBool ok = 1;
    EXPECT_NE(fs->Open(1, W("F"), W("DAT"), &ok), platform::kOk);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(ErrorCode(fs.Get()), kErrorNoConnection);
    EXPECT_FALSE(ErrorMessage(fs.Get()).empty());
    WideString path, name;
    EXPECT_NE(fs->GetDirectory(0, &path, &name), platform::kOk);
    ok = 1;
    EXPECT_NE(fs->CreateKeyed(W("F"), W("DAT"), 10, 4, &ok), platform::kOk);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(ErrorCode(fs.Get()), kErrorNoConnection);
    EXPECT_FALSE(fs::exists(data_ / "F"));

    // After Shutdown, the same.
    EXPECT_EQ(fs_->Shutdown(), platform::kOk);
    EXPECT_NE(fs_->GetDirectory(0, &path, &name), platform::kOk);
    EXPECT_EQ(ErrorCode(), kErrorNoConnection);
}

TEST_F(FacadeTest, NetworkNameCannotBeServed) {
    ComPtr<ITalvoFs> fs = Create();
    EXPECT_NE(fs->Initialize2(W("T"), W("SRV1"), 0, 100, 51), platform::kOk);
    // Not "no connection": a client shows its own fixed text for that code, and the reason
    // would never be read.
    EXPECT_EQ(ErrorCode(fs.Get()), static_cast<int32_t>(Error::kNotSupported));
    std::string message = ErrorMessage(fs.Get());
    EXPECT_EQ(message,
              "not supported: this TalvoLib serves local files only and cannot connect to the "
              "network name \"SRV1\"");
    // A name given in quotes is not quoted twice.
    EXPECT_NE(fs->Initialize2(W("T"), W("\"MY SRV\""), 0, 100, 51), platform::kOk);
    message = ErrorMessage(fs.Get());
    EXPECT_NE(message.find(" \"MY SRV\""), std::string::npos) << message;
    EXPECT_EQ(message.find("\"\""), std::string::npos) << message;

    // Empty or absent network name: a local connection.
    for (const WideString& none : {WideString(), W("")}) {
        ComPtr<ITalvoFs> local = Create();
        EXPECT_EQ(local->Initialize2(W("T"), none, 0, 100, 51), platform::kOk);
        WideString path, name;
        EXPECT_EQ(local->GetDirectory(0, &path, &name), platform::kOk);
        EXPECT_EQ(Bytes(name), "DAT");
    }
}

// --- Directory table -----------------------------------------------------------------------------

TEST_F(FacadeTest, DirectoryTableComesFromTheConfigurationFile) {
    WriteConfig("[Other]\nX=1\n[Directories]\nzz=/z\nTOOLONG=/skipped\nA=Z:\\a\nB=/b\n");
    ComPtr<ITalvoFs> fs = Connect(3);
    struct Row {
        int32_t index;
        const char* name;
        const char* path;
    } rows[] = {{0, "zz", "/z"}, {1, "A", "Z:\\a"}, {2, "B", "/b"}};
    for (const Row& r : rows) {
        WideString path, name;
        ASSERT_EQ(fs->GetDirectory(r.index, &path, &name), platform::kOk) << r.index;
        EXPECT_EQ(Bytes(name), r.name);
        EXPECT_EQ(Bytes(path), r.path);
    }
    WideString path, name;
    EXPECT_NE(fs->GetDirectory(3, &path, &name), platform::kOk);
    EXPECT_NE(fs->GetDirectory(-1, &path, &name), platform::kOk);

    // A larger table: the rest is empty.
    ComPtr<ITalvoFs> large = Connect(100);
    ASSERT_EQ(large->GetDirectory(99, &path, &name), platform::kOk);
    EXPECT_EQ(Bytes(name), "");
    EXPECT_NE(large->GetDirectory(100, &path, &name), platform::kOk);

    // No configuration file: an empty table.
    fs::remove(config_);
    ComPtr<ITalvoFs> empty = Connect(5);
    ASSERT_EQ(empty->GetDirectory(0, &path, &name), platform::kOk);
    EXPECT_EQ(Bytes(name), "");
}

// A configuration file that cannot serve still connects: what it gives that the table can take
// is taken, nothing else.
TEST_F(FacadeTest, AnUnusableConfigurationFileStillConnects) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 37) & 0xFF));
    struct Case {
        const char* what;
        std::string text;   // the file's content; empty: a folder stands in its place
        const char* first;  // the name of entry 0
    } cases[] = {
        {"binary bytes", garbage, ""},
        {"a folder", "", ""},
        {"lines without values",
         "[Directories]\nno value\n" + std::string(100000, 'x') + "\n=/nameless\nOK=/ok\n", "OK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(config_);
        if (c.text.empty())
            fs::create_directory(config_);
        else
            WriteConfig(c.text);
        ComPtr<ITalvoFs> fs = Connect(4);
        ASSERT_TRUE(fs);
        WideString path, name;
        ASSERT_EQ(fs->GetDirectory(0, &path, &name), platform::kOk);
        EXPECT_EQ(Bytes(name), c.first);
        EXPECT_NE(fs->GetDirectory(4, &path, &name), platform::kOk);
    }
}

TEST_F(FacadeTest, SetDirectoryLastsForTheConnectionOnly) {
    VariantBool ok = 0;
    EXPECT_EQ(fs_->SetDirectory(5, W("NEW"), W("/new"), &ok), platform::kOk);
    EXPECT_NE(ok, 0);
    WideString path, name;
    ASSERT_EQ(fs_->GetDirectory(5, &path, &name), platform::kOk);
    EXPECT_EQ(Bytes(name), "NEW");
    EXPECT_EQ(Bytes(path), "/new");

    ok = 1;
    EXPECT_NE(fs_->SetDirectory(100, W("X"), W("/x"), &ok), platform::kOk);
    EXPECT_EQ(ok, 0);
    ok = 1;
    EXPECT_NE(fs_->SetDirectory(6, W("LONG"), W("/x"), &ok), platform::kOk);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kInvalidArgument));

    ComPtr<ITalvoFs> other = Connect();
    ASSERT_EQ(other->GetDirectory(5, &path, &name), platform::kOk);
    EXPECT_EQ(Bytes(name), "");
    std::ifstream in(config_);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("NEW"), std::string::npos);
}

TEST_F(FacadeTest, DirectoryNamesAreLookedUpWithoutCaseAndUnknownOnesFail) {
    ASSERT_TRUE(CreateKeyed("CUST", 20, 4, "dat"));
    EXPECT_TRUE(fs::exists(data_ / "CUST"));
    EXPECT_TRUE(Open(1, "CUST", "Alt"));
    EXPECT_FALSE(Open(2, "CUST", "NOP"));
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kNoDirectory));
    EXPECT_NE(ErrorMessage().find("NOP"), std::string::npos);

    // An entry without a path names no folder (not the root).
    VariantBool ok = 0;
    ASSERT_EQ(fs_->SetDirectory(7, W("NUL"), W(""), &ok), platform::kOk);
    EXPECT_FALSE(CreateKeyed("CUST2", 20, 4, "NUL"));
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kNoDirectory));
}

// --- Records and keys ----------------------------------------------------------------------------

TEST_F(FacadeTest, WriteReadAndBufferRoundTrip) {
    ASSERT_TRUE(CreateKeyed("CUST", 8, 3));
    ASSERT_TRUE(Open(38, "CUST"));
    int32_t recordSize = 0;
    EXPECT_EQ(fs_->PrepareBuffer(38, &recordSize), platform::kOk);
    EXPECT_EQ(recordSize, 8);

    const std::string record(
        "\x00\xFF"
        "abcdef",
        8);
    ASSERT_TRUE(Write(38, "K01", record));
    ASSERT_TRUE(Write(38, "K02", "short"));  // padded with spaces to the record size

    ASSERT_TRUE(ReadKey(38, "K01"));
    EXPECT_EQ(Buffer(38), record);
    EXPECT_EQ(Buffer(38, 3), record.substr(0, 3));
    WideString part;
    EXPECT_EQ(fs_->GetBuffer(38, 6, 10, &part), platform::kOk);
    EXPECT_EQ(Bytes(part), "ef");

    ASSERT_TRUE(ReadRecord(38, 1));
    EXPECT_EQ(Buffer(38), "short   ");
    EXPECT_FALSE(ReadRecord(38, 2));
    EXPECT_FALSE(ReadKey(38, "K03"));
    EXPECT_EQ(Buffer(38), "short   ");  // a failed read leaves the buffer

    // A record number must be a non-negative integer variant.
    VariantBool ok = 1;
    EXPECT_NE(fs_->ReadRecord(38, Key("0"), &ok), platform::kOk);
    EXPECT_NE(fs_->ReadRecord(38, Number(-1), &ok), platform::kOk);
    EXPECT_EQ(ok, 0);

    // Durable after close, through a new connection.
    ASSERT_TRUE(Close(38));
    EXPECT_FALSE(Close(38));
    fs_ = Connect();
    ASSERT_TRUE(Open(38, "CUST"));
    ASSERT_TRUE(ReadKey(38, "K02"));
    EXPECT_EQ(Buffer(38), "short   ");
}

TEST_F(FacadeTest, DuplicateKeyIsRefusedWithATextThatSaysSo) {
    ASSERT_TRUE(CreateKeyed("CUST", 4, 2));
    ASSERT_TRUE(Open(39, "CUST"));
    ASSERT_TRUE(Write(39, "AB", "1111"));
    EXPECT_FALSE(Write(39, "AB", "2222"));
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kDuplicateKey));
    EXPECT_NE(ErrorMessage().find("duplicate"), std::string::npos) << ErrorMessage();
    ASSERT_TRUE(ReadKey(39, "AB"));
    EXPECT_EQ(Buffer(39), "1111");
    // The next success clears the last error.
    ASSERT_TRUE(Write(39, "AC", "3333"));
    EXPECT_EQ(ErrorCode(), 0);
}

TEST_F(FacadeTest, UnitsAboveAByteAreRefusedAndNothingIsWritten) {
    ASSERT_TRUE(CreateKeyed("CUST", 4, 2));
    ASSERT_TRUE(Open(1, "CUST"));
    int32_t prepared = 0;
    fs_->PrepareBuffer(1, &prepared);
    EXPECT_NE(fs_->PutBuffer(1, std::u16string(u"ab\u0141c"), 0, 4), platform::kOk);
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kInvalidArgument));
    VariantBool ok = 1;
    fs_->WriteKey(1, Key("K1"), &ok);  // as the client does, ignoring PutBuffer's status
    EXPECT_EQ(ok, 0);
    EXPECT_FALSE(ReadKey(1, "K1"));

    // Out-of-range slices of the data are refused the same way.
    EXPECT_NE(fs_->PutBuffer(1, W("abcd"), 2, 3), platform::kOk);
    EXPECT_NE(fs_->PutBuffer(1, W("abcd"), -1, 2), platform::kOk);

    // A key with such a unit is refused too.
    Variant wideKey;
    wideKey.vt = platform::VT_BSTR;
    wideKey.bstrVal = std::u16string(u"\u0141A");
    fs_->PutBuffer(1, W("abcd"), 0, 4);
    ok = 1;
    fs_->WriteKey(1, wideKey, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_FALSE(ReadKey(1, "AA"));  // 0x141 was not cut to 0x41
}

// Reads and puts reuse the channel's storage between records: what is left in it must never
// show through, and each channel keeps its own buffer.
TEST_F(FacadeTest, RecordBuffersStayExactWhenReadsAndPutsAlternate) {
    ASSERT_TRUE(CreateKeyed("WIDE", 8, 2));
    ASSERT_TRUE(CreateKeyed("KEYS", 0, 2));
    ASSERT_TRUE(Open(1, "WIDE"));
    ASSERT_TRUE(Open(2, "KEYS"));
    ASSERT_TRUE(Write(1, "AA", "12345678"));
    ASSERT_TRUE(Write(2, "K1", ""));

    ASSERT_TRUE(ReadKey(1, "AA"));
    EXPECT_EQ(fs_->PutBuffer(1, W("xy"), 0, 2), platform::kOk);
    EXPECT_EQ(Buffer(1), "xy");  // nothing of the longer record read before
    EXPECT_EQ(fs_->PutBuffer(2, W("stale"), 0, 5), platform::kOk);
    ASSERT_TRUE(ReadKey(2, "K1"));
    EXPECT_EQ(Buffer(2), "");  // a key-only record is empty
    EXPECT_EQ(Buffer(1), "xy");
    EXPECT_FALSE(ReadKey(1, "ZZ"));
    EXPECT_EQ(Buffer(1), "xy");  // a failed read leaves the put's bytes

    // A refused put names the first unit above a byte and empties the buffer.
    EXPECT_NE(fs_->PutBuffer(1, std::u16string(u"ab\u0141\u0200"), 0, 4), platform::kOk);
    EXPECT_NE(ErrorMessage().find("U+0141 at 2"), std::string::npos) << ErrorMessage();
    EXPECT_EQ(Buffer(1), "");
    // A successful read lifts the refusal: its record is what the next write stores.
    ASSERT_TRUE(ReadKey(1, "AA"));
    VariantBool ok = 0;
    fs_->WriteKey(1, Key("AB"), &ok);
    ASSERT_NE(ok, 0) << ErrorMessage();
    ASSERT_TRUE(ReadKey(1, "AB"));
    EXPECT_EQ(Buffer(1), "12345678");
}

// The byte forms of the key and record transfers against the wide ones, side by side on two
// files: the same outcomes, errors, records and keys, byte for byte, at the edges of the sizes
// and byte values.
TEST_F(FacadeTest, TheByteFormsDoWhatTheWideOnesDo) {
    ComPtr<ITalvoBytes> bytes;
    ASSERT_EQ(fs_->QueryInterface(kIidTalvoBytes, bytes.PutVoid()), platform::kOk);
    ASSERT_TRUE(bytes);
    constexpr int32_t kRecordSize = 300;
    constexpr int32_t kKeySize = 255;
    ASSERT_TRUE(CreateKeyed("WIDE", kRecordSize, kKeySize));
    ASSERT_TRUE(CreateKeyed("BYTES", kRecordSize, kKeySize));
    ASSERT_TRUE(Open(1, "WIDE"));
    ASSERT_TRUE(Open(2, "BYTES"));
    std::string marked(kRecordSize, 'r');
    marked[6] = '\xFE';  // would read as deleted: refused
    const struct Row {
        std::string key;
        std::string record;
    } rows[] = {
        {std::string(kKeySize, '\0'), std::string(kRecordSize, '\xFF')},
        {std::string(kKeySize, '\xFF'), std::string(kRecordSize, '\0')},
        {"\x01", "x"},                                    // a key of one byte, a record of one
        {std::string("A\0B", 3), ""},                     // an empty record: all spaces
        {"\x80\x7F", std::string(kRecordSize + 5, 'z')},  // a record cut to the size
        {"\x01", "again"},                                // a duplicate
        {"M", marked},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.key));
        const bool wide = Write(1, row.key, row.record);
        const int32_t wideCode = ErrorCode();
        int32_t prepared = 0;
        fs_->PrepareBuffer(2, &prepared);
        EXPECT_EQ(bytes->PutBufferBytes(2, reinterpret_cast<const uint8_t*>(row.record.data()),
                                        static_cast<int32_t>(row.record.size())),
                  platform::kOk);
        VariantBool ok = 1;
        bytes->WriteKeyBytes(2, reinterpret_cast<const uint8_t*>(row.key.data()),
                             static_cast<int32_t>(row.key.size()), &ok);
        EXPECT_EQ(ok != 0, wide);
        EXPECT_EQ(ErrorCode(), wideCode);
    }

    // Read back by key: the same records, whole and cut, and the same failure for a key that
    // is not there.
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.key));
        const bool wide = ReadKey(1, row.key);
        VariantBool ok = 1;
        bytes->ReadKeyBytes(2, reinterpret_cast<const uint8_t*>(row.key.data()),
                            static_cast<int32_t>(row.key.size()), &ok);
        ASSERT_EQ(ok != 0, wide);
        for (int32_t capacity : {kRecordSize + 10, 3, 0}) {
            std::string got(kRecordSize + 10, '?');
            int32_t length = -1;
            EXPECT_EQ(
                bytes->GetBufferBytes(2, reinterpret_cast<uint8_t*>(got.data()), capacity, &length),
                platform::kOk);
            got.resize(static_cast<size_t>(std::max(length, 0)));
            EXPECT_EQ(got, Buffer(1, capacity));
        }
    }
    VariantBool ok = 1;
    bytes->ReadKeyBytes(2, reinterpret_cast<const uint8_t*>("nothing"), 7, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kNotFound));

    // The keys in order from the start: the same keys, and the same empty one at the end. A
    // short capacity is filled and says how long the key is, nothing written beyond it.
    ASSERT_TRUE(Find(1, ""));
    VariantBool found = 0;
    fs_->FindKey(2, Key(""), &found);
    ASSERT_NE(found, 0);
    for (int i = 0;; ++i) {
        const std::string wide = Next(1);
        std::string key(kKeySize + 1, '?');
        const int32_t capacity = i == 1 ? 2 : kKeySize;
        int32_t length = -1;
        EXPECT_EQ(bytes->NextKeyBytes(2, reinterpret_cast<uint8_t*>(key.data()), capacity, &length),
                  platform::kOk);
        ASSERT_EQ(length, static_cast<int32_t>(wide.size()));
        EXPECT_EQ(key.substr(0, std::min(length, capacity)), wide.substr(0, capacity));
        EXPECT_EQ(key[static_cast<size_t>(std::min(length, capacity))], '?');
        if (wide.empty()) break;
        ASSERT_LT(i, 10);
    }

    // Refusals: a buffer from nowhere is refused and the write after it fails, as after a
    // refused PutBuffer; a negative capacity, a closed channel and missing out-parameters fail.
    EXPECT_NE(bytes->PutBufferBytes(2, nullptr, 4), platform::kOk);
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kInvalidArgument));
    ok = 1;
    bytes->WriteKeyBytes(2, reinterpret_cast<const uint8_t*>("NEW"), 3, &ok);
    EXPECT_EQ(ok, 0);
    int32_t length = -1;
    EXPECT_NE(bytes->GetBufferBytes(2, nullptr, -1, &length), platform::kOk);
    EXPECT_EQ(length, 0);
    ASSERT_TRUE(Close(2));
    EXPECT_NE(bytes->NextKeyBytes(2, nullptr, 0, &length), platform::kOk);
    const int32_t closedCode = ErrorCode();
    WideString none;
    fs_->NextKey(2, &none);
    EXPECT_EQ(ErrorCode(), closedCode);
    EXPECT_EQ(bytes->NextKeyBytes(1, nullptr, 0, nullptr), platform::kPointer);
    EXPECT_EQ(bytes->GetBufferBytes(1, nullptr, 0, nullptr), platform::kPointer);
}

// The calls that join the steps of a copy loop against those steps, on two files: a keyed write
// in one call stores what PrepareBuffer, PutBuffer and WriteKey store, and leaves the same
// buffer; a read by number or by key in one call gives what ReadRecord or ReadKey and GetBuffer
// give, including past the last record, before the first, for a missing key, the record cut.
TEST_F(FacadeTest, TheJoinedByteCallsDoWhatTheirStepsDo) {
    ComPtr<ITalvoBytes> bytes;
    ASSERT_EQ(fs_->QueryInterface(kIidTalvoBytes, bytes.PutVoid()), platform::kOk);
    constexpr int32_t kRecordSize = 40;
    ASSERT_TRUE(CreateKeyed("STEPS", kRecordSize, 4));
    ASSERT_TRUE(CreateKeyed("JOINED", kRecordSize, 4));
    ASSERT_TRUE(Open(1, "STEPS"));
    ASSERT_TRUE(Open(2, "JOINED"));
    std::string marked(kRecordSize, 'm');
    marked[6] = '\xFE';
    const std::pair<std::string, std::string> rows[] = {
        {std::string(4, '\xFF'), std::string(kRecordSize, '\0')},
        {std::string(4, '\0'), std::string(kRecordSize, '\xFF')},
        {"K", "short"},
        {"K", "a duplicate"},
        {"L", std::string(kRecordSize + 9, 'z')},
        {"M", marked},
        {"", "no key"},
        {"N", ""},
    };
    for (const auto& [key, record] : rows) {
        SCOPED_TRACE(testing::PrintToString(key) + " " + testing::PrintToString(record));
        const bool stepped = Write(1, key, record);
        const int32_t steppedCode = ErrorCode();
        VariantBool ok = stepped ? 0 : 1;
        EXPECT_EQ(bytes->WriteRecordBytes(2, reinterpret_cast<const uint8_t*>(record.data()),
                                          static_cast<int32_t>(record.size()),
                                          reinterpret_cast<const uint8_t*>(key.data()),
                                          static_cast<int32_t>(key.size()), &ok) == platform::kOk,
                  stepped);
        EXPECT_EQ(ok != 0, stepped);
        EXPECT_EQ(ErrorCode(), steppedCode);
        EXPECT_EQ(Buffer(2), Buffer(1));
    }
    // The steps on channel 1, then the joined call on channel 2 (given the place for the record,
    // its capacity, the length and ok to fill): the same outcome, error, record and buffer.
    VariantBool ok = 0;
    const auto readBoth = [&](bool stepped, int32_t capacity, const auto& joined) {
        const int32_t steppedCode = ErrorCode();
        std::string got(kRecordSize + 1, '?');
        int32_t length = -1;
        ok = stepped ? 0 : 1;
        joined(reinterpret_cast<uint8_t*>(got.data()), capacity, &length, &ok);
        ASSERT_EQ(ok != 0, stepped);
        EXPECT_EQ(ErrorCode(), steppedCode);
        EXPECT_EQ(got.substr(0, static_cast<size_t>(length)), stepped ? Buffer(1, capacity) : "");
        EXPECT_EQ(got[static_cast<size_t>(length)], '?');
        EXPECT_EQ(Buffer(2), Buffer(1));
    };
    for (int32_t number = -1; number <= 6; ++number) {
        for (int32_t capacity : {kRecordSize, 5, 0}) {
            SCOPED_TRACE(std::to_string(number) + " " + std::to_string(capacity));
            readBoth(ReadRecord(1, number), capacity,
                     [&](auto... out) { bytes->ReadRecordBytes(2, number, out...); });
        }
    }
    for (const std::string& key : {std::string(4, '\xFF'), std::string("K"), std::string("none")}) {
        for (int32_t capacity : {kRecordSize, 5, 0}) {
            SCOPED_TRACE(testing::PrintToString(key) + " " + std::to_string(capacity));
            readBoth(ReadKey(1, key), capacity, [&](auto... out) {
                bytes->ReadRecordByKeyBytes(2, reinterpret_cast<const uint8_t*>(key.data()),
                                            static_cast<int32_t>(key.size()), out...);
            });
        }
    }

    // Refusals before any read: the buffer keeps the record read last. A record from nowhere
    // leaves the buffer refused, as PutBuffer does, so that a later write stores nothing.
    ASSERT_TRUE(ReadRecord(2, 0));
    const std::string before = Buffer(2);
    int32_t length = -1;
    EXPECT_NE(bytes->ReadRecordBytes(2, 1, nullptr, 3, &length, &ok), platform::kOk);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kInvalidArgument));
    EXPECT_NE(bytes->ReadRecordBytes(2, 1, nullptr, -1, &length, &ok), platform::kOk);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(Buffer(2), before);
    EXPECT_EQ(bytes->ReadRecordBytes(2, 1, nullptr, 0, nullptr, &ok), platform::kPointer);
    EXPECT_EQ(bytes->ReadRecordBytes(2, 1, nullptr, 0, &length, nullptr), platform::kPointer);
    EXPECT_NE(bytes->ReadRecordByKeyBytes(2, reinterpret_cast<const uint8_t*>("K"), 1, nullptr, 3,
                                          &length, &ok),
              platform::kOk);
    EXPECT_EQ(Buffer(2), before);
    EXPECT_NE(bytes->WriteRecordBytes(2, nullptr, 4, reinterpret_cast<const uint8_t*>("P"), 1, &ok),
              platform::kOk);
    EXPECT_EQ(ok, 0);
    bytes->WriteKeyBytes(2, reinterpret_cast<const uint8_t*>("P"), 1, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(bytes->WriteRecordBytes(2, nullptr, 0, nullptr, 0, nullptr), platform::kPointer);
    ASSERT_TRUE(Close(2));
    EXPECT_NE(bytes->ReadRecordBytes(2, 0, nullptr, 0, &length, &ok), platform::kOk);
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kNotOpen));
}

TEST_F(FacadeTest, KeysComeInUnsignedByteOrderFromTheFoundPosition) {
    ASSERT_TRUE(CreateKeyed("KEYS", 2, 3));
    ASSERT_TRUE(Open(38, "KEYS"));
    const std::string keys[] = {std::string("\xFF\xFF\xFF", 3), std::string("\x00\x00\x01", 3),
                                std::string("\x7F\x80\x00", 3), std::string("\x00\xFF\x00", 3),
                                std::string("\x80\x00\x00", 3), std::string("\x01\x00\x00", 3)};
    for (const std::string& k : keys) ASSERT_TRUE(Write(38, k, "r"));
    std::vector<std::string> sorted(std::begin(keys), std::end(keys));
    std::sort(sorted.begin(), sorted.end());  // std::string compares as unsigned char

    std::vector<std::string> got;
    for (std::string k = Next(38); !k.empty() && got.size() < 20; k = Next(38)) got.push_back(k);
    EXPECT_EQ(got, sorted);
    EXPECT_EQ(Next(38), "");  // stays at the end

    struct Case {
        std::string find;
        std::string first;  // empty: none left
    } cases[] = {
        {std::string("\x00", 1), sorted[0]},                  // zero-padded
        {std::string("\x00\xFF\x00", 3), sorted[1]},          // equal key comes first
        {std::string("\x00\xFF\x01", 3), sorted[2]},          // between keys
        {std::string("\x7F\x80\x00\xFF\xFF", 5), sorted[3]},  // longer: first 3 bytes count
        {std::string("\xFF\xFF\xFF\x01", 4), sorted[5]},
        {"", sorted[0]},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Find(38, c.find));
        EXPECT_EQ(Next(38), c.first);
    }
    // Past the last key: positioned, nothing left.
    ASSERT_TRUE(Find(38, "\xFF\xFF\xFF"));
    EXPECT_EQ(Next(38), sorted[5]);
    EXPECT_EQ(Next(38), "");
}

TEST_F(FacadeTest, ReadsLeaveTheKeyPositionAlone) {
    ASSERT_TRUE(CreateKeyed("CUST", 4, 1));
    ASSERT_TRUE(Open(38, "CUST"));
    for (const char* k : {"a", "b", "c", "d"}) ASSERT_TRUE(Write(38, k, std::string(k) + "rec"));
    ASSERT_TRUE(Find(38, "b"));
    EXPECT_EQ(Next(38), "b");
    ASSERT_TRUE(ReadKey(38, "d"));
    ASSERT_TRUE(ReadRecord(38, 0));
    EXPECT_EQ(Buffer(38), "arec");
    EXPECT_FALSE(ReadKey(38, "z"));
    EXPECT_EQ(Next(38), "c");
    // A write on another channel of the same file does not move it either.
    ASSERT_TRUE(Open(39, "CUST", "ALT"));
    ASSERT_TRUE(Write(39, "e", "erec"));
    EXPECT_EQ(Next(38), "d");
    EXPECT_EQ(Next(38), "e");
    EXPECT_EQ(Next(39), "a");  // a fresh channel starts at the first key
}

// --- Channels and files --------------------------------------------------------------------------

TEST_F(FacadeTest, ChannelNumbersAndChannelState) {
    ASSERT_TRUE(CreateKeyed("CUST", 4, 1));
    EXPECT_FALSE(Open(-1, "CUST"));
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kInvalidArgument));
    EXPECT_TRUE(Open(0, "CUST"));
    EXPECT_TRUE(Open(2147483647, "CUST"));
    EXPECT_FALSE(Open(0, "CUST"));  // already open
    EXPECT_FALSE(Open(5, "MISSING"));
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kNoSuchFile));

    WideString key;
    EXPECT_NE(fs_->NextKey(7, &key), platform::kOk);
    EXPECT_EQ(Bytes(key), "");
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kNotOpen));
    int32_t prepared = 0;
    EXPECT_NE(fs_->PrepareBuffer(7, &prepared), platform::kOk);
    EXPECT_EQ(prepared, -1);
}

// The component remembers the two channels used last; five channels in turn, one closed and its
// number opened again on another file, each answer comes from its own file.
TEST_F(FacadeTest, ManyChannelsInTurnEachReadTheirOwnFile) {
    const char* files[] = {"F0", "F1", "F2", "F3", "F4"};
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(CreateKeyed(files[i], 8, 2));
        ASSERT_TRUE(Open(10 + i, files[i]));
        for (int k = 0; k < 40; ++k) {
            const std::string key = {static_cast<char>('A' + i), static_cast<char>('a' + k)};
            ASSERT_TRUE(Write(10 + i, key, key + std::to_string(i)));
        }
    }
    for (int round = 0; round < 3; ++round) {
        for (int k = 0; k < 40; ++k) {
            for (int i = 0; i < 5; ++i) {
                const std::string key = {static_cast<char>('A' + i), static_cast<char>('a' + k)};
                ASSERT_EQ(Next(10 + i), key) << round << " " << i;
                ASSERT_TRUE(ReadKey(10 + i, key));
                ASSERT_EQ(Buffer(10 + i, 3), key + std::to_string(i));
            }
        }
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(Next(10 + i), "");  // the keys ran out
            ASSERT_TRUE(Find(10 + i, ""));
        }
        // Channel 12 closed, its number then used for another file.
        ASSERT_TRUE(Close(12));
        EXPECT_FALSE(ReadKey(12, "Ca"));
        EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kNotOpen));
        ASSERT_TRUE(Open(12, files[2]));
    }
}

TEST_F(FacadeTest, EraseAndRecreateAreRefusedWhileOpenUnderAnyName) {
    ASSERT_TRUE(CreateKeyed("INPUT", 4, 1));
    ASSERT_TRUE(Open(38, "INPUT", "DAT"));
    ASSERT_TRUE(Write(38, "k", "data"));

    // Another spelling of the same folder: upper-cased platform form, with a trailing separator.
    std::string upper = platform::ToPlatformPath(data_.string());
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    VariantBool ok = 0;
    ASSERT_EQ(fs_->SetDirectory(2, W("UPP"), W(upper + "\\"), &ok), platform::kOk);
    ASSERT_NE(ok, 0);

    for (const char* dir : {"ALT", "UPP", "DAT"}) {
        EXPECT_FALSE(Erase("INPUT", dir)) << dir;
        EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kFileInUse)) << dir;
        EXPECT_FALSE(CreateKeyed("INPUT", 8, 2, dir)) << dir;
        EXPECT_FALSE(CreateKeyed("input", 8, 2, dir)) << dir;  // the name found without case
    }
    ASSERT_TRUE(ReadKey(38, "k"));
    EXPECT_EQ(Buffer(38), "data");

    ASSERT_TRUE(Close(38));
    EXPECT_TRUE(Erase("input", "UPP"));
    EXPECT_FALSE(fs::exists(data_ / "INPUT"));
    EXPECT_FALSE(Erase("INPUT", "DAT"));
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kNoSuchFile));
}

TEST_F(FacadeTest, CreateRefusesBadSizes) {
    struct Case {
        int32_t recordSize, keySize, keyPosition;  // keyPosition -1: CreateKeyed
    } cases[] = {{-1, 4, -1},    {10, -1, -1}, {10, 0, -1}, {10, 256, -1},
                 {70000, 4, -1}, {10, 4, 7},   {10, 4, -5}, {-1, 4, 0}};
    for (const Case& c : cases) {
        VariantBool ok = 1;
        if (c.keyPosition == -1) {
            fs_->CreateKeyed(W("BAD"), W("DAT"), c.recordSize, c.keySize, &ok);
        } else {
            fs_->CreateExtendedKeyed(W("BAD"), W("DAT"), c.recordSize, c.keySize, c.keyPosition,
                                     &ok);
        }
        EXPECT_EQ(ok, 0) << c.recordSize << " " << c.keySize << " " << c.keyPosition;
        EXPECT_NE(ErrorCode(), 0);
        EXPECT_FALSE(Engine::Exists((data_ / "BAD").string()));
    }
    // An extended keyed file needs a key position: -1 must not make a keyed file instead.
    VariantBool ok = 1;
    fs_->CreateExtendedKeyed(W("BAD"), W("DAT"), 10, 4, -1, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kInvalidArgument));
    EXPECT_FALSE(Engine::Exists((data_ / "BAD").string()));
}

TEST_F(FacadeTest, HandleAndSeekFromTheEndGiveTheDataFileLength) {
    ASSERT_TRUE(CreateKeyed("CUST", 100, 4));
    ASSERT_TRUE(Open(38, "CUST"));
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(Write(38, "K00" + std::to_string(i), "x"));
    ASSERT_TRUE(Close(38));
    ASSERT_TRUE(Open(38, "CUST"));

    int32_t integer = -5;
    int64_t handle = -5;
    ASSERT_EQ(fs_->GetHandle(38, &integer, &handle), platform::kOk);
    EXPECT_GE(handle, 0);
    EXPECT_EQ(integer, 100);  // the record size
    int64_t position = 0;
    ASSERT_EQ(fs_->Seek(handle, 0, 2, &position), platform::kOk);
    EXPECT_EQ(position, static_cast<int64_t>(fs::file_size(data_ / "CUST")));
    EXPECT_GE(position, 500);
    ASSERT_EQ(fs_->Seek(handle, 10, 0, &position), platform::kOk);
    EXPECT_EQ(position, 10);

    // Handles not given for an open channel, bad origins and negative positions fail with -1.
    EXPECT_NE(fs_->Seek(0, 0, 2, &position), platform::kOk);
    EXPECT_EQ(position, -1);
    EXPECT_NE(fs_->Seek(handle, 0, 3, &position), platform::kOk);
    EXPECT_EQ(position, -1);
    EXPECT_NE(fs_->Seek(handle, -1, 0, &position), platform::kOk);
    EXPECT_EQ(position, -1);
    EXPECT_NE(fs_->GetHandle(39, &integer, &handle), platform::kOk);
    EXPECT_EQ(handle, -1);
    ASSERT_TRUE(Close(38));
    EXPECT_NE(fs_->Seek(handle, 0, 2, &position), platform::kOk);
}

TEST_F(FacadeTest, ShutdownClosesAndCommitsEveryChannel) {
    ASSERT_TRUE(CreateKeyed("A", 4, 1));
    ASSERT_TRUE(CreateKeyed("B", 4, 1));
    ASSERT_TRUE(Open(1, "A"));
    ASSERT_TRUE(Open(2, "B"));
    ASSERT_TRUE(Write(1, "x", "AAAA"));
    ASSERT_TRUE(Write(2, "y", "BBBB"));
    EXPECT_EQ(fs_->Shutdown(), platform::kOk);
    EXPECT_FALSE(Erase("A", "DAT"));  // not connected any more

    fs_ = Connect();
    EXPECT_TRUE(Erase("A", "DAT"));  // nothing holds it open
    ASSERT_TRUE(Open(2, "B"));
    ASSERT_TRUE(ReadKey(2, "y"));
    EXPECT_EQ(Buffer(2), "BBBB");
}

// --- Descriptor and sub-keys ---------------------------------------------------------------------

TEST_F(FacadeTest, DescriptorAnswersWithTheFilesValues) {
    VariantBool ok = 0;
    std::time_t before = std::time(nullptr);
    fs_->CreateExtendedKeyed(W("CUST.DAT"), W("dat"), 20, 4, 2, &ok);
    ASSERT_NE(ok, 0) << ErrorMessage();
    ASSERT_TRUE(Open(1, "CUST.DAT"));
    ASSERT_TRUE(Write(1, "K001", "aaK001aaaaaaaaaaaaaa"));  // each record carries its key
    ASSERT_TRUE(Write(1, "K002", "bbK002bbbbbbbbbbbbbb"));
    ASSERT_TRUE(Write(1, "K003", "ccK003cccccccccccccc"));
    ok = 0;
    fs_->AddSubKey(W("CUST.DAT"), W("DAT"), 4, 6, W("BY-NAME"), &ok);
    ASSERT_NE(ok, 0) << ErrorMessage();

    ComPtr<platform::IDispatch> object;
    ASSERT_EQ(fs_->GetDescriptor(W("CUST.DAT"), W("dat"), object.Put()), platform::kOk);
    ComPtr<ITalvoDescriptor> d;
    ASSERT_EQ(object->QueryInterface(kIidTalvoDescriptor, d.PutVoid()), platform::kOk);
    DispId id = 0;
    EXPECT_EQ(d->GetIDsOfNames(u"getinfolong4", &id), platform::kOk);

    auto get = [&](HResult (ITalvoDescriptor::*read)(int32_t*)) {
        int32_t value = -12345;
        EXPECT_EQ((d.Get()->*read)(&value), platform::kOk);
        return value;
    };
    EXPECT_EQ(get(&ITalvoDescriptor::GetFileType), 36);
    EXPECT_EQ(get(&ITalvoDescriptor::GetRecordSize), 20);
    EXPECT_EQ(get(&ITalvoDescriptor::GetKeySize), 4);
    EXPECT_EQ(get(&ITalvoDescriptor::GetKeyPosition), 2);
    EXPECT_EQ(get(&ITalvoDescriptor::GetInfoWord1), 1);  // sub-key definitions
    EXPECT_EQ(get(&ITalvoDescriptor::GetInfoWord2), 8);  // deleted mark offset
    EXPECT_EQ(get(&ITalvoDescriptor::GetInfoLong1), 3);  // slots
    EXPECT_EQ(get(&ITalvoDescriptor::GetInfoLong2), 0);  // deleted
    EXPECT_EQ(get(&ITalvoDescriptor::GetInfoLong3), 3);  // keys
    EXPECT_EQ(get(&ITalvoDescriptor::GetInfoLong4), 3);  // live records
    int32_t format = get(&ITalvoDescriptor::GetFormatVersion);
    EXPECT_GT(format, 0);
    EXPECT_EQ(get(&ITalvoDescriptor::GetInfoWord3), format);

    WideString text;
    EXPECT_EQ(d->GetDirectoryText(&text), platform::kOk);
    EXPECT_EQ(Bytes(text), "DAT");
    EXPECT_EQ(d->GetNameText(&text), platform::kOk);
    EXPECT_EQ(Bytes(text), "CUST.DAT");
    EXPECT_EQ(d->GetExtraText(&text), platform::kOk);
    EXPECT_EQ(Bytes(text), "EXTKEYED");
    EXPECT_EQ(d->GetPath(&text), platform::kOk);
    EXPECT_EQ(platform::ToHostPath(Bytes(text)), (data_ / "CUST.DAT").string());

    // The date-times: 14 digits of local time, around the time of the test.
    char low[32], high[32];
    std::time_t after = std::time(nullptr) + 2;
    std::tm tmBefore{}, tmAfter{};
    before -= 2;
    localtime_r(&before, &tmBefore);
    localtime_r(&after, &tmAfter);
    std::strftime(low, sizeof low, "%Y%m%d%H%M%S", &tmBefore);
    std::strftime(high, sizeof high, "%Y%m%d%H%M%S", &tmAfter);
    for (auto read : {&ITalvoDescriptor::GetDateTime1, &ITalvoDescriptor::GetDateTime2,
                      &ITalvoDescriptor::GetDateTime3}) {
        ASSERT_EQ((d.Get()->*read)(&text), platform::kOk);
        std::string stamp = Bytes(text);
        ASSERT_EQ(stamp.size(), 14u) << stamp;
        EXPECT_TRUE(std::all_of(stamp.begin(), stamp.end(), ::isdigit)) << stamp;
        EXPECT_GE(stamp, std::string(low));
        EXPECT_LE(stamp, std::string(high));
    }

    ComPtr<platform::IDispatch> none;
    EXPECT_NE(fs_->GetDescriptor(W("NOFILE"), W("DAT"), none.Put()), platform::kOk);
    EXPECT_FALSE(none);
    EXPECT_EQ(ErrorCode(), static_cast<int32_t>(Error::kNoSuchFile));
}

TEST_F(FacadeTest, SubKeysAreAddedInOrderAndReadThroughAChannel) {
    ASSERT_TRUE(CreateKeyed("CUST", 20, 4));
    ASSERT_TRUE(Open(38, "CUST"));  // adding works while the file is open elsewhere
    const std::string longest(31, 'N');
    struct Def {
        int32_t first, second;
        std::string name;
    } defs[] = {{0, 10, "FIRST"}, {-7, 2147483647, longest}, {3, 3, ""}};
    for (const Def& d : defs) {
        VariantBool ok = 0;
        fs_->AddSubKey(W("CUST"), W("ALT"), d.first, d.second, W(d.name), &ok);
        EXPECT_NE(ok, 0) << ErrorMessage();
    }
    VariantBool ok = 1;
    fs_->AddSubKey(W("CUST"), W("DAT"), 1, 1, W(longest + "X"), &ok);
    EXPECT_EQ(ok, 0);

    for (int32_t index = 1; index <= 3; ++index) {
        ComPtr<platform::IDispatch> object;
        ASSERT_EQ(fs_->GetSubKey(38, index, object.Put()), platform::kOk) << ErrorMessage();
        ComPtr<ITalvoSubKey> sub;
        ASSERT_EQ(object->QueryInterface(kIidTalvoSubKey, sub.PutVoid()), platform::kOk);
        int32_t first = 0, second = 0;
        WideString name;
        EXPECT_EQ(sub->GetFirst(&first), platform::kOk);
        EXPECT_EQ(sub->GetSecond(&second), platform::kOk);
        EXPECT_EQ(sub->GetName(&name), platform::kOk);
        EXPECT_EQ(first, defs[index - 1].first);
        EXPECT_EQ(second, defs[index - 1].second);
        EXPECT_EQ(Bytes(name), defs[index - 1].name);
    }
    for (int32_t unused : {4, 0, 100}) {
        ComPtr<platform::IDispatch> object;
        EXPECT_NE(fs_->GetSubKey(38, unused, object.Put()), platform::kOk) << unused;
        EXPECT_FALSE(object);
    }
    ComPtr<platform::IDispatch> object;
    EXPECT_NE(fs_->GetSubKey(39, 1, object.Put()), platform::kOk);  // channel not open

    // Kept in the file.
    ASSERT_TRUE(Close(38));
    fs_ = Connect();
    ASSERT_TRUE(Open(38, "CUST"));
    EXPECT_EQ(fs_->GetSubKey(38, 2, object.Put()), platform::kOk);
}

}  // namespace
}  // namespace talvo
