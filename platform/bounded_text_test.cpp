#include "platform/bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

namespace platform {
namespace {

struct OptionCase {
    const char* source;
    const char* option;
    bool includeOption;
    bool found;
    const char* value;
};

// Test names show the text and the option rather than the bytes of the case.
void PrintTo(const OptionCase& c, std::ostream* os) {
    *os << '[' << c.source << "] " << c.option << (c.includeOption ? " with the option" : "");
}

class FindOptionTest : public testing::TestWithParam<OptionCase> {};

TEST_P(FindOptionTest, DeliversTheValue) {
    const OptionCase& c = GetParam();
    std::string source = c.source;
    char value[128];
    std::strcpy(value, "untouched");
    EXPECT_EQ(FindOption(source.data(), c.option, value, sizeof value, false, c.includeOption),
              c.found);
    EXPECT_STREQ(value, c.value);
    EXPECT_EQ(source, c.source) << "the source is only changed when asked to";
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindOptionTest,
    testing::Values(OptionCase{"X /net:srv1,more", "/NET:", false, true, "SRV1"},
                    OptionCase{"X /net:srv1,more", "/NET:", true, true, "/NET:SRV1"},
                    OptionCase{"X /NET:'a b' c", "/NET:", false, true, "'A B'"},
                    OptionCase{"X /NET:\"a b\" c", "/NET:", false, true, "\"A B\""},
                    OptionCase{"X /NET:'a b", "/NET:", false, true, "'A B"},
                    OptionCase{"X /NET:a;b", "/NET:", false, true, "A"},
                    OptionCase{"X /NET:a/DB", "/NET:", false, true, "A"},
                    OptionCase{"X /NET: srv", "/NET:", false, true, ""},
                    OptionCase{"X /NET:", "/NET:", false, true, ""},
                    OptionCase{"X /NET=srv", "/NET:", false, false, "untouched"},
                    // The option text is compared as given: lower case never matches.
                    OptionCase{"X /NET:srv", "/net:", false, false, "untouched"}));

TEST(FindOption, RemovesTheOptionAndTrimsTheSource) {
    char source[] = "X /NET:SRV1 Y";
    char value[16];
    EXPECT_TRUE(FindOption(source, "/NET:", value, sizeof value, true, false));
    EXPECT_STREQ(source, "X  Y");
    EXPECT_STREQ(value, "SRV1");

    char trailing[] = "  /D\"A B\"  ";
    EXPECT_TRUE(FindOption(trailing, "/D", nullptr, 0, true, false));
    EXPECT_STREQ(trailing, "");

    char keepsDelimiter[] = "/NET:A,rest";
    EXPECT_TRUE(FindOption(keepsDelimiter, "/NET:", nullptr, 0, true, false));
    EXPECT_STREQ(keepsDelimiter, ",rest") << "the source keeps its own letter case";
}

TEST(FindOption, CutsTheValueToTheBuffer) {
    char source[] = "/NET:ABCDEFGH";
    char value[5];
    std::memset(value, '#', sizeof value);
    EXPECT_TRUE(FindOption(source, "/NET:", value, sizeof value, false, false));
    EXPECT_STREQ(value, "ABCD");
    char one[1] = {'#'};
    EXPECT_TRUE(FindOption(source, "/NET:", one, sizeof one, false, true));
    EXPECT_EQ(one[0], '\0');
}

TEST(FindOption, SeesOnlyTheFirst255Characters) {
    std::string source(250, 'x');
    source += "/NET:SRV";  // begins at 250: the option is whole within 255, the value cut
    char value[16];
    EXPECT_TRUE(FindOption(source.data(), "/NET:", value, sizeof value, false, false));
    EXPECT_STREQ(value, "");

    std::string late(256, 'x');
    late += "/NET:SRV";
    EXPECT_FALSE(FindOption(late.data(), "/NET:", value, sizeof value, false, false));

    std::string straddling(252, 'x');
    straddling += "/NET:SRV";  // only "/NE" lies within the first 255
    EXPECT_FALSE(FindOption(straddling.data(), "/NET:", value, sizeof value, false, false));

    // Removing a value cut at 255 removes only what was seen.
    std::string cut(248, 'x');
    cut += "/NET:ABCDEFGHIJ";
    EXPECT_TRUE(FindOption(cut.data(), "/NET:", value, sizeof value, true, false));
    EXPECT_EQ(cut.c_str(), std::string(248, 'x') + "CDEFGHIJ");
}

TEST(BoundedText, CopyAndAppendStayWithinTheirBound) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_STREQ(CopyBounded(buffer, "ABCDEF", 4), "ABCD");
    EXPECT_EQ(buffer[5], '#') << "nothing is written past n + 1";
    EXPECT_STREQ(CopyBounded(buffer, "AB", 4), "AB");
    EXPECT_STREQ(CopyBounded(buffer, "ABC", 0), "");

    struct Case {
        const char* before;
        const char* source;
        size_t n;
        const char* after;
    };
    const Case cases[] = {
        {"ABC", "DEF", 4, "ABCD"}, {"ABCDE", "XYZ", 4, "ABCD"}, {"ABCD", "XYZ", 4, "ABCD"},
        {"", "XYZ", 4, "XYZ"},     {"AB", "", 4, "AB"},         {"AB", "C", 4, "ABC"},
        {"AB", "CD", 4, "ABCD"},   {"ABC", "D", 0, ""},
    };
    for (const Case& c : cases) {
        char text[16];
        std::memset(text, '#', sizeof text);
        std::strcpy(text, c.before);
        char before[16];
        std::memcpy(before, text, sizeof text);
        EXPECT_STREQ(AppendBounded(text, c.source, c.n), c.after) << c.before << "+" << c.source;
        for (size_t k = c.n + 1; k < sizeof text; ++k) {
            EXPECT_EQ(text[k], before[k]) << "written past n + 1 at " << k;
        }
    }
}

TEST(BoundedText, IsSingleChar) {
    EXPECT_TRUE(IsSingleChar("\"", '"'));
    EXPECT_FALSE(IsSingleChar("\"\"", '"'));
    EXPECT_FALSE(IsSingleChar("", '"'));
    EXPECT_FALSE(IsSingleChar("A", 'a'));
}

}  // namespace
}  // namespace platform
