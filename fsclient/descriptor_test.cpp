// GetFileDescriptor against the scripted component: the order of the reads, the bits of each
// value that count, the texts' cuts and terminators, and every byte the operation must leave as
// the caller's record held it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fsclient/dornapi.h"
#include "fsclient/testing/scripted_component.h"

namespace {

using fstest::ScriptedComponent;
using fstest::ScriptedDescriptor;
using fstest::W;
using platform::ComPtr;

constexpr uint8_t kFill = 0xCD;

struct DescriptorTest : ::testing::Test {
    // minorVersion 1 stands for a component without "Version".
    void Connect(int minorVersion) {
        client.reset();
        registration.reset();
        component = ScriptedComponent::Make();
        component->hasVersion = minorVersion >= 2;
        component->version = 0x00010000 | minorVersion;
        registration = std::make_unique<fstest::ScopedComponentRegistration>(component);
        client = std::make_unique<CDornApi>("Ordelin Utility", 100, 51, 0, false);
        ASSERT_TRUE(client->Connect(nullptr, false));
        descriptor = ScriptedDescriptor::Make();
        descriptor->directoryText = W("DAT");
        descriptor->nameText = W("CUSTOMER");
        descriptor->fileType = 36;
        descriptor->infoWord1 = 0x1111;
        descriptor->infoWord2 = 0x2222;
        descriptor->infoWord3 = 0x3333;
        descriptor->recordSize = 512;
        descriptor->keySize = 12;
        descriptor->infoLong1 = 0x01020304;
        descriptor->infoLong2 = -2;
        descriptor->infoLong3 = 0x7FFFFFFF;
        descriptor->dateTime1 = W("20240229235959");
        descriptor->dateTime2 = W("19991231000000");
        descriptor->dateTime3 = W("20000101010101");
        descriptor->keyPosition = 100;
        descriptor->extraText = W("EXTKEYED");
        descriptor->infoLong4 = 42;
        component->SetDescriptor("DAT", "CUSTOMER", descriptor);
        std::memset(&record, kFill, sizeof record);
    }

    bool Fill() { return client->GetFileDescriptor("CUSTOMER", "DAT", record); }

    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(&record); }
    std::string Text(size_t offset, size_t n) const {
        return std::string(reinterpret_cast<const char*>(Bytes()) + offset, n);
    }
    // Every byte in [from, to) still holds the fill.
    void ExpectUntouched(size_t from, size_t to) const {
        for (size_t i = from; i < to; ++i) {
            EXPECT_EQ(Bytes()[i], kFill) << "byte " << i << " was written";
        }
    }

    ComPtr<ScriptedComponent> component;
    std::unique_ptr<fstest::ScopedComponentRegistration> registration;
    std::unique_ptr<CDornApi> client;
    ComPtr<ScriptedDescriptor> descriptor;
    FileDescriptor record;
};

TEST_F(DescriptorTest, FillsEveryFieldInTheReadOrder) {
    Connect(2);
    ASSERT_TRUE(Fill());
    EXPECT_EQ(descriptor->reads,
              (std::vector<std::string>{
                  "GetDateTime1", "GetDateTime2", "GetDateTime3", "GetInfoLong3", "GetInfoLong1",
                  "GetDirectoryText", "GetInfoWord3", "GetFileType", "GetInfoWord1", "GetInfoLong2",
                  "GetKeySize", "GetNameText", "GetExtraText", "GetInfoLong4", "GetRecordSize",
                  "GetInfoWord2", "GetKeyPosition"}));
    EXPECT_EQ(+record.fileType, 36);
    EXPECT_EQ(+record.infoWord1, 0x1111);
    EXPECT_EQ(+record.infoWord2, 0x2222);
    EXPECT_EQ(+record.infoWord3, 0x3333);
    EXPECT_EQ(+record.recordSize, 512);
    EXPECT_EQ(+record.keySize, 12);
    EXPECT_EQ(+record.infoLong1, 0x01020304);
    EXPECT_EQ(+record.infoLong2, -2);
    EXPECT_EQ(+record.infoLong3, 0x7FFFFFFF);
    EXPECT_EQ(+record.infoLong4, 42);
    EXPECT_EQ(+record.keyPosition, 100);
    EXPECT_EQ(Text(18, 14), "20240229235959");
    EXPECT_EQ(Text(33, 14), "19991231000000");
    EXPECT_EQ(Text(48, 14), "20000101010101");
    EXPECT_EQ(Text(67, 4), std::string("DAT\0", 4));
    EXPECT_EQ(Text(71, 9), std::string("CUSTOMER\0", 9));
    EXPECT_EQ(Text(85, 9), std::string("EXTKEYED\0", 9));
    // Little-endian at odd offsets: recordSize 512 at 7..8, keyPosition 100 at 135..136.
    EXPECT_EQ(Bytes()[7], 0x00);
    EXPECT_EQ(Bytes()[8], 0x02);
    EXPECT_EQ(Bytes()[135], 100);
    EXPECT_EQ(Bytes()[136], 0);

    // Bytes that are never written, and text tails after the terminator.
    for (size_t gap : {32u, 47u, 62u, 84u, 94u}) ExpectUntouched(gap, gap + 1);
    ExpectUntouched(99, 135);
    ExpectUntouched(80, 84);

    // Both references the component handed out were given back.
    descriptor->AddRef();
    EXPECT_EQ(descriptor->Release(), 2u) << "held by the test and the component's script only";
}

TEST_F(DescriptorTest, OlderComponentLeavesTheVersionDependentFields) {
    Connect(1);
    ASSERT_TRUE(Fill());
    ExpectUntouched(85, 99);  // extraText, its gap and infoLong4
    for (const auto& read : descriptor->reads) {
        EXPECT_NE(read, "GetExtraText");
        EXPECT_NE(read, "GetInfoLong4");
    }
    EXPECT_EQ(+record.recordSize, 512);
    EXPECT_EQ(+record.keyPosition, 100);
}

TEST_F(DescriptorTest, DateTimeTexts) {
    Connect(2);
    descriptor->failingReads = {"GetDateTime1", "GetDateTime3"};
    descriptor->dateTime2 = W("2024");  // short: the rest of the field stays
    ASSERT_TRUE(Fill());
    EXPECT_EQ(Text(18, 14), "00000000000000");
    EXPECT_EQ(Text(33, 4), "2024");
    ExpectUntouched(37, 48);
    EXPECT_EQ(Text(48, 14), "00000000000000");

    // A long text is cut to 14 characters with no terminator.
    descriptor->failingReads.clear();
    descriptor->dateTime1 = W("2024022923595999");
    ASSERT_TRUE(Fill());
    EXPECT_EQ(Text(18, 14), "20240229235959");
    ExpectUntouched(32, 33);
}

TEST_F(DescriptorTest, TextsAreCutAndTerminated) {
    Connect(2);
    descriptor->nameText = W("ABCDEFGHIJKLMNO");  // 15 characters
    descriptor->directoryText = W("");
    descriptor->extraText = W("123456789");
    ASSERT_TRUE(Fill());
    EXPECT_EQ(Text(71, 13), std::string("ABCDEFGHIJKL\0", 13));
    EXPECT_EQ(Bytes()[83], 0);
    ExpectUntouched(84, 85);
    EXPECT_EQ(Bytes()[67], 0);
    ExpectUntouched(68, 71);
    EXPECT_EQ(Text(85, 9), std::string("12345678\0", 9));
}

TEST_F(DescriptorTest, WideCharactersKeepTheirLowByteAndNumbersTheirLowBits) {
    Connect(2);
    descriptor->nameText = std::u16string(u"A\u0141\u00FF");
    descriptor->dateTime2 = std::u16string(u"\u0141\u01FF");
    descriptor->fileType = 0x124;      // low 8 bits: 36
    descriptor->keySize = 0x1FF;       // 255
    descriptor->recordSize = 0x12345;  // 0x2345
    descriptor->keyPosition = -3;
    ASSERT_TRUE(Fill());
    EXPECT_EQ(Text(71, 4), std::string("A\x41\xFF\0", 4));
    EXPECT_EQ(Bytes()[33], 0x41);
    EXPECT_EQ(Bytes()[34], 0xFF);
    EXPECT_EQ(+record.fileType, 36);
    EXPECT_EQ(+record.keySize, 255);
    EXPECT_EQ(+record.recordSize, 0x2345);
    EXPECT_EQ(+record.keyPosition, -3);
}

TEST_F(DescriptorTest, NoDescriptorLeavesTheRecord) {
    struct Case {
        const char* name;
        std::function<void(DescriptorTest&)> script;
        const char* file;
    };
    const Case cases[] = {
        {"reserved name, even when the component knows it",
         [](DescriptorTest& t) { t.component->SetDescriptor("DAT", noFileName, t.descriptor); },
         noFileName},
        {"query fails",
         [](DescriptorTest& t) { t.component->failingOperations = {"GetDescriptor"}; }, "CUSTOMER"},
        {"unknown file", [](DescriptorTest&) {}, "NOSUCH"},
        {"object without the interface",
         [](DescriptorTest& t) { t.descriptor->offersInterface = false; }, "CUSTOMER"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Connect(2);
        c.script(*this);
        component->calls.clear();
        EXPECT_FALSE(client->GetFileDescriptor(c.file, "DAT", record));
        ExpectUntouched(0, sizeof record);
        EXPECT_TRUE(descriptor->reads.empty());
        if (c.file == noFileName) {
            EXPECT_EQ(component->CallCount("GetDescriptor"), 0);
        }
    }
    // One byte different and the component is asked.
    std::string almost(noFileName, 12);
    almost[11] = 'X';
    component->calls.clear();
    EXPECT_FALSE(client->GetFileDescriptor(almost.c_str(), "DAT", record));
    EXPECT_EQ(component->CallCount("GetDescriptor"), 1);
}

}  // namespace
