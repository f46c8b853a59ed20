// The main dialog through the headless host: start-up on each kind of input file, refused input
// files, the enabling rules, the key range placeholders, the output directory list, the output
// record size and the window's own commands.
#include <algorithm>
#include <array>
#include <string>

#include "ui/dialog_test_fixture.h"

namespace {

using platform::IDOK;
using platform::MB_ICONSTOP;

TEST_F(DialogTest, KeyedInputStartsWithAnEmptyKeyToDefine) {
    ASSERT_TRUE(Open(4, 100, 12));

    EXPECT_EQ(host->Text(D::kInputFile), "CUST");
    EXPECT_EQ(host->Text(D::kInputDirectory), "DAT");
    EXPECT_EQ(host->Text(D::kOutputFile), "CUST");
    EXPECT_EQ(host->Text(D::kInputRecordSize), "100");
    EXPECT_EQ(host->Text(D::kOutputRecordSize), "100");
    EXPECT_EQ(host->Text(D::kInputKeySize), "12");
    EXPECT_EQ(host->Text(D::kOutputKeySize), "12");
    EXPECT_EQ(host->Text(D::kInputKeyPosition), "");
    EXPECT_EQ(host->Text(D::kOutputKeyPosition), "");
    EXPECT_EQ(host->Text(D::kFieldPosition), "0");
    EXPECT_EQ(host->Text(D::kFieldLength), "12");
    EXPECT_EQ(host->Text(D::kKeyFieldSummary), Summary(0, 12));
    EXPECT_EQ(host->Text(D::kListCaption),
              "The first byte of the record is position 0\nPosition    Length");
    EXPECT_TRUE(host->Items(D::kKeyFieldList).empty());
    EXPECT_EQ(host->TabStop(D::kKeyFieldList), 30);

    EXPECT_TRUE(host->Enabled(D::kAddKeyField));
    for (int id : {D::kRemoveKeyField, D::kFieldUp, D::kFieldDown, D::kBuildFile}) {
        EXPECT_FALSE(host->Enabled(id)) << id;
    }
    EXPECT_TRUE(host->Checked(D::kUseKeyTree));
    EXPECT_FALSE(host->Checked(D::kUseRecordNumber));
    EXPECT_FALSE(host->Visible(D::kProgress));
    EXPECT_EQ(host->Focus(), D::kOutputFile);

    EXPECT_EQ(dialog->outputFileName, "CUST");
    EXPECT_EQ(dialog->outputKeySize, 12u);
    EXPECT_EQ(dialog->inputRecordSize, 100u);
    EXPECT_FALSE(dialog->extendedOutput);

    // The window: the about item after a separator, the icon, the drag icon.
    ASSERT_EQ(host->SystemMenu().size(), 2u);
    EXPECT_EQ(host->SystemMenu()[0].second, "");
    EXPECT_EQ(host->SystemMenu()[1], (std::pair<unsigned, std::string>{16, "&About Ordelin..."}));
    EXPECT_EQ(host->BigIcon(), 128);
    EXPECT_EQ(host->SmallIcon(), 128);
    EXPECT_EQ(host->QueryDragIcon(), 128);
    EXPECT_TRUE(host->MessageBoxes().empty());
}

TEST_F(DialogTest, ExtendedKeyedInputStartsWithItsKeyAsTheOneField) {
    SetDirectories({u"DAT", u"OUT"});
    ASSERT_TRUE(Open(36, 100, 8, 4));

    EXPECT_EQ(host->Items(D::kKeyFieldList), std::vector<std::string>{"4\t8"});
    EXPECT_EQ(host->Selection(D::kKeyFieldList), 0);
    EXPECT_EQ(host->Text(D::kKeyFieldSummary), Summary(8, 8));
    EXPECT_EQ(host->Text(D::kFieldLength), "0");
    EXPECT_EQ(host->Text(D::kInputKeyPosition), "4");
    EXPECT_EQ(host->Text(D::kOutputKeyPosition), "4");
    EXPECT_EQ(Occupied(), Range(4, 8));
    EXPECT_TRUE(dialog->extendedOutput);
    EXPECT_EQ(dialog->outputKeyPosition, 4u);
    EXPECT_EQ(dialog->keyBytesDefined, 8);

    EXPECT_FALSE(host->Enabled(D::kAddKeyField));
    EXPECT_FALSE(host->Enabled(D::kFieldUp));
    EXPECT_FALSE(host->Enabled(D::kFieldDown));
    EXPECT_TRUE(host->Enabled(D::kRemoveKeyField));
    EXPECT_FALSE(host->Enabled(D::kBuildFile));  // no output directory yet

    ASSERT_TRUE(host->ChooseComboItem(D::kOutputDirectory, "OUT"));
    EXPECT_EQ(dialog->outputDirectory, "OUT");
    EXPECT_TRUE(host->Enabled(D::kBuildFile));
    EXPECT_EQ(host->Focus(), D::kBuildFile);
}

TEST_F(DialogTest, RecordFilesAreReadInRecordOrderOnly) {
    for (int type : {1, 2}) {
        SCOPED_TRACE(type);
        TearDown();
        SetUp();
        ASSERT_TRUE(Open(type, 80, 0));
        EXPECT_EQ(host->Text(D::kInputKeySize), "");
        EXPECT_EQ(host->Text(D::kOutputKeySize), "");
        EXPECT_FALSE(host->Enabled(D::kUseKeyTree));
        EXPECT_FALSE(host->Enabled(D::kUseRecordNumber));
        EXPECT_TRUE(host->Checked(D::kUseRecordNumber));
        EXPECT_FALSE(host->Checked(D::kUseKeyTree));
        EXPECT_FALSE(host->Enabled(D::kFromKey));
        EXPECT_FALSE(host->Enabled(D::kToKey));
        EXPECT_EQ(host->Text(D::kKeyFieldSummary), Summary(0, 0));
        EXPECT_EQ(host->Text(D::kFieldLength), "0");
        EXPECT_EQ(dialog->inputKeySize, 0u);
        EXPECT_EQ(dialog->outputKeySize, 0u);
    }
}

TEST_F(DialogTest, UnusableInputFilesCloseTheDialogWithAStopMessage) {
    struct Case {
        int32_t fileType, recordSize, keySize, keyPosition;
        const char* message;
    };
    const Case cases[] = {
        {3, 100, 8, 0, "CUST on DAT is not a valid data file"},
        {5, 0, 8, 0, "CUST on DAT is not a valid data file"},  // the type is tested first
        {4, 0, 8, 0, "CUST on DAT is a key-only file"},
        {36, 0, 8, 0, "CUST on DAT is a key-only file"},
        // A key that does not lie inside the record could not be a key field.
        {36, 100, 8, -1, "CUST on DAT is not a valid data file"},
        {36, 100, 8, 93, "CUST on DAT is not a valid data file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileType);
        TearDown();
        SetUp();
        EXPECT_FALSE(Open(c.fileType, c.recordSize, c.keySize, c.keyPosition));
        EXPECT_EQ(host->Close(), platform::kIdCancel);
        const platform::ShownMessageBox box = OnlyBox();
        EXPECT_EQ(box.text, c.message);
        EXPECT_EQ(box.caption, "Ordelin");
        EXPECT_EQ(box.flags, MB_ICONSTOP);
    }

    // No such file: the descriptor query fails.
    TearDown();
    SetUp();
    dialog->SetInputFile(*client, "none", "dat");
    EXPECT_EQ(host->RunModal(*dialog), platform::kIdCancel);
    EXPECT_EQ(OnlyBox().text, "NONE on DAT is not a valid data file");
}

TEST_F(DialogTest, BuildFileNeedsACompleteKeyAndBothOutputNames) {
    SetDirectories({u"DAT", u"OUT"});
    ASSERT_TRUE(Open(4, 100, 4));
    AddField(0, 4);
    EXPECT_FALSE(host->Enabled(D::kAddKeyField));
    EXPECT_FALSE(host->Enabled(D::kBuildFile));

    ASSERT_TRUE(host->ChooseComboItem(D::kOutputDirectory, "OUT"));
    EXPECT_TRUE(host->Enabled(D::kBuildFile));
    EXPECT_EQ(host->Focus(), D::kBuildFile);

    // Clearing the output name is noticed only by the next enabling pass.
    Enter(D::kOutputFile, "");
    EXPECT_EQ(dialog->outputFileName, "");
    EXPECT_TRUE(host->Enabled(D::kBuildFile));
    host->SelectListItem(D::kKeyFieldList, 0);
    EXPECT_FALSE(host->Enabled(D::kBuildFile));

    // Entering either key edit disables it outright.
    Enter(D::kOutputFile, "NEW");
    host->SelectListItem(D::kKeyFieldList, 0);
    ASSERT_TRUE(host->Enabled(D::kBuildFile));
    host->MoveFocus(D::kOutputKeySize);
    EXPECT_FALSE(host->Enabled(D::kBuildFile));
    host->MoveFocus(D::kInputFile);  // leaving it unchanged re-applies the rules
    EXPECT_TRUE(host->Enabled(D::kBuildFile));
    host->MoveFocus(D::kOutputKeyPosition);
    EXPECT_FALSE(host->Enabled(D::kBuildFile));
}

TEST_F(DialogTest, KeyRangePlaceholdersAndTheirColours) {
    ASSERT_TRUE(Open(4, 100, 8));
    const platform::Rgb yellow{250, 247, 131};
    const platform::Rgb white{255, 255, 255};
    struct Edit {
        int id;
        const char* placeholder;
        const bool& shown;
        std::optional<std::string> builder::BuildRequest::*bound;
    };
    const Edit edits[] = {
        {D::kFromKey, "< First Key >", dialog->fromKeyPlaceholderShown,
         &builder::BuildRequest::fromKey},
        {D::kToKey, "< Last Key >", dialog->toKeyPlaceholderShown, &builder::BuildRequest::toKey}};
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.placeholder);
        EXPECT_EQ(host->Text(e.id), e.placeholder);
        EXPECT_TRUE(e.shown);
        EXPECT_EQ(host->TextBackground(e.id), yellow);
        EXPECT_EQ(dialog->MakeBuildRequest().*e.bound, std::nullopt);  // no bound at the start
        EXPECT_EQ(host->TextLimit(e.id), 255u);

        host->MoveFocus(e.id);
        EXPECT_EQ(host->Text(e.id), "");
        EXPECT_EQ(host->TextBackground(e.id), white);
        host->MoveFocus(D::kInputFile);  // left empty: the placeholder comes back
        EXPECT_EQ(host->Text(e.id), e.placeholder);
        EXPECT_EQ(host->TextBackground(e.id), yellow);

        Enter(e.id, "ABC");
        EXPECT_FALSE(e.shown);
        EXPECT_EQ(dialog->MakeBuildRequest().*e.bound, "ABC");
        EXPECT_EQ(host->TextBackground(e.id), white);
        host->MoveFocus(e.id);  // a real bound is kept on entering again
        EXPECT_EQ(host->Text(e.id), "ABC");

        Enter(e.id, e.placeholder);  // typed by hand it still means no bound
        EXPECT_TRUE(e.shown);
        EXPECT_EQ(dialog->MakeBuildRequest().*e.bound, std::nullopt);
        EXPECT_EQ(host->TextBackground(e.id), yellow);

        Enter(e.id, std::string(300, 'K'));
        EXPECT_EQ(host->Text(e.id), std::string(255, 'K'));
    }
    // Other controls keep the default colours.
    EXPECT_EQ(host->TextBackground(D::kOutputFile), std::nullopt);
}

TEST_F(DialogTest, DirectoryListLeavesOutTheInputDirectoryWhileTheNamesAreEqual) {
    SetDirectories({u"ABC", u"", u"DAT", u"OUT"});
    ASSERT_TRUE(Open(4, 100, 8));

    ASSERT_TRUE(host->ChooseComboItem(D::kOutputDirectory, "OUT"));
    EXPECT_EQ(host->Items(D::kOutputDirectory), (std::vector<std::string>{"ABC", "OUT"}));
    EXPECT_EQ(dialog->outputDirectory, "OUT");

    // Dropping down again empties the field; closing without a choice keeps the former value.
    ASSERT_TRUE(host->DropDown(D::kOutputDirectory));
    EXPECT_EQ(host->Text(D::kOutputDirectory), "");
    EXPECT_EQ(dialog->outputDirectory, "OUT");

    // Another name, even the same in other letters, lists every named directory.
    Enter(D::kOutputFile, "cust");
    ASSERT_TRUE(host->DropDown(D::kOutputDirectory));
    EXPECT_EQ(host->Items(D::kOutputDirectory), (std::vector<std::string>{"ABC", "DAT", "OUT"}));
}

TEST_F(DialogTest, OutputRecordSizeIsStoredUpToTheLargestRecord) {
    ASSERT_TRUE(Open(4, 100, 8));
    Enter(D::kOutputRecordSize, "200");
    EXPECT_EQ(dialog->outputRecordSize, 200u);
    EXPECT_TRUE(host->MessageBoxes().empty());
    Enter(D::kOutputRecordSize, "65535");
    EXPECT_EQ(dialog->outputRecordSize, 65535u);

    const struct {
        const char* typed;
        const char* message;
    } refused[] = {
        {"65536", "Output record size cannot be greater than 65535."},
        {"99999999999", "Output record size cannot be greater than 65535."},
        {"-1", "Output record size cannot be negative."},
        {"-99999999999", "Output record size cannot be negative."},
    };
    for (const auto& [typed, message] : refused) {
        SCOPED_TRACE(typed);
        ASSERT_TRUE(host->Type(D::kOutputRecordSize, typed));
        host->MoveFocus(D::kInputFile);
        const platform::ShownMessageBox box = OnlyBox();
        EXPECT_EQ(box.text, message);
        EXPECT_EQ(box.flags, 0u);
        EXPECT_EQ(host->Focus(), D::kOutputRecordSize);
        EXPECT_EQ(dialog->outputRecordSize, 65535u);
        EXPECT_FALSE(host->Enabled(D::kBuildFile));
    }
}

TEST_F(DialogTest, AnOutputRecordSizeAcceptedAfterARefusalBringsBuildFileBack) {
    SetDirectories({u"DAT", u"OUT"});
    ASSERT_TRUE(Open(4, 100, 4));
    AddField(0, 4);
    ASSERT_TRUE(host->ChooseComboItem(D::kOutputDirectory, "OUT"));
    ASSERT_TRUE(host->Enabled(D::kBuildFile));

    // Leaving the edit with a valid size changes no enabling and keeps the focus where it went.
    Enter(D::kOutputRecordSize, "150");
    EXPECT_TRUE(host->Enabled(D::kBuildFile));
    EXPECT_EQ(host->Focus(), D::kInputFile);

    for (const char* refused : {"-5", "70000"}) {
        SCOPED_TRACE(refused);
        Enter(D::kOutputRecordSize, refused);
        OnlyBox();
        ASSERT_FALSE(host->Enabled(D::kBuildFile));
        ASSERT_EQ(host->Focus(), D::kOutputRecordSize);
        // The size typed next is accepted, and the enabling rules apply again.
        Enter(D::kOutputRecordSize, "120");
        EXPECT_TRUE(host->MessageBoxes().empty());
        EXPECT_EQ(dialog->outputRecordSize, 120u);
        EXPECT_TRUE(host->Enabled(D::kBuildFile));
        EXPECT_EQ(host->Focus(), D::kBuildFile);
    }

    // With the key incomplete, an accepted size after a refusal leaves Build File disabled.
    host->SelectListItem(D::kKeyFieldList, 0);
    ASSERT_TRUE(host->Click(D::kRemoveKeyField));
    Enter(D::kOutputRecordSize, "-5");
    OnlyBox();
    Enter(D::kOutputRecordSize, "120");
    EXPECT_FALSE(host->Enabled(D::kBuildFile));
    EXPECT_TRUE(host->Enabled(D::kAddKeyField));
}

TEST_F(DialogTest, ReadingOrderButtonsSwitchTheKeyRange) {
    ASSERT_TRUE(Open(4, 100, 8));
    ASSERT_TRUE(host->Click(D::kUseRecordNumber));
    EXPECT_TRUE(host->Checked(D::kUseRecordNumber));
    EXPECT_FALSE(host->Checked(D::kUseKeyTree));
    EXPECT_FALSE(host->Enabled(D::kFromKey));
    EXPECT_FALSE(host->Enabled(D::kToKey));
    EXPECT_EQ(host->Text(D::kFromKey), "< First Key >");
    ASSERT_TRUE(host->Click(D::kUseKeyTree));
    EXPECT_TRUE(host->Checked(D::kUseKeyTree));
    EXPECT_TRUE(host->Enabled(D::kFromKey));
    EXPECT_TRUE(host->Enabled(D::kToKey));
}

TEST_F(DialogTest, SystemMenuAboutCommandsAndClosing) {
    ASSERT_TRUE(Open(4, 100, 8));
    {
        headless::HeadlessDialogs nested;
        for (unsigned command : {15u, 16u, 31u, 32u}) host->SystemCommand(command);
        // 16 to 31 are the about command: the box of template 100, twice.
        EXPECT_EQ(nested.TemplatesRun(), (std::vector<int>{100, 100}));
    }
    EXPECT_TRUE(host->IsRunning());

    // The about box ends through its OK button, by the base class.
    {
        headless::HeadlessDialogs nested([](headless::HeadlessHost& about) {
            EXPECT_EQ(about.Text(1), "OK");
            about.Click(1);
            EXPECT_EQ(about.Result(), IDOK);
        });
        host->SystemCommand(16);
        EXPECT_EQ(nested.TemplatesRun().size(), 1u);
    }

    // Enter (the OK command) builds; it never closes the dialog.
    host->Click(D::kBuildFile);
    EXPECT_TRUE(host->IsRunning());
    host->SystemCommand(platform::kScClose);
    EXPECT_FALSE(host->IsRunning());
    EXPECT_EQ(host->Close(), platform::kIdCancel);
}

TEST_F(DialogTest, CloseAndEscapeCancel) {
    ASSERT_TRUE(Open(4, 100, 8));
    ASSERT_TRUE(host->Click(D::kClose));
    EXPECT_EQ(host->Close(), platform::kIdCancel);

    // A scripted run that leaves the dialog open ends with Escape.
    auto again = std::make_unique<COrdelinDlg>();
    again->SetInputFile(*client, "cust", "dat");
    headless::HeadlessHost scripted;
    bool ran = false;
    scripted.AddStep([&ran](headless::HeadlessHost& h) { ran = h.IsRunning(); });
    EXPECT_EQ(scripted.RunModal(*again), platform::kIdCancel);
    EXPECT_TRUE(ran);
}

TEST_F(DialogTest, MinimisedWindowPaintsItsIconInTheMiddle) {
    ASSERT_TRUE(Open(4, 100, 8));
    host->Paint();
    EXPECT_TRUE(host->DrawnIcons().empty());
    host->SetMinimized(true);
    host->SetClientSize({41, 40});
    host->Paint();
    ASSERT_EQ(host->DrawnIcons().size(), 1u);
    EXPECT_EQ(host->DrawnIcons()[0].x, 5);  // (41 - 32 + 1) / 2
    EXPECT_EQ(host->DrawnIcons()[0].y, 4);  // (40 - 32 + 1) / 2
    EXPECT_EQ(host->DrawnIcons()[0].icon, 128);
}

}  // namespace
