#include "layout/picture.h"

#include <gtest/gtest.h>

namespace layout {
namespace {

TEST(Picture, ReadsCategorySizeDigitsAndScale) {
    struct Row {
        const char* text;
        Category category;
        uint64_t size;
        uint32_t digits;
        int32_t scale;
        bool isSigned;
    } rows[] = {
        {"X", Category::kAlphanumeric, 1, 0, 0, false},
        {"x(10)", Category::kAlphanumeric, 10, 0, 0, false},
        {"X(0005)", Category::kAlphanumeric, 5, 0, 0, false},
        {"A(3)", Category::kAlphabetic, 3, 0, 0, false},
        {"AAB", Category::kAlphabetic, 3, 0, 0, false},
        {"A9X", Category::kAlphanumeric, 3, 0, 0, false},
        {"XXBX0X/", Category::kAlphanumericEdited, 7, 0, 0, false},
        {"9", Category::kNumeric, 1, 1, 0, false},
        {"S9(5)V99", Category::kNumeric, 7, 7, 2, true},
        {"9(3)V", Category::kNumeric, 3, 3, 0, false},
        {"SV9", Category::kNumeric, 1, 1, 1, true},
        {"V9(4)", Category::kNumeric, 4, 4, 4, false},
        {"9(3)PPP", Category::kNumeric, 3, 3, -3, false},
        {"PPP99", Category::kNumeric, 2, 2, 5, false},
        {"SVPP9(3)", Category::kNumeric, 3, 3, 5, true},
        {"9(38)", Category::kNumeric, 38, 38, 0, false},
        {"ZZZ9", Category::kNumericEdited, 4, 0, 0, false},
        {"$$$,$$9.99CR", Category::kNumericEdited, 12, 0, 0, true},
        {"ZZ,ZZ9.99DB", Category::kNumericEdited, 11, 0, 0, true},
        {"-(8)9.99", Category::kNumericEdited, 12, 0, 0, true},
        {"+++.99", Category::kNumericEdited, 6, 0, 0, true},
        {"***9.99", Category::kNumericEdited, 7, 0, 0, false},
        {"99/99/9999", Category::kNumericEdited, 10, 0, 0, false},
        {"99BB.99", Category::kNumericEdited, 7, 0, 0, false},
        {"9(3)000", Category::kNumericEdited, 6, 0, 0, false},
        {"ZZ9V99", Category::kNumericEdited, 5, 0, 0, false},
        {"9(4)-", Category::kNumericEdited, 5, 0, 0, true},
    };
    for (const Row& row : rows) {
        std::string error;
        const auto picture = ParsePicture(row.text, &error);
        ASSERT_TRUE(picture) << row.text << ": " << error;
        EXPECT_EQ(picture->category, row.category) << row.text;
        EXPECT_EQ(picture->size, row.size) << row.text;
        EXPECT_EQ(picture->isSigned, row.isSigned) << row.text;
        if (row.category == Category::kNumeric) {
            EXPECT_EQ(picture->digits, row.digits) << row.text;
            EXPECT_EQ(picture->scale, row.scale) << row.text;
        }
    }
}

TEST(Picture, RefusesWhatIsNoPicture) {
    struct Row {
        const char* text;
        const char* reason;  // a part of it
    } rows[] = {
        {"", "empty"},
        {"X(0)", "at least 1"},
        {"X(", "no closing parenthesis"},
        {"X(3", "no closing parenthesis"},
        {"X(A)", "not a number"},
        {"(3)", "must follow a symbol"},
        {"X(3)(2)", "must follow a symbol"},
        {"X(268435457)", "larger than"},
        {"X(200000000)X(200000000)", "more than"},
        {"Q", "'Q' is not a PICTURE symbol"},
        {"X\x01", "byte 0x01"},
        {"XV9", "V cannot be used with X or A"},
        {"XCR", "CR cannot be used with X or A"},
        {"9S9", "S must be the first"},
        {"S", "at least one 9"},
        {"PPP", "at least one 9"},
        {"S9V9V9", "V may appear only once"},
        {"9P9", "start or the end"},
        {"PP99PP", "start or the end"},
        {"PPV99", "outside the P positions"},
        {"99PPV9", "start or the end"},
        {"9(39)", "at most 38 digits"},
        {"S9.99", "S cannot be used with editing"},
        {"9CR9", "CR and DB must be the last"},
        {"CR(2)", "no repetition count"},
        {"99.9.9", "one decimal point"},
        {"Z9Z", "cannot follow 9"},
        {"ZZ**", "Z and * cannot both"},
        {"+9-", "+ and - cannot both"},
        {"-9CR", "CR or DB cannot be used with + or -"},
        {"B", "needs a 9, Z or *"},
        {"$", "needs a 9, Z or *"},
    };
    for (const Row& row : rows) {
        std::string error;
        EXPECT_FALSE(ParsePicture(row.text, &error)) << row.text;
        EXPECT_NE(error.find(row.reason), std::string::npos) << row.text << ": " << error;
    }
}

}  // namespace
}  // namespace layout
