#include "layout/source_text.h"

#include <gtest/gtest.h>

#include "layout/tokens.h"

namespace layout {
namespace {

// The words of a copybook as the tokenizer gives them, joined by single spaces, periods as ".".
std::string Words(std::string_view copybook, SourceFormat format) {
    SourceText source;
    SourceError error;
    std::vector<Token> tokens;
    if (!ReadSource(copybook, format, &source, &error) || !Tokenize(source, &tokens, &error)) {
        return "error at line " + std::to_string(error.line) + ": " + error.message;
    }
    std::string text;
    for (const Token& t : tokens) text += (text.empty() ? "" : " ") + t.text;
    return text;
}

std::string Fixed(std::string_view sequence, char indicator, std::string_view code) {
    return std::string(sequence) + indicator + std::string(code);
}

TEST(SourceText, FixedFormReadsColumnsEightToSeventyTwo) {
    const std::string padded = std::string(" 05 B PIC X.") + std::string(53, ' ');  // to column 72
    struct Row {
        const char* what;
        std::string copybook;
        const char* words;
    } rows[] = {
        {"sequence numbers and identification are ignored",
         Fixed("000100", ' ', " 01 A.") + "\n" + Fixed("ABCDEF", ' ', padded + "IDENT99"),
         "01 A . 05 B PIC X ."},
        {"comment, page and debugging lines are left out",
         Fixed("      ", '*', " 01 NOT-THIS.") + "\n" + Fixed("      ", '/', "") + "\n" +
             Fixed("      ", 'D', " 05 DEBUG PIC X.") + "\n" + Fixed("      ", 'd', " x") +
             "\n" + Fixed("      ", ' ', " 01 A."),
         "01 A ."},
        {"a floating comment ends the code of its line",
         Fixed("      ", ' ', " 01 A. *> 05 NOT-THIS.") + "\n" + Fixed("      ", ' ', " 05 B."),
         "01 A . 05 B ."},
        {"*> inside a literal is text", Fixed("      ", ' ', " VALUE '*> x'."), "VALUE '*> x' ."},
        {"a continued word goes on at the first character of the next line",
         Fixed("      ", ' ', " 05 CUST-CI") + "\n" + Fixed("      ", '-', "      TY PIC X."),
         "05 CUST-CITY PIC X ."},
        {"a continued literal runs to column 72 and goes on after the quote",
         Fixed("      ", ' ', " VALUE 'AB") + "\n" + Fixed("      ", '-', "    'CD'."),
         "VALUE 'AB                                                       CD' ."},
        {"a literal continued twice",
         Fixed("      ", ' ', std::string(" VALUE \"") + std::string(57, 'x')) + "\n" +
             Fixed("      ", '-', std::string("\"") + std::string(64, 'y')) + "\n" +
             Fixed("      ", '-', "  \"z\"."),
         nullptr},
        {"tabs stop every eight columns",
         "\t 01 A.\n      \t\t05 B.",  // the first tab reaches column 9: area B
         "01 A . 05 B ."},
        {"CR LF line ends and a byte order mark",
         "\xEF\xBB\xBF" + Fixed("      ", ' ', " 01 A.\r") + "\n" + Fixed("      ", ' ', " 05 B.\r"),
         "01 A . 05 B ."},
        {"a line of at most 6 columns holds nothing", "000100\n12\n" + Fixed("      ", ' ', " 01 A."),
         "01 A ."},
        {"form feeds and lone carriage returns are spaces",
         "\f\n" + Fixed("      ", ' ', " 01\fA.\r05 B.") + "\n\v",
         "01 A . 05 B ."},
    };
    for (const Row& row : rows) {
        const std::string words = Words(row.copybook, SourceFormat::kFixed);
        if (row.words != nullptr) {
            EXPECT_EQ(words, row.words) << row.what;
        } else {
            EXPECT_EQ(words, "VALUE \"" + std::string(57, 'x') + std::string(64, 'y') + "z\" .")
                << row.what;
        }
    }
}

TEST(SourceText, FreeFormReadsWholeLines) {
    EXPECT_EQ(Words("01 A.   *> note\n  05 B PIC X(3).  05 C\n PIC\n 9.\n", SourceFormat::kFree),
              "01 A . 05 B PIC X(3) . 05 C PIC 9 .");
    // Columns 1 to 7 and beyond 72 are code in free form.
    EXPECT_EQ(Words("01 ABCDEFGHIJ." + std::string(70, ' ') + "05 B.", SourceFormat::kFree),
              "01 ABCDEFGHIJ . 05 B .");
}

TEST(SourceText, TokensSeparateAtSpacesCommasSemicolonsAndFinalPeriods) {
    EXPECT_EQ(Words("05 A PIC 9,999.99, VALUE 1.5; SYNC. 05 B PIC X(3).05", SourceFormat::kFree),
              "05 A PIC 9,999.99 VALUE 1.5 SYNC . 05 B PIC X(3).05");
    EXPECT_EQ(Words("VALUE X'0D0A' 'it''s' \"a\"\"b\"'c'.", SourceFormat::kFree),
              "VALUE X'0D0A' 'it''s' \"a\"\"b\" 'c' .");
}

TEST(SourceText, UnreadableLinesAreRefusedWithTheirNumber) {
    struct Row {
        const char* what;
        std::string copybook;
        SourceFormat format;
        uint32_t line;
        const char* words;  // a part of the message
    } rows[] = {
        {"an unknown indicator", Fixed("      ", ' ', " 01 A.") + "\n" + Fixed("000200", 'X', " 05 B."),
         SourceFormat::kFixed, 2, "column 7 holds 'X'"},
        {"a continuation first", Fixed("      ", '-', " 01 A."), SourceFormat::kFixed, 1,
         "must follow a line of code"},
        {"a continued literal without its quote",
         Fixed("      ", ' ', " VALUE 'AB") + "\n" + Fixed("      ", '-', "    CD'."),
         SourceFormat::kFixed, 2, "must go on after a quote"},
        {"an open literal followed by a new line of code",
         Fixed("      ", ' ', " 01 A VALUE 'AB") + "\n" + Fixed("      ", ' ', " 05 B."),
         SourceFormat::kFixed, 1, "a literal is not closed"},
        {"an open literal at the end",
         Fixed("      ", ' ', " 01 A.") + "\n" + Fixed("      ", ' ', " 05 B VALUE 'AB"),
         SourceFormat::kFixed, 2, "a literal is not closed"},
        {"an open literal in free form", "01 A.\n05 B VALUE 'AB\n", SourceFormat::kFree, 2,
         "a literal is not closed"},
        {"a directive", "01 A.\n>>SOURCE FORMAT FREE\n", SourceFormat::kFree, 2, "directives"},
        {"a directive in fixed form", Fixed("      ", ' ', "    >>IF X"), SourceFormat::kFixed, 1,
         "directives"},
    };
    for (const Row& row : rows) {
        SourceText source;
        SourceError error;
        ASSERT_FALSE(ReadSource(row.copybook, row.format, &source, &error)) << row.what;
        EXPECT_EQ(error.line, row.line) << row.what;
        EXPECT_NE(error.message.find(row.words), std::string::npos) << row.what << ": " << error.message;
    }
}

TEST(SourceText, DetectsTheForm) {
    struct Row {
        const char* copybook;
        SourceFormat format;
    } rows[] = {
        {"       01 A.\n           05 B PIC X.\n", SourceFormat::kFixed},
        {"000100 01 A.\n000200*comment\n000300-    X.\n", SourceFormat::kFixed},
        {"", SourceFormat::kFixed},
        {"01 A.\n   05 B PIC X.\n", SourceFormat::kFree},  // column 7 holds 'B'
        {"*> a free-form comment\n       01 A.\n", SourceFormat::kFree},
        {"  >>SOURCE FORMAT FREE\n", SourceFormat::kFree},
        {"       01 A.\n  05 BCDEF PIC X.\n", SourceFormat::kFree},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DetectFormat(row.copybook), row.format) << row.copybook;
    }
}

}  // namespace
}  // namespace layout
