#include "layout/field_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/program_run.h"
#include "layout/copybook_file.h"

namespace layout {
namespace {

constexpr const char* kTables = R"(
01  R.
    05  HEAD            PIC X(2).
    05  ROW             OCCURS 2.
        10  CELL        PIC 9 OCCURS 3.
        10  TAIL        PIC X.
    05  ROW-TEXT        REDEFINES ROW PIC X(8).
)";

Record TablesRecord() {
    Copybook copybook;
    ReadError error;
    EXPECT_TRUE(ReadCopybook(kTables, {}, &copybook, &error)) << error.Text();
    return copybook.records.at(0);
}

TEST(FieldList, ListsEveryOccurrenceInRecordOrder) {
    const Record record = TablesRecord();
    bool complete = false;
    const std::vector<FieldOccurrence> fields = ListFields(record, 100, &complete);
    EXPECT_TRUE(complete);
    std::string listed;
    for (const FieldOccurrence& f : fields) {
        listed += std::string(2 * static_cast<size_t>(f.depth), ' ') +
                  OccurrenceName(record, f, false) + " " + std::to_string(f.offset) + "\n";
    }
    EXPECT_EQ(listed,
              "R 0\n"
              "  HEAD 0\n"
              "  ROW(1) 2\n"
              "    CELL(1,1) 2\n"
              "    CELL(1,2) 3\n"
              "    CELL(1,3) 4\n"
              "    TAIL(1) 5\n"
              "  ROW(2) 6\n"
              "    CELL(2,1) 6\n"
              "    CELL(2,2) 7\n"
              "    CELL(2,3) 8\n"
              "    TAIL(2) 9\n"
              "  ROW-TEXT 2\n");
    EXPECT_EQ(OccurrenceName(record, fields[4], true), "CELL OF ROW OF R(1,2)");

    const std::vector<FieldOccurrence> cut = ListFields(record, 5, &complete);
    EXPECT_FALSE(complete);
    EXPECT_EQ(cut.size(), 5u);
}

TEST(CopybookFile, ReadsAFileOrSaysWhyNot) {
    e2e::Scratch scratch;
    const std::string good = scratch.Path("good.cpy");
    e2e::WriteFile(good, kTables);
    Copybook copybook;
    std::string error;
    ASSERT_TRUE(ReadCopybookFile(good, {}, &copybook, &error)) << error;
    EXPECT_EQ(copybook.records.at(0).length(), 10u);

    e2e::WriteFile(scratch.Path("bad.cpy"), "01 R.\n 05 A PIC X.\n 05 B PIC.\n");
    std::filesystem::create_directory(scratch.Path("folder"));
    e2e::WriteFile(scratch.Path("huge.cpy"), std::string(kMaxCopybookBytes + 1, ' '));
    struct Row {
        std::string path;
        std::string message;
    } rows[] = {
        {scratch.Path("bad.cpy"),
         scratch.Path("bad.cpy") + ": line 3: PICTURE in the entry for B needs a character-string"},
        {scratch.Path("none.cpy"),
         "cannot read the copybook " + scratch.Path("none.cpy") + ": No such file or directory"},
        {scratch.Path("folder"),
         "cannot read the copybook " + scratch.Path("folder") + ": Is a directory"},
        {scratch.Path("huge.cpy"),
         "the copybook " + scratch.Path("huge.cpy") + " is larger than 16777216 bytes"},
    };
    for (const Row& row : rows) {
        EXPECT_FALSE(ReadCopybookFile(row.path, {}, &copybook, &error)) << row.path;
        EXPECT_EQ(error, row.message);
        EXPECT_TRUE(copybook.records.empty());
    }
}

}  // namespace
}  // namespace layout
