// The pieces of the state checks that need no program: reading `talvo dump --json` back into
// bytes, and telling a data file by its header.
#include "powerloss/state_check.h"

#include <gtest/gtest.h>

namespace powerloss {
namespace {

TEST(StateCheck, ADumpReadsBackToTheBytesOfKeysAndRecords) {
    struct Row {
        std::string line;
        bool ok;
        std::string key;
        std::string data;
    };
    const Row rows[] = {
        {R"({"record":0,"key":"AB","keyHex":"4142","data":"plain","deleted":false})", true, "AB",
         "plain"},
        {R"({"record":1,"key":"x","keyHex":"00FF","data":"q\"b\\s\u00fe\u0000","deleted":false})",
         true, std::string("\x00\xFF", 2), std::string("q\"b\\s\xFE\x00", 7)},
        {R"({"record":2,"keyHex":"4","data":"odd digits"})", false, "", ""},
        {R"({"record":3,"keyHex":"41","data":"\u0100 is no byte"})", false, "", ""},
        {R"({"record":4,"keyHex":"41","data":"cut short)", false, "", ""},
        {R"({"record":5,"keyHex":"41"})", false, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        std::vector<DumpedRecord> records;
        std::string problem;
        ASSERT_EQ(ParseDump(row.line + "\n", &records, &problem), row.ok) << problem;
        if (!row.ok) continue;
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].key, row.key);
        EXPECT_EQ(records[0].data, row.data);
    }
}

TEST(StateCheck, ADataFileIsKnownByEitherHeaderCopy) {
    const std::string magic("TLVDATA\x1A", 8);
    std::string second(4096, '\0');
    second += magic;
    EXPECT_TRUE(LooksLikeDataFile(magic + std::string(100, 'x')));
    EXPECT_TRUE(LooksLikeDataFile(second));  // the first copy torn, the second whole
    EXPECT_FALSE(LooksLikeDataFile(magic.substr(0, 7)));
    EXPECT_FALSE(LooksLikeDataFile(std::string(8200, '\0')));
    EXPECT_FALSE(LooksLikeDataFile("input records\n"));
}

}  // namespace
}  // namespace powerloss
