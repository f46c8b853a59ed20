// Build File on a scripted component, for what real files cannot stage: input lengths that scale
// the progress bar, a key whose record cannot be read, and every early end with its message.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/path.h"
#include "platform/stop_request.h"
#include "platform/testing/scoped_env.h"
#include "talvo/talvolib.h"
#include "ui/dialog_test_fixture.h"

namespace {

using fstest::HResult;
using fstest::Units;
using fstest::Variant;
using fstest::VariantBool;
using fstest::WideString;
using Event = headless::HeadlessHost::ProgressEvent;
using K = Event::Kind;
using builder::BuildSummary;
using builder::CopyEnd;

}  // namespace

namespace headless {
void PrintTo(const HeadlessHost::ProgressEvent& e, std::ostream* out) {
    *out << "{" << static_cast<int>(e.kind) << ", " << e.first << ", " << e.second << "}";
}
}  // namespace headless

namespace {

// The scripted component, with an input length of our choosing, one key that cannot be read and
// a channel that cannot be opened.
class StagedComponent : public fstest::ScriptedComponent {
  public:
    int64_t fileLength = -1;       // what a seek from the end gives, when not -1
    std::u16string unreadableKey;  // ReadKey of this key fails
    int32_t refusedChannel = -1;   // Open on this channel fails

    HResult Seek(int64_t handle, int64_t offset, int32_t origin, int64_t* position) override {
        const HResult status = ScriptedComponent::Seek(handle, offset, origin, position);
        if (fileLength != -1 && *position != -1 && origin == 2) *position = fileLength;
        return status;
    }
    HResult ReadKey(int32_t channel, const Variant& key, VariantBool* ok) override {
        const HResult status = ScriptedComponent::ReadKey(channel, key, ok);
        if (key.bstrVal && *key.bstrVal == unreadableKey) {
            *ok = platform::VARIANT_FALSE;
            SetError(3, "record damaged");
        }
        return status;
    }
    int32_t unreadableRecord = -1;  // ReadRecord of this number fails: the file is damaged
    int keysBeforeFailure = -1;     // NextKey fails after this many keys
    int writesBeforeFull = -1;      // WriteKey fails after this many: the disk is full
    int32_t fullError = talvo::kErrorNoSpace;  // or memory runs out
    int readsBeforeStop = -1;  // a stop is asked for (as by SIGINT) after this many reads

    HResult ReadRecord(int32_t channel, const Variant& number, VariantBool* ok) override {
        const HResult status = ScriptedComponent::ReadRecord(channel, number, ok);
        if (number.lVal == unreadableRecord) {
            *ok = platform::VARIANT_FALSE;
            SetError(talvo::kErrorDamaged, "record " + std::to_string(number.lVal) + " damaged");
        }
        CountRead();
        return status;
    }
    HResult NextKey(int32_t channel, WideString* key) override {
        const HResult status = ScriptedComponent::NextKey(channel, key);
        if (keysBeforeFailure >= 0 && keysBeforeFailure-- == 0) {
            *key = std::u16string();
            SetError(11, "the index cannot be read");
        }
        CountRead();
        return status;
    }
    HResult WriteKey(int32_t channel, const Variant& key, VariantBool* ok) override {
        if (writesBeforeFull >= 0 && writesBeforeFull-- == 0) {
            writesBeforeFull = 0;  // and every write after it
            *ok = platform::VARIANT_FALSE;
            SetError(fullError, fullError == talvo::kErrorNoSpace ? "no space left on the device"
                                                                  : "not enough memory");
            return platform::kOk;
        }
        return ScriptedComponent::WriteKey(channel, key, ok);
    }
    bool ChannelOpen(int32_t channel) const { return channels.count(channel) != 0; }
    void CountRead() {
        if (readsBeforeStop >= 0 && readsBeforeStop-- == 0) platform::RequestStop(SIGTERM);
    }

    HResult Open(int32_t channel, const WideString& file, const WideString& directory,
                 VariantBool* ok) override {
        const HResult status = ScriptedComponent::Open(channel, file, directory, ok);
        if (channel == refusedChannel) {
            channels.erase(channel);
            *ok = platform::VARIANT_FALSE;
            SetError(5, "channel refused");
        }
        return status;
    }
};

class ScriptedBuildTest : public DialogTest {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ordelin-scripted-build-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        // The list file's settings and folders stay in the temporary folder.
        setenv("XDG_DATA_HOME", root.c_str(), 1);
        setenv("ORDELIN_WINDIR", root.c_str(), 1);
        setenv("ORDELIN_PROGRAM_PATH", (root + "/ordelin").c_str(), 1);
        CDornApi::ResetSettingsPathCacheForTesting();

        staged = new StagedComponent;
        component = platform::ComPtr<fstest::ScriptedComponent>(staged);
        registration = std::make_unique<fstest::ScopedComponentRegistration>(component);
        client = std::make_unique<CDornApi>("Ordelin Utility", 100, 51, 0, false);
        ASSERT_TRUE(client->Connect(nullptr, false));
        dialog = std::make_unique<COrdelinDlg>();
        host = std::make_unique<headless::HeadlessHost>();
        SetDirectories({u"DAT", u"OUT"});
    }

    void TearDown() override {
        DialogTest::TearDown();
        CDornApi::ResetSettingsPathCacheForTesting();
        std::filesystem::remove_all(root);
    }

    // CUST on DAT, type 4, 10-byte records under 2-byte keys "00".."99" (repeating); the output
    // key is record bytes 2..3, which repeat the input key.
    void OpenOn(int records) {
        fstest::FakeFile& input = component->AddFile("DAT", "CUST", 4, 10, 2);
        for (int i = 0; i < records; ++i) {
            char key[3];
            std::snprintf(key, sizeof key, "%02d", i % 100);
            const std::string record = std::string(key) + std::string(key) + "abcdef";
            fstest::ScriptedComponent::AddRecord(input, Units(std::string(key)), Units(record));
        }
        dialog->SetInputFile(*client, "cust", "dat");
        ASSERT_TRUE(host->Open(*dialog));
        AddField(2, 2);
        ASSERT_TRUE(host->ChooseComboItem(D::kOutputDirectory, "OUT"));
        ASSERT_TRUE(host->Enabled(D::kBuildFile));
    }

    std::vector<platform::ShownMessageBox> Build() {
        host->TakeMessageBoxes();
        host->TakeProgressEvents();
        EXPECT_TRUE(host->Click(D::kBuildFile));
        return host->TakeMessageBoxes();
    }

    platform::testing::ScopedEnv savedDataHome{"XDG_DATA_HOME"};
    platform::testing::ScopedEnv savedWindir{"ORDELIN_WINDIR"};
    platform::testing::ScopedEnv savedProgram{"ORDELIN_PROGRAM_PATH"};
    std::string root;
    StagedComponent* staged = nullptr;
};

TEST_F(ScriptedBuildTest, TheBarFollowsTheEstimateFromTheInputLength) {
    struct Row {
        int64_t length;  // of the input file, in bytes (10-byte records); -1: no handle
        bool shown;
        int upper;
        int last;    // the position the end sets, as the bar shows it
        bool moved;  // the countdown met a multiple of the divisor during the 3 records
    };
    const Row rows[] = {
        {-1, false, 0, 0, false},               // no estimate: no bar, the build goes on
        {10000, false, 0, 100, false},          // 1000 records: hidden (template range 0..100)
        {10010, true, 10, 10, true},            // 1001: divisor 100; 1000 left moves it to 0
        {65535990, true, 65535, 65535, false},  // 6,553,599: still 100
        {65536000, true, 6553, 6553, false},    // 6,553,600: 1000
        {700000000, true, 7000, 7000, false},   // 70,000,000: 10000
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.length);
        TearDown();
        SetUp();
        OpenOn(3);
        if (row.length == -1) {
            component->failingOperations.insert("GetHandle");
        } else {
            staged->fileLength = row.length;
        }
        const auto boxes = Build();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "3 records were written");
        std::vector<Event> expected{{K::WaitCursor}};
        if (row.shown) {
            expected.insert(expected.end(), {{K::Shown}, {K::Repaint}, {K::Range, 0, row.upper}});
        }
        if (row.moved) expected.push_back({K::Position, 0});
        expected.insert(expected.end(),
                        {{K::Position, row.last}, {K::NormalCursor}, {K::Box, 0}, {K::Hidden}});
        EXPECT_EQ(host->TakeProgressEvents(), expected);
        EXPECT_FALSE(host->Visible(D::kProgress));
    }
}

TEST_F(ScriptedBuildTest, TheBarMovesOnceEveryDivisorRecords) {
    OpenOn(250);
    ASSERT_TRUE(host->Click(D::kUseRecordNumber));
    staged->fileLength = 12000;  // 1200 records: divisor 100, range 0..12
    Build();
    std::vector<int> positions;
    for (const Event& e : host->ProgressEvents()) {
        if (e.kind == K::Position) positions.push_back(e.first);
    }
    // Countdown 1200 -> 1100 (1) -> 1000 (2) after 250 records, then the end shows it full.
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 12}));
    // Keys 00..99 repeat after 100 records: every later one is a duplicate.
    EXPECT_EQ(dialog->lastBuild.recordsRead, 250u);
    EXPECT_EQ(dialog->lastBuild.recordsWritten, 100u);
    EXPECT_EQ(dialog->lastBuild.recordsNotWritten, 150u);
}

TEST_F(ScriptedBuildTest, OverTheWholeEstimateTheBarMovesOnEveryMultiple) {
    // 1234 records of an estimate of 1234: the countdown meets 1200, 1100, ..., 0 and the bar
    // moves each time, the first after 34 records, then every 100.
    OpenOn(1234);
    ASSERT_TRUE(host->Click(D::kUseRecordNumber));
    staged->fileLength = 12340;
    Build();
    std::vector<int> positions;
    for (const Event& e : host->ProgressEvents()) {
        if (e.kind == K::Position) positions.push_back(e.first);
    }
    EXPECT_EQ(positions, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 12}));
}

TEST_F(ScriptedBuildTest, AKeyWhoseRecordCannotBeReadIsNotWrittenUnderAnother) {
    OpenOn(4);
    staged->unreadableKey = Units(std::string("02"));
    const auto boxes = Build();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "3 records were written\n\n1 records were not written (duplicate key or refused by "
              "the output file); the list file names them.");
    // Keys 00, 01 and 03 went out under their own record's bytes; nothing for 02.
    std::vector<std::u16string> written;
    for (const fstest::Call& call : component->Calls("WriteKey")) {
        written.push_back(*call.variant.bstrVal);
    }
    EXPECT_EQ(written,
              (std::vector<std::u16string>{Units(std::string("00")), Units(std::string("01")),
                                           Units(std::string("03"))}));
    const BuildSummary& summary = dialog->lastBuild;
    EXPECT_EQ(summary.recordsRead, 4u);
    ASSERT_EQ(summary.notWritten.size(), 1u);
    EXPECT_EQ(summary.notWritten[0].number, 2u);
    EXPECT_EQ(summary.notWritten[0].key, (std::vector<uint8_t>{'0', '2'}));
    EXPECT_EQ(summary.notWritten[0].reason,
              "could not be read under this input key: record damaged");
}

TEST_F(ScriptedBuildTest, EarlyEndsShowTheirMessageAndStopBeforeTheCopy) {
    struct Row {
        const char* failing;  // the component operation that fails
        int answer;           // to the overwrite question
        bool outputExists;
        std::string message;
        unsigned flags;
    };
    const Row rows[] = {
        {"Open", 0, false, "Open of File \"CUST\" on \"DAT\" - failed: Open failed", 0x10},
        {"", platform::IDNO, true, "Overwrite existing \"CUST\"?", 0x24},
        {"Erase", platform::IDYES, true, "Erase of File \"CUST\" - failed: Erase failed", 0x10},
        {"CreateKeyed", 0, false, "Create of File \"CUST\" on \"OUT\" - failed: CreateKeyed failed",
         0x10},
        // The output channel refused after the create: the new file stays.
        {"", 0, false, "Open of File \"CUST\" on \"OUT\" - failed: channel refused", 0x10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        TearDown();
        SetUp();
        OpenOn(2);
        if (row.outputExists) component->AddFile("OUT", "CUST", 4, 10, 2);
        component->failingOperations.insert(row.failing);
        if (row.message.find("refused") != std::string::npos) staged->refusedChannel = 39;
        if (row.answer != 0) host->QueueAnswer(row.answer);
        const auto boxes = Build();
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back().text, row.message);
        EXPECT_EQ(boxes.back().flags, row.flags);
        EXPECT_EQ(component->CallCount("WriteKey"), 0);
        EXPECT_EQ(component->CallCount("GetHandle"), 0);
        EXPECT_EQ(host->WaitCursorDepth(), 0);
        EXPECT_FALSE(dialog->lastBuild.copied);
        EXPECT_EQ(component->FindFile("OUT", "CUST") != nullptr,
                  row.outputExists || staged->refusedChannel == 39);
    }
}

// A copy that cannot go on ends with a stop box in place of the count, and the list file says
// why; what was written stays.
TEST_F(ScriptedBuildTest, ACopyThatEndsEarlySaysWhyInEitherOrder) {
    struct Row {
        const char* what;
        bool keyOrder;
        void (*stage)(StagedComponent&);
        CopyEnd end;
        uint32_t written;
        std::string box;
        std::string line;  // of the list file
    };
    const Row rows[] = {
        {"a record that cannot be read", false, [](StagedComponent& c) { c.unreadableRecord = 3; },
         CopyEnd::kInputUnreadable, 3,
         "Read of File \"CUST\" on \"DAT\" - failed: record 3 damaged\n\nThe build ended "
         "early: 3 records were written.",
         "The build ended early: the input could not be read: record 3 damaged"},
        {"an index that cannot be read", true, [](StagedComponent& c) { c.keysBeforeFailure = 2; },
         CopyEnd::kInputUnreadable, 2,
         "Read of File \"CUST\" on \"DAT\" - failed: the index cannot be read\n\nThe build "
         "ended early: 2 records were written.",
         "The build ended early: the input could not be read: the index cannot be read"},
        {"a full disk", true, [](StagedComponent& c) { c.writesBeforeFull = 4; }, CopyEnd::kNoSpace,
         4,
         "The output file \"CUST\" ran out of space: no space left on the device\n\nThe build "
         "ended early: 4 records were written.",
         "The build ended early: the output ran out of space: no space left on the device"},
        {"too little memory", false,
         [](StagedComponent& c) {
             c.writesBeforeFull = 5;
             c.fullError = talvo::kErrorOutOfMemory;
         },
         CopyEnd::kNoMemory, 5,
         "There was not enough memory to write the output file \"CUST\": not enough memory\n\n"
         "The build ended early: 5 records were written.",
         "The build ended early: not enough memory to write the output: not enough memory"},
        {"a stop asked for", false, [](StagedComponent& c) { c.readsBeforeStop = 1; },
         CopyEnd::kInterrupted, 2,
         "The build was interrupted (SIGTERM): the output file \"CUST\" holds 2 records.",
         "The build was interrupted (SIGTERM): the output holds 2 records."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        OpenOn(8);
        if (!row.keyOrder) {
            ASSERT_TRUE(host->Click(D::kUseRecordNumber));
        }
        row.stage(*staged);
        const auto boxes = Build();
        platform::RequestStop(0);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, row.box);
        EXPECT_EQ(boxes[0].flags, 0x10u);
        const BuildSummary& summary = dialog->lastBuild;
        EXPECT_EQ(summary.end, row.end);
        EXPECT_TRUE(summary.EndedEarly());
        EXPECT_EQ(summary.failure, row.box);
        EXPECT_EQ(dialog->lastBuild.recordsWritten, row.written);
        EXPECT_EQ(component->FindFile("OUT", "CUST")->keys.size(), row.written);
        // The copy stopped there: nothing was read after the failure.
        EXPECT_LE(summary.recordsRead, uint64_t{row.written} + 1);
        std::ifstream file(*platform::ToHostPath(summary.listFileName), std::ios::binary);
        const std::string list((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
        EXPECT_NE(list.find("Records written: " + std::to_string(row.written) + ", Time"),
                  std::string::npos)
            << list;
        EXPECT_NE(list.find(row.line + "\r\n"), std::string::npos) << list;
        EXPECT_FALSE(staged->ChannelOpen(39));  // both channels were closed
        EXPECT_FALSE(staged->ChannelOpen(38));
    }
}

TEST_F(ScriptedBuildTest, AStopAskedForBeforeTheBuildLeavesTheOutputAlone) {
    OpenOn(3);
    fstest::FakeFile& existing = component->AddFile("OUT", "CUST", 4, 10, 2);
    fstest::ScriptedComponent::AddRecord(existing, Units(std::string("zz")),
                                         Units(std::string("zzzzzzzzzz")));
    platform::RequestStop(SIGINT);
    const auto boxes = Build();
    platform::RequestStop(0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "The build was interrupted (SIGINT) before it began: the output was "
              "not touched.");
    EXPECT_EQ(boxes[0].flags, 0x10u);
    EXPECT_EQ(component->CallCount("Erase"), 0);
    EXPECT_EQ(component->FindFile("OUT", "CUST")->keys.size(), 1u);
    EXPECT_EQ(dialog->lastBuild.end, CopyEnd::kInterrupted);
    EXPECT_FALSE(dialog->lastBuild.copied);
}

TEST_F(ScriptedBuildTest, ASubordinateKeyTheOutputDoesNotTakeIsSaidAfterTheClosingMessage) {
    // An extended keyed input (key at byte 2) with two definitions: the output takes neither.
    fstest::FakeFile& input = component->AddFile("DAT", "CUST", 36, 10, 2, 2);
    input.subKeys = {{1, 2, u"FIRST"}, {3, 4, u"SECOND"}};
    for (const char* key : {"00", "01", "02"}) {
        fstest::ScriptedComponent::AddRecord(input, Units(std::string(key)),
                                             Units("ab" + std::string(key) + "cdefgh"));
    }
    dialog->SetInputFile(*client, "cust", "dat");
    ASSERT_TRUE(host->Open(*dialog));
    AddField(2, 2);
    ASSERT_TRUE(host->ChooseComboItem(D::kOutputDirectory, "OUT"));
    component->failingOperations.insert("AddSubKey");
    const auto boxes = Build();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "3 records were written");
    const std::string failure =
        "Subordinate key 1 could not be copied to \"CUST\": AddSubKey failed";
    EXPECT_EQ(boxes[1].text, failure);
    EXPECT_EQ(boxes[1].flags, 0x10u);
    // The copy went on with the next definition, as it always does.
    EXPECT_EQ(component->CallCount("AddSubKey"), 2);
    EXPECT_TRUE(dialog->lastBuild.copied);
    EXPECT_EQ(dialog->lastBuild.subordinateKeyFailure, failure);
    EXPECT_FALSE(dialog->lastBuild.EndedEarly());
    EXPECT_EQ(dialog->lastBuild.recordsWritten, 3u);
}

TEST_F(ScriptedBuildTest, KeyFieldsTheBuffersCannotHoldAreRefusedBeforeAnyFileIsTouched) {
    OpenOn(2);
    const size_t callsBefore = component->calls.size();
    // The fields as only a damaged editor could leave them.
    const builder::KeyField fields[] = {{65530, 8}, {0xFFFFFFFF, 2}, {0, 200}};
    for (const builder::KeyField& field : fields) {
        dialog->keyFields = {field, {0, 100}};
        const auto boxes = Build();
        ASSERT_EQ(boxes.size(), 1u) << field.position;
        EXPECT_EQ(boxes[0].flags, 0x10u);
    }
    EXPECT_EQ(component->calls.size(), callsBefore);
}

}  // namespace
