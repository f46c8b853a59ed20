// The key field editor through the headless host: adding with its three refusals and the field
// limit, removing, reordering, the output key size and the key position with its contiguity rule
// and single-field reset.
#include <string>
#include <vector>

#include "ui/dialog_test_fixture.h"

namespace {

using Items = std::vector<std::string>;

// A refusal: the message in a plain box, the focus on the edit concerned.
void ExpectRefusal(headless::HeadlessHost& host, const std::string& text, int focus) {
    std::vector<platform::ShownMessageBox> boxes = host.TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].caption, "Ordelin");
    EXPECT_EQ(boxes[0].flags, 0u);
    EXPECT_EQ(host.Focus(), focus);
}

class KeyFieldTest : public DialogTest {};

TEST_F(KeyFieldTest, AddChecksRecordSizeKeySizeAndOverlap) {
    const std::string kRecord = "Position and Length of this field exceed input file's record size";
    const std::string kKeySize = "Addition of this field exceeds output file's key size";
    const std::string kOverlap = "This key field overlaps one already been defined.";
    struct Field {
        uint32_t position, length;
    };
    struct Case {
        const char* name;
        int32_t recordSize, keySize;
        std::vector<Field> defined;
        std::string position, length;
        std::string refusal;  // empty: accepted
    };
    const Case cases[] = {
        {"fits the record exactly", 15, 8, {}, "10", "5", ""},
        {"one byte past the record", 14, 8, {}, "10", "5", kRecord},
        {"a sign does not wrap round", 100, 8, {}, "-1", "5", kRecord},
        {"a huge length", 100, 8, {}, "0", "4294967295", kRecord},
        {"beyond the key size", 100, 8, {{0, 6}}, "6", "3", kKeySize},
        {"completes the key", 100, 8, {{0, 6}}, "6", "2", ""},
        {"overlaps the end of a field", 100, 8, {{10, 5}}, "14", "2", kOverlap},
        {"starts where a field ends", 100, 8, {{10, 5}}, "15", "2", ""},
        {"lies inside a field", 100, 8, {{10, 5}}, "11", "1", kOverlap},
        {"empty field", 100, 8, {}, "3", "0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        ASSERT_TRUE(Open(4, c.recordSize, c.keySize));
        for (const Field& f : c.defined) AddField(f.position, f.length);
        ASSERT_TRUE(host->TakeMessageBoxes().empty());
        const Items before = host->Items(D::kKeyFieldList);
        const std::vector<uint32_t> occupiedBefore = Occupied();
        const int definedBefore = dialog->keyBytesDefined;

        Enter(D::kFieldPosition, c.position);
        Enter(D::kFieldLength, c.length);
        ASSERT_TRUE(host->Click(D::kAddKeyField));

        if (!c.refusal.empty()) {
            ExpectRefusal(*host, c.refusal, D::kFieldPosition);
            EXPECT_EQ(host->Items(D::kKeyFieldList), before);
            EXPECT_EQ(Occupied(), occupiedBefore);
            EXPECT_EQ(dialog->keyBytesDefined, definedBefore);
            EXPECT_EQ(host->Text(D::kFieldPosition), c.position);
            continue;
        }
        EXPECT_TRUE(host->MessageBoxes().empty());
        Items after = before;
        after.push_back(c.position + "\t" + c.length);
        EXPECT_EQ(host->Items(D::kKeyFieldList), after);
        EXPECT_EQ(host->Selection(D::kKeyFieldList), static_cast<int>(after.size()) - 1);
        const uint32_t length = static_cast<uint32_t>(std::stoul(c.length));
        EXPECT_EQ(dialog->keyBytesDefined, definedBefore + static_cast<int>(length));
        EXPECT_EQ(host->Text(D::kKeyFieldSummary), Summary(dialog->keyBytesDefined, c.keySize));
        EXPECT_EQ(host->Text(D::kFieldLength), std::to_string(c.keySize - dialog->keyBytesDefined));
        EXPECT_EQ(host->Text(D::kFieldPosition), c.position);
        EXPECT_EQ(host->Enabled(D::kAddKeyField), dialog->keyBytesDefined != c.keySize);
    }
}

TEST_F(KeyFieldTest, RemoveClearsTheFieldsBytesSoItCanBeAddedAgain) {
    ASSERT_TRUE(Open(4, 100, 12));
    AddField(0, 4);
    AddField(10, 5);
    EXPECT_EQ(Occupied().size(), 9u);

    ASSERT_TRUE(host->SelectListItem(D::kKeyFieldList, 1));
    EXPECT_EQ(host->Text(D::kFieldPosition), "10");
    EXPECT_EQ(host->Text(D::kFieldLength), "5");
    ASSERT_TRUE(host->Click(D::kRemoveKeyField));
    EXPECT_EQ(host->Items(D::kKeyFieldList), Items{"0\t4"});
    EXPECT_EQ(Occupied(), Range(0, 4));
    EXPECT_EQ(dialog->keyBytesDefined, 4);
    EXPECT_EQ(host->Text(D::kKeyFieldSummary), Summary(4, 12));
    EXPECT_EQ(host->Selection(D::kKeyFieldList), platform::kNoItem);
    for (int id : {D::kRemoveKeyField, D::kFieldUp, D::kFieldDown}) {
        EXPECT_FALSE(host->Enabled(id)) << id;
    }

    AddField(10, 5);
    EXPECT_TRUE(host->TakeMessageBoxes().empty());
    EXPECT_EQ(host->Items(D::kKeyFieldList), (Items{"0\t4", "10\t5"}));
}

TEST_F(KeyFieldTest, UpAndDownFollowTheSelectionAndOnlyReorder) {
    ASSERT_TRUE(Open(4, 100, 12));
    AddField(0, 4);
    AddField(4, 4);
    AddField(8, 4);
    struct Step {
        int select;
        bool remove, up, down;
    };
    for (const Step& s :
         {Step{0, true, false, true}, Step{1, true, true, true}, Step{2, true, true, false}}) {
        SCOPED_TRACE(s.select);
        ASSERT_TRUE(host->SelectListItem(D::kKeyFieldList, s.select));
        EXPECT_EQ(host->Enabled(D::kRemoveKeyField), s.remove);
        EXPECT_EQ(host->Enabled(D::kFieldUp), s.up);
        EXPECT_EQ(host->Enabled(D::kFieldDown), s.down);
    }
    // The last is selected: Down is refused by its disabled state, Up moves it.
    EXPECT_FALSE(host->Click(D::kFieldDown));
    ASSERT_TRUE(host->Click(D::kFieldUp));
    EXPECT_EQ(host->Items(D::kKeyFieldList), (Items{"0\t4", "8\t4", "4\t4"}));
    EXPECT_EQ(host->Selection(D::kKeyFieldList), 1);
    ASSERT_TRUE(host->Click(D::kFieldUp));
    EXPECT_EQ(host->Items(D::kKeyFieldList), (Items{"8\t4", "0\t4", "4\t4"}));
    EXPECT_FALSE(host->Enabled(D::kFieldUp));
    ASSERT_TRUE(host->Click(D::kFieldDown));
    EXPECT_EQ(host->Items(D::kKeyFieldList), (Items{"0\t4", "8\t4", "4\t4"}));
    EXPECT_EQ(Occupied(), Range(0, 12));
    EXPECT_EQ(dialog->keyBytesDefined, 12);
}

TEST_F(KeyFieldTest, OutputKeySizeCannotFallBelowTheFieldsOrExceed255) {
    SetDirectories({u"OUT"});
    ASSERT_TRUE(Open(4, 300, 8));
    AddField(0, 6);
    const std::string kBelow = "Output key size cannot be less than total of key fields defined.";
    const std::string kAbove = "Output key size cannot be greater than 255.";
    struct Case {
        const char* typed;
        std::string refusal;
    };
    for (const Case& c :
         {Case{"5", kBelow}, Case{"-1", kBelow}, Case{"256", kAbove}, Case{"4294967296", kAbove}}) {
        SCOPED_TRACE(c.typed);
        ASSERT_TRUE(host->Type(D::kOutputKeySize, c.typed));
        host->MoveFocus(D::kInputFile);
        ExpectRefusal(*host, c.refusal, D::kOutputKeySize);
        EXPECT_EQ(dialog->outputKeySize, 8u);
        EXPECT_EQ(host->Text(D::kOutputKeySize), c.typed);  // the edit keeps what was typed
        EXPECT_FALSE(host->Enabled(D::kBuildFile));
    }

    Enter(D::kOutputKeySize, "6");  // the fields now fill the key
    EXPECT_TRUE(host->TakeMessageBoxes().empty());
    EXPECT_EQ(dialog->outputKeySize, 6u);
    EXPECT_EQ(host->Text(D::kKeyFieldSummary), Summary(6, 6));
    EXPECT_FALSE(host->Enabled(D::kAddKeyField));
    ASSERT_TRUE(host->ChooseComboItem(D::kOutputDirectory, "OUT"));
    EXPECT_TRUE(host->Enabled(D::kBuildFile));

    Enter(D::kOutputKeySize, "255");
    EXPECT_TRUE(host->TakeMessageBoxes().empty());
    EXPECT_EQ(dialog->outputKeySize, 255u);
    EXPECT_EQ(host->Text(D::kFieldLength), "249");
    EXPECT_FALSE(host->Enabled(D::kBuildFile));
}

TEST_F(KeyFieldTest, A255thKeyFieldIsRefused) {
    ASSERT_TRUE(Open(4, 1000, 255));
    for (uint32_t i = 0; i < 254; ++i) AddField(i, 1);
    ASSERT_TRUE(host->TakeMessageBoxes().empty());
    ASSERT_EQ(host->Items(D::kKeyFieldList).size(), 254u);

    AddField(300, 1);
    ExpectRefusal(*host, "Addition of this field exceeds the limit of 254 key fields.",
                  D::kFieldPosition);
    EXPECT_EQ(host->Items(D::kKeyFieldList).size(), 254u);
    EXPECT_EQ(dialog->keyBytesDefined, 254);
    EXPECT_FALSE(dialog->IsByteOccupied(300));
    EXPECT_FALSE(host->Enabled(D::kBuildFile));
}

TEST_F(KeyFieldTest, ContiguityFollowsListOrder) {
    const std::string kContiguous = "Key fields must be contiguous for extended keyed file.";
    struct Case {
        const char* name;
        std::vector<std::pair<uint32_t, uint32_t>> fields;
        bool moveLastUp;
        bool contiguous;
    };
    const Case cases[] = {
        {"in order", {{0, 4}, {4, 4}}, false, true},
        {"reversed", {{4, 4}, {0, 4}}, false, false},
        {"reversed, then put right with Up", {{4, 4}, {0, 4}}, true, true},
        {"in order, then swapped with Up", {{0, 4}, {4, 4}}, true, false},
        {"a gap", {{0, 4}, {8, 4}}, false, false},
        {"one field", {{30, 8}}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        ASSERT_TRUE(Open(4, 100, 8));
        for (const auto& [position, length] : c.fields) AddField(position, length);
        if (c.moveLastUp) {
            ASSERT_TRUE(host->SelectListItem(D::kKeyFieldList, 1));
            ASSERT_TRUE(host->Click(D::kFieldUp));
        }
        const Items before = host->Items(D::kKeyFieldList);
        ASSERT_TRUE(host->TakeMessageBoxes().empty());

        Enter(D::kOutputKeyPosition, "20");
        EXPECT_TRUE(dialog->extendedOutput);
        EXPECT_EQ(dialog->outputKeyPosition, 20u);
        if (!c.contiguous) {
            ExpectRefusal(*host, kContiguous, D::kOutputKeyPosition);
            EXPECT_EQ(host->Items(D::kKeyFieldList), before);
            EXPECT_FALSE(host->Enabled(D::kBuildFile));
            continue;
        }
        // The single-field reset: one field at the key position, its bytes alone marked.
        EXPECT_TRUE(host->TakeMessageBoxes().empty());
        EXPECT_EQ(host->Items(D::kKeyFieldList), Items{"20\t8"});
        EXPECT_EQ(host->Selection(D::kKeyFieldList), 0);
        EXPECT_EQ(Occupied(), Range(20, 8));
        EXPECT_EQ(dialog->keyBytesDefined, 8);
        EXPECT_EQ(host->Text(D::kKeyFieldSummary), Summary(8, 8));
        EXPECT_EQ(host->Text(D::kFieldLength), "0");
    }
}

TEST_F(KeyFieldTest, KeyPositionChecks) {
    const std::string kRequired = "Key position is required for key size > 64.";
    const std::string kBeyond = "Key position extends key data beyond end of record.";
    const std::string kNegative = "Key position cannot be negative.";
    struct Case {
        const char* name;
        int32_t keySize;            // of the input file, and the output key size
        const char* outputKeySize;  // typed, or null
        const char* recordSize;     // output record size typed, or null (100)
        std::vector<std::pair<uint32_t, uint32_t>> fields;
        const char* position;
        std::string refusal;
        bool extended;
    };
    const Case cases[] = {
        {"empty with key size 65", 8, "65", nullptr, {}, "", kRequired, false},
        {"empty with key size 64", 8, "64", nullptr, {{0, 4}}, "", "", false},
        {"90 + 12 > 100", 12, nullptr, nullptr, {{0, 12}}, "90", kBeyond, false},
        {"88 + 12 = 100", 12, nullptr, nullptr, {{0, 12}}, "88", "", true},
        {"only the output record counts", 8, nullptr, "200", {{0, 8}}, "150", "", true},
        {"negative", 8, nullptr, nullptr, {{0, 8}}, "-4", kNegative, false},
        // Nothing defined yet, but the field it collapses into is the whole key.
        {"the key would pass the record", 8, "50", nullptr, {}, "60", kBeyond, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        ASSERT_TRUE(Open(4, 100, c.keySize));
        if (c.outputKeySize) Enter(D::kOutputKeySize, c.outputKeySize);
        if (c.recordSize) Enter(D::kOutputRecordSize, c.recordSize);
        for (const auto& [position, length] : c.fields) AddField(position, length);
        const Items before = host->Items(D::kKeyFieldList);
        ASSERT_TRUE(host->TakeMessageBoxes().empty());

        Enter(D::kOutputKeyPosition, c.position);
        EXPECT_EQ(dialog->extendedOutput, c.extended);
        if (!c.refusal.empty()) {
            ExpectRefusal(*host, c.refusal, D::kOutputKeyPosition);
            EXPECT_EQ(host->Items(D::kKeyFieldList), before);
            EXPECT_FALSE(host->Enabled(D::kBuildFile));
            continue;
        }
        EXPECT_TRUE(host->TakeMessageBoxes().empty());
        if (c.extended) {
            const std::string single =
                std::string(c.position) + "\t" + std::to_string(dialog->outputKeySize);
            EXPECT_EQ(host->Items(D::kKeyFieldList), Items{single});
            EXPECT_EQ(Occupied(),
                      Range(static_cast<uint32_t>(std::stoul(c.position)), dialog->outputKeySize));
        } else {
            EXPECT_EQ(host->Items(D::kKeyFieldList), before);
        }
    }
}

TEST_F(KeyFieldTest, ExtendedInputKeepsItsFieldUntilThePositionIsLeftAgain) {
    ASSERT_TRUE(Open(36, 100, 8, 4));
    Enter(D::kOutputKeySize, "10");
    EXPECT_EQ(host->Items(D::kKeyFieldList), Items{"4\t8"});
    EXPECT_EQ(host->Text(D::kKeyFieldSummary), Summary(8, 10));

    host->MoveFocus(D::kOutputKeyPosition);  // left unchanged: validated and collapsed again
    host->MoveFocus(D::kInputFile);
    EXPECT_TRUE(host->TakeMessageBoxes().empty());
    EXPECT_EQ(host->Items(D::kKeyFieldList), Items{"4\t10"});
    EXPECT_EQ(Occupied(), Range(4, 10));
    EXPECT_EQ(host->Text(D::kKeyFieldSummary), Summary(10, 10));
}

TEST_F(KeyFieldTest, ARefusedEditKeepsTheFocusSoAClickIsLost) {
    ASSERT_TRUE(Open(4, 100, 8));
    AddField(0, 6);
    ASSERT_TRUE(host->Type(D::kOutputKeySize, "2"));
    EXPECT_FALSE(host->Type(D::kFieldPosition, "6"));  // leaving the key size is refused
    EXPECT_EQ(host->Focus(), D::kOutputKeySize);
    EXPECT_EQ(host->TakeMessageBoxes().size(), 1u);

    // Clicking Add with the refused value still in the edit: the edit objects again and the
    // click does not happen.
    EXPECT_FALSE(host->Click(D::kAddKeyField));
    EXPECT_EQ(host->TakeMessageBoxes().size(), 1u);
    EXPECT_EQ(host->Items(D::kKeyFieldList), Items{"0\t6"});
}

TEST_F(KeyFieldTest, WhatLeavingAnEditChangesIsWhatTheClickMeets) {
    ASSERT_TRUE(Open(4, 100, 8));
    AddField(0, 6);
    // Leaving the key size edit completes the key, which disables Add Key Field before the
    // click could reach it: nothing is added.
    ASSERT_TRUE(host->Type(D::kOutputKeySize, "6"));
    EXPECT_FALSE(host->Click(D::kAddKeyField));
    EXPECT_FALSE(host->Enabled(D::kAddKeyField));
    EXPECT_TRUE(host->TakeMessageBoxes().empty());
    EXPECT_EQ(host->Items(D::kKeyFieldList), Items{"0\t6"});
    EXPECT_EQ(dialog->keyBytesDefined, 6);

    // Leaving the key position edit for the list collapses the list into one field, so the item
    // clicked no longer exists: the single field stays selected and no selection change comes.
    Enter(D::kOutputKeySize, "8");
    AddField(6, 2);
    ASSERT_TRUE(host->SelectListItem(D::kKeyFieldList, 1));
    ASSERT_TRUE(host->Type(D::kOutputKeyPosition, "20"));
    EXPECT_FALSE(host->SelectListItem(D::kKeyFieldList, 1));
    EXPECT_EQ(host->Items(D::kKeyFieldList), Items{"20\t8"});
    EXPECT_EQ(host->Selection(D::kKeyFieldList), 0);
    EXPECT_TRUE(host->Enabled(D::kRemoveKeyField));
    EXPECT_FALSE(host->Enabled(D::kFieldUp));
    EXPECT_EQ(host->Text(D::kFieldLength), "0");
}

}  // namespace
