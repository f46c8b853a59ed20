// Builds through the dialog on the headless host, on real files of the engine: every input type
// in both orders, key ranges, pad and cut, an extended output with its subordinate keys, the
// overwrite question, records not written, the list file and the dry run; every output read
// back through the engine, every input unchanged.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "builder/list_file.h"
#include "platform/message_box.h"
#include "platform/runtime_random.h"
#include "platform/system_error.h"
#include "ui/build_engine_fixture.h"

namespace builder::testing {
namespace {

using talvo::FileType;
using Records = std::vector<std::pair<std::string, std::string>>;  // key -> record, key order

std::string Pad(std::string text, size_t size, char fill = '.') {
    text.resize(size, fill);
    return text;
}

// The list file's lines (without their CR LF; fails the test on a bare LF).
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        EXPECT_TRUE(end > start && text[end - 1] == '\r') << "line " << lines.size() + 1;
        lines.push_back(text.substr(start, end - start - 1));
    }
    EXPECT_EQ(start, text.size()) << "the last line has no line end";
    return lines;
}

TEST_F(EngineBuildTest, EveryInputTypeInBothOrders) {
    struct Row {
        FileType type;
        bool keyOrder;
        uint64_t read;
        uint64_t deleted;
    };
    const Row rows[] = {
        {FileType::kRecords1, false, 6, 0},     {FileType::kRecords2, false, 6, 0},
        {FileType::kKeyed, true, 5, 0},         {FileType::kKeyed, false, 6, 1},
        {FileType::kExtendedKeyed, true, 5, 0}, {FileType::kExtendedKeyed, false, 6, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.type) * 10 + row.keyOrder);
        TearDown();
        SetUp();
        const bool keyed = row.type == FileType::kKeyed || row.type == FileType::kExtendedKeyed;
        // Input key in bytes 0..3; 0xFE at byte 8 of record 3 is data (but for type 36, whose
        // deleted mark it is); record 2 is deleted in
        // the keyed files; the output key is bytes 10..13 (descending), then 0..1.
        std::vector<InputRecord> input;
        Records expected;
        for (int i = 0; i < 6; ++i) {
            std::string bytes = Pad("K00" + std::to_string(i) + "ab---", 10);
            if (i == 3 && row.type != FileType::kExtendedKeyed) bytes[8] = '\xFE';
            bytes += Pad("Z" + std::to_string(9 - i) + "zz", 10);
            const bool deleted = keyed && i == 2;
            input.push_back({bytes, keyed ? bytes.substr(0, 4) : "", deleted});
            if (!deleted) expected.emplace_back(bytes.substr(10, 4) + bytes.substr(0, 2), bytes);
        }
        std::sort(expected.begin(), expected.end());
        MakeInput(row.type, 20, keyed ? 4 : 0, 0, input);
        const auto before = Snapshot(root / "data");

        ASSERT_TRUE(OpenDialog());
        Describe("CUSTNEW", -1, {{10, 4}, {0, 2}});
        if (keyed && !row.keyOrder) {
            ASSERT_TRUE(host->Click(D::kUseRecordNumber));
        }
        const auto boxes = Build();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, std::to_string(expected.size()) + " records were written");
        EXPECT_EQ(boxes[0].flags, 0u);

        EXPECT_EQ(ReadBack("CUSTNEW"), expected);
        const talvo::FileInfo info = OutputInfo("CUSTNEW");
        EXPECT_EQ(info.type, FileType::kKeyed);
        EXPECT_EQ(info.recordSize, 20u);
        EXPECT_EQ(info.keySize, 6u);
        const BuildSummary& summary = dialog->lastBuild;
        EXPECT_EQ(summary.keyOrder, row.keyOrder);
        EXPECT_EQ(summary.recordsRead, row.read);
        EXPECT_EQ(summary.recordsDeleted, row.deleted);
        EXPECT_EQ(summary.recordsNotWritten, 0u);
        EXPECT_EQ(shell->opened, std::vector<std::string>{(root / "temp" / kListFile).string()});
        EXPECT_EQ(Snapshot(root / "data"), before);
    }
}

TEST_F(EngineBuildTest, KeyRangeBoundsInOneSession) {
    const std::vector<std::string> keys{"A001  ", "A002  ", "A003  ", "A004xx", "A005  ", "A006  "};
    std::vector<InputRecord> input;
    for (const std::string& key : keys) input.push_back({key + "record", key});
    MakeInput(FileType::kKeyed, 12, 6, 0, input);
    ASSERT_TRUE(OpenDialog());
    Describe("RANGE", -1, {{0, 6}});

    struct Row {
        std::string from;
        std::string to;
        std::vector<std::string> written;
    };
    const Row rows[] = {
        {"", "", keys},
        // A short bound ends with its zero byte: "A004xx" lies above "A004".
        {"A002", "A004", {"A002  ", "A003  "}},
        {"A004", "A004xx", {"A004xx"}},  // a key equal to the bound is copied
        // A placeholder typed by hand is no bound; "A005  " continues "A005" with a space.
        {"< First Key >", "A005", {"A001  ", "A002  ", "A003  ", "A004xx"}},
        {"A0055", "< Last Key >", {"A006  "}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.from + " .. " + row.to);
        Enter(D::kFromKey, row.from);
        Enter(D::kToKey, row.to);
        host->QueueAnswer(platform::IDYES);  // after the first, the output exists
        Build();
        std::vector<std::string> written;
        for (const auto& [key, record] : ReadBack("RANGE")) written.push_back(key);
        EXPECT_EQ(written, row.written);
    }

    // Keys of 255 bytes: without a To Key none is left out at the top, not even the key of 255
    // bytes 0xFF; a typed To Key is compared as ever (its zero byte ends the copy).
    const std::string high(254, '\xFF');
    const std::vector<std::string> wide{Pad("B", 255, '\0'), high + '\0', high + '\x01',
                                        high + '\xFF'};
    input.clear();
    for (const std::string& key : wide) input.push_back({key + "tail", key});
    MakeInput(FileType::kKeyed, 300, 255, 0, input, {}, "wide");
    ASSERT_TRUE(OpenDialog("wide"));
    Describe("WIDE", -1, {{0, 255}}, 0);  // above 64 bytes a key lies in the record
    Build();
    Records back = ReadBack("WIDE");
    ASSERT_EQ(back.size(), 4u);
    for (size_t i = 0; i < wide.size(); ++i) EXPECT_EQ(back[i].first, wide[i]);
    Enter(D::kToKey, "B");
    host->QueueAnswer(platform::IDYES);
    Build();
    back = ReadBack("WIDE");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].first, wide[0]);
}

TEST_F(EngineBuildTest, EarlyEndOverwriteAnswersPadAndCut) {
    std::vector<InputRecord> input;
    for (int i = 0; i < 4; ++i)
        input.push_back({"rec" + std::to_string(i) + "dataKEY" + std::to_string(i)});
    MakeInput(FileType::kRecords2, 12, 0, 0, input);
    const auto before = Snapshot(root / "data");
    ASSERT_TRUE(OpenDialog());

    // The output's folder is missing: nothing is created, no list file is started.
    Describe("copy", 16, {{8, 4}}, -1, "BAD");
    auto boxes = Build();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind("Create of File \"copy\" on \"BAD\" - failed: ", 0), 0u);
    EXPECT_EQ(boxes[0].flags, 0x10u);
    EXPECT_TRUE(fs::is_empty(root / "temp"));

    // A build after that early end: longer output records end in spaces.
    ASSERT_TRUE(host->ChooseComboItem(D::kOutputDirectory, "OUT"));
    boxes = Build();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "4 records were written");
    Records padded;
    for (int i = 0; i < 4; ++i) {
        const std::string n = std::to_string(i);
        padded.emplace_back("KEY" + n, "rec" + n + "dataKEY" + n + "    ");
    }
    EXPECT_EQ(ReadBack("copy"), padded);
    const std::string list = ListFileText();

    // No keeps the output as it was and starts no list file.
    Enter(D::kOutputRecordSize, "6");
    boxes = Build();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Overwrite existing \"copy\"?");
    EXPECT_EQ(boxes[0].flags, 0x24u);
    EXPECT_EQ(ReadBack("copy"), padded);
    EXPECT_EQ(shell->opened.size(), 1u);
    EXPECT_EQ(ListFileText(), list);

    // Yes replaces it: records cut to 6 bytes, keys still taken beyond the cut.
    host->QueueAnswer(platform::IDYES);
    boxes = Build();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "4 records were written");
    Records cut;
    for (int i = 0; i < 4; ++i)
        cut.emplace_back("KEY" + std::to_string(i), "rec" + std::to_string(i) + "da");
    EXPECT_EQ(ReadBack("copy"), cut);
    EXPECT_EQ(OutputInfo("copy").recordSize, 6u);
    EXPECT_EQ(shell->opened.size(), 2u);
    EXPECT_EQ(Snapshot(root / "data"), before);
}

TEST_F(EngineBuildTest, ExtendedOutputKeepsRecordsAndSubordinateKeys) {
    const std::vector<talvo::SubKeyDef> subKeys{{7, -3, "by name"}, {1, 2, std::string(31, 'n')}};
    std::vector<InputRecord> input;
    Records expected;
    for (int i = 0; i < 4; ++i) {
        const std::string key = "KEY-" + std::to_string(i);
        const std::string bytes = Pad("ab-" + key + "payload" + std::to_string(i), 30);
        input.push_back({bytes, key, i == 1});
        if (i != 1) expected.emplace_back(key, bytes);
    }
    MakeInput(FileType::kExtendedKeyed, 30, 5, 3, input, subKeys);
    ASSERT_TRUE(OpenDialog());
    Enter(D::kOutputFile, "EXT");
    ASSERT_TRUE(host->ChooseComboItem(D::kOutputDirectory, "OUT"));
    ASSERT_TRUE(host->Click(D::kUseRecordNumber));  // the deleted mark at byte 8
    const auto boxes = Build();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "3 records were written");
    EXPECT_EQ(ReadBack("EXT"), expected);

    talvo::Engine engine;
    std::shared_ptr<talvo::DataFile> file;
    ASSERT_TRUE(engine.Open(Out("EXT").string(), &file).ok());
    EXPECT_EQ(file->Info().type, FileType::kExtendedKeyed);
    EXPECT_EQ(file->Info().keyPosition, 3u);
    for (int index = 1; index <= 3; ++index) {
        talvo::SubKeyDef def;
        const talvo::Status got = file->GetSubKey(index, &def);
        ASSERT_EQ(got.ok(), index <= 2) << index;
        if (got.ok()) {
            EXPECT_EQ(def.first, subKeys[index - 1].first);
            EXPECT_EQ(def.second, subKeys[index - 1].second);
            EXPECT_EQ(def.name, subKeys[index - 1].name);
        }
    }
    engine.Close(file);
}

TEST_F(EngineBuildTest, RecordsNotWrittenAreCountedListedAndEscaped) {
    // Fields (0,4) and (4,2) of 41 42 00 44 45 46 give that key; record 1 differs only in its
    // fourth byte (it collided with record 0 when a zero byte moved the next field back).
    const std::vector<InputRecord> input{
        {std::string("AB\0DEF-fine", 11)},    {std::string("AB\0UEF-fine", 11)},
        {std::string("XY\0Z12\xFE-bad", 11)},  // 0xFE at byte 6: would read as deleted
        {std::string("AB\0DEF-dupl", 11)},    {std::string("QRSTUV-fine", 11)},
    };
    MakeInput(FileType::kRecords1, 11, 0, 0, input);
    ASSERT_TRUE(OpenDialog());
    const std::string name = "R&D<\"1\">";
    Describe(name, -1, {{0, 4}, {4, 2}});

    // The dry run first: the same counts, nothing changed anywhere.
    const auto untouched = Snapshot(root);
    const BuildSummary dry = dialog->DryRun();
    EXPECT_EQ(Snapshot(root), untouched);
    EXPECT_FALSE(fs::exists(Out(name)));
    EXPECT_TRUE(host->MessageBoxes().empty());

    const auto boxes = Build();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "3 records were written\n\n2 records were not written (duplicate key or refused by "
              "the output file); the list file names them.");
    Records expected{{std::string("AB\0DEF", 6), input[0].bytes},
                     {std::string("AB\0UEF", 6), input[1].bytes},
                     {"QRSTUV", input[4].bytes}};
    EXPECT_EQ(ReadBack(name), expected);

    const BuildSummary& built = dialog->lastBuild;
    for (const BuildSummary* s : {&dry, &built}) {
        EXPECT_EQ(s->recordsRead, 5u);
        EXPECT_EQ(s->recordsWritten, 3u);
        EXPECT_EQ(s->recordsNotWritten, 2u);
        ASSERT_EQ(s->notWritten.size(), 2u);
        EXPECT_EQ(s->notWritten[0].number, 2u);
        EXPECT_EQ(HexBytes(s->notWritten[0].key.data(), 6), "5859005A3132");
        EXPECT_EQ(s->notWritten[1].number, 3u);
        EXPECT_EQ(HexBytes(s->notWritten[1].key.data(), 6), "414200444546");
    }
    EXPECT_TRUE(dry.dryRun);
    EXPECT_TRUE(built.listFileComplete);

    const std::vector<std::string> lines = Lines(ListFileText());
    ASSERT_EQ(lines.size(), 11u);
    const std::vector<std::string> head{
        "<HTML><HEAD><TITLE>",
        "Output from Talvo Ordelin Utility Version 13.00",
        "</TITLE></HEAD><BODY><PRE>",
        "Talvo Ordelin Utility Version 13.00   01/03/2026 09:05",
        "Input file: CUST on DAT",
        "Output file: R&amp;D&lt;&quot;1&quot;&gt; on OUT",
        "",
        "Records written: 3, Time completed: 09:05",
        "Records not written: 2",
    };
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 9), head);
    EXPECT_EQ(lines[9].rfind("Record 2, key 5859005A3132: ", 0), 0u) << lines[9];
    EXPECT_EQ(lines[10].rfind("Record 3, key 414200444546: ", 0), 0u) << lines[10];
    EXPECT_NE(lines[10].find("R&amp;D&lt;&quot;1&quot;&gt;"), std::string::npos) << lines[10];
}

TEST_F(EngineBuildTest, AThousandRecordsAreNamedAndTheRestCounted) {
    std::vector<InputRecord> input(1003, InputRecord{"same-key"});
    MakeInput(FileType::kRecords1, 8, 0, 0, input);
    ASSERT_TRUE(OpenDialog());
    Describe("SAME", -1, {{0, 4}});
    Build();
    const std::vector<std::string> lines = Lines(ListFileText());
    ASSERT_EQ(lines.size(), 8u + 1 + 1000 + 1);
    EXPECT_EQ(lines[8], "Records not written: 1002");
    EXPECT_EQ(lines[9].rfind("Record 1, key 73616D65: ", 0), 0u) << lines[9];
    EXPECT_EQ(lines[1008].rfind("Record 1000, ", 0), 0u) << lines[1008];
    EXPECT_EQ(lines[1009], "and 2 more records not written");
    EXPECT_EQ(dialog->lastBuild.notWritten.size(), 1000u);
}

TEST_F(EngineBuildTest, AnEmptyInputWritesNothingButItsListFile) {
    MakeInput(FileType::kRecords1, 11, 0, 0, {});
    ASSERT_TRUE(OpenDialog());
    Describe("EMPTY", -1, {{0, 4}});
    const auto boxes = Build();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "0 records were written");
    EXPECT_TRUE(ReadBack("EMPTY").empty());
    const std::vector<std::string> lines = Lines(ListFileText());
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[7], "Records written: 0, Time completed: 09:05");
    EXPECT_FALSE(host->Visible(D::kProgress));
}

// What the dialog lets through but the build must not do: refused at its start, in a stop box,
// before any file is touched.
TEST_F(EngineBuildTest, OutputsTheBuildCannotMakeAsDescribedAreRefusedAtItsStart) {
    MakeInput(FileType::kRecords1, 100, 0, 0, {{std::string(100, 'x')}});
    ASSERT_TRUE(OpenDialog());
    struct Row {
        std::string name;
        std::vector<std::pair<int, int>> fields;
        std::string box;
    };
    const Row rows[] = {
        {"../ESC",
         {{0, 8}},
         "Output file name \"../ESC\" cannot contain \\ or / and cannot be \".\" or \"..\"."},
        {"..\\ESC",
         {{0, 8}},
         "Output file name \"..\\ESC\" cannot contain \\ or / and cannot be \".\" or \"..\"."},
        {"..",
         {{0, 8}},
         "Output file name \"..\" cannot contain \\ or / and cannot be \".\" or \"..\"."},
        // The key position edit was left empty before the key size went above 64.
        {"LONG", {{0, 100}}, "Key position is required for key size > 64."},
    };
    const auto before = Snapshot(root);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Describe(row.name, -1, row.fields);
        ASSERT_TRUE(host->Enabled(D::kBuildFile));
        const auto boxes = Build();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, row.box);
        EXPECT_EQ(boxes[0].flags, 0x10u);
        EXPECT_FALSE(dialog->lastBuild.copied);
    }
    EXPECT_EQ(Snapshot(root), before);
}

TEST_F(EngineBuildTest, BuildsInOneSecondKeepEachOthersListFiles) {
    MakeInput(FileType::kRecords1, 8, 0, 0, {{"record-1"}});
    ASSERT_TRUE(OpenDialog());
    Describe("ONE", -1, {{0, 8}});
    // The clock stands still: every list file starts from the same number. Each build takes the
    // generator's next number while a name is taken, by a file of any kind.
    platform::srand(static_cast<uint32_t>(kNow));
    std::vector<std::string> names;
    for (int i = 0; i < 4; ++i) names.push_back(ListFileNameFor(platform::rand()).substr(10));
    ASSERT_EQ(names[0], kListFile);
    Build();
    const std::string first = ListFileText();
    fs::create_directory(root / "temp" / names[1]);  // a folder in the way
    host->QueueAnswer(platform::IDYES);
    Build();
    EXPECT_EQ(ListFileText(), first);
    EXPECT_TRUE(fs::is_directory(root / "temp" / names[1]));
    const std::string& listed = dialog->lastBuild.listFileName;
    EXPECT_EQ(listed.substr(listed.rfind('\\') + 1), names[2]);
    EXPECT_NE(ReadFile(root / "temp" / names[2]).find("Records written: 1"), std::string::npos);
    EXPECT_EQ(shell->opened.back(), (root / "temp" / names[2]).string());
    EXPECT_FALSE(fs::exists(root / "temp" / names[3]));
}

TEST_F(EngineBuildTest, AListFileThatCannotBeWrittenDoesNotStopTheBuild) {
    MakeInput(FileType::kRecords1, 8, 0, 0, {{"record-1"}});

    ASSERT_TRUE(OpenDialog());
    Describe("ONE", -1, {{0, 8}});
    // A full disk: the build ends normally, then says once that the list is incomplete. The list
    // file is a device node like /dev/full, which the dialog holds open as its list file (a new
    // list file is only ever made where no file is in the way).
    const std::string full = (root / "temp" / kListFile).string();
    if (::mknod(full.c_str(), S_IFCHR | 0600, ::makedev(1, 7)) == 0) {
        dialog->listFile.name = platform::ToPlatformPath(full);
        ASSERT_TRUE(dialog->listFile.file.Create(dialog->listFile.name));
        dialog->listFile.open = true;
        auto boxes = Build();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].text, "1 records were written");
        const std::string listName =
            platform::ToPlatformPath((root / "temp").string()) + "\\" + kListFile;
        EXPECT_EQ(boxes[1].text, "The list file \"" + listName +
                                     "\" could not be written completely: " +
                                     platform::SystemMessageText(platform::ERROR_DISK_FULL));
        EXPECT_EQ(boxes[1].flags, 0x10u);
        EXPECT_FALSE(dialog->lastBuild.listFileComplete);
        EXPECT_EQ(ReadBack("ONE").size(), 1u);
    } else {
        std::fprintf(stderr, "the full-disk half is left out: cannot make a device node: %s\n",
                     std::strerror(errno));
    }

    // QVTEMP cannot be made (a file stands where its folder should): the name stays as it was,
    // its creation fails, and the build goes on without a list file.
    std::ofstream(root / "blocker") << "x";
    CDornApi::SetSetting("Directories", "QVTEMP",
                         platform::ToPlatformPath((root / "blocker" / "temp").string()).c_str());
    shell->opened.clear();
    host->QueueAnswer(platform::IDYES);
    auto boxes = Build();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1].text, "Could not create list file: $(QVTEMP)\\OL029101.htm\n\nError: 3");
    EXPECT_EQ(boxes[1].flags, 0u);
    EXPECT_EQ(boxes[2].text, "1 records were written");
    EXPECT_TRUE(shell->opened.empty());
    EXPECT_EQ(dialog->lastBuild.listFileName, "");
}

// An extended output whose key fields are not the bytes at its key position: the output refuses
// such records rather than keep an index that disagrees with them.
TEST_F(EngineBuildTest, ExtendedOutputRefusesRecordsWhoseKeyBytesDiffer) {
    MakeInput(FileType::kRecords1, 12, 0, 0, {{"ABCDdataABCD"}, {"WXYZdataKLMN"}});
    ASSERT_TRUE(OpenDialog());
    Describe("MISMATCH", -1, {{0, 4}}, 0);
    ASSERT_TRUE(host->SelectListItem(D::kKeyFieldList, 0));
    ASSERT_TRUE(host->Click(D::kRemoveKeyField));
    Enter(D::kFieldPosition, "8");
    Enter(D::kFieldLength, "4");
    ASSERT_TRUE(host->Click(D::kAddKeyField));
    ASSERT_TRUE(dialog->extendedOutput);

    const BuildSummary dry = dialog->DryRun();
    const auto boxes = Build();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "1 records were written\n\n1 records were not written (duplicate key or refused by "
              "the output file); the list file names them.");
    EXPECT_EQ(ReadBack("MISMATCH"), (Records{{"ABCD", "ABCDdataABCD"}}));
    const BuildSummary& built = dialog->lastBuild;
    for (const BuildSummary* s : {&dry, &built}) {
        SCOPED_TRACE(s->dryRun ? "dry run" : "build");
        ASSERT_EQ(s->notWritten.size(), 1u);
        EXPECT_EQ(s->notWritten[0].number, 1u);
        EXPECT_EQ(HexBytes(s->notWritten[0].key.data(), 4), "4B4C4D4E");
    }
}

}  // namespace
}  // namespace builder::testing
