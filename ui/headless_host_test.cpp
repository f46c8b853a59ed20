// The headless host's own rules, with a dialog that records the events it receives: the order of
// focus events, a focus-lost handler that keeps the focus, clicks on disabled buttons, radio
// groups, message box answers and the end of a modal run.
#include "ui/headless/headless_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/message_box.h"
#include "res/resources.h"

namespace {

using platform::DialogEvent;

class RecordingDialog : public platform::CDialog {
  public:
    RecordingDialog() : CDialog(res::kMainDialog) {}

    std::vector<std::string> events;
    int keepFocusOn = 0;  // a focus-lost handler of this control takes the focus back
    int warnOn = 0;       // a focus-lost handler of this control shows a box and lets the move go
    int answer = 0;

  protected:
    const MessageMap& GetMessageMap() const override {
        static const MessageMap map{
            Entry<RecordingDialog>(DialogEvent::KillFocus, platform::kAnyControl,
                                   &RecordingDialog::OnKill),
            Entry<RecordingDialog>(DialogEvent::SetFocus, platform::kAnyControl,
                                   &RecordingDialog::OnSet),
            Entry<RecordingDialog>(DialogEvent::Clicked, 1004, &RecordingDialog::OnAsk),
        };
        return map;
    }

  private:
    void OnKill(platform::DialogMessage& m) {
        events.push_back("kill " + std::to_string(m.controlId));
        if (m.controlId == keepFocusOn) View()->SetFocus(m.controlId);
        if (m.controlId == warnOn) AppMessageBox("Note", platform::MB_OK);
    }
    void OnSet(platform::DialogMessage& m) {
        events.push_back("set " + std::to_string(m.controlId));
    }
    void OnAsk() {
        answer = AppMessageBox("Sure?", platform::MB_YESNO | platform::MB_ICONQUESTION);
    }
};

TEST(HeadlessHost, FocusMovesLikeAWindow) {
    RecordingDialog dialog;
    headless::HeadlessHost host;
    ASSERT_TRUE(host.Open(dialog));
    EXPECT_EQ(host.Focus(), 1025);  // the first tab stop
    EXPECT_EQ(dialog.events, std::vector<std::string>{"set 1025"});

    dialog.events.clear();
    ASSERT_TRUE(host.MoveFocus(1028));
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"kill 1025", "set 1028"}));

    // The edit keeps the focus: the move's target gains nothing, a click on it is lost.
    dialog.events.clear();
    dialog.keepFocusOn = 1028;
    EXPECT_FALSE(host.Click(1004));
    EXPECT_EQ(host.Focus(), 1028);
    EXPECT_EQ(dialog.events, std::vector<std::string>{"kill 1028"});
    EXPECT_EQ(dialog.answer, 0);
    host.Close();
}

// As in the window: a box shown by the focus-lost handler of the control left interrupts the
// move, and the click that made it is lost; the focus has moved all the same, so the next click
// goes through.
TEST(HeadlessHost, AClickWhoseMoveABoxInterruptedIsLost) {
    RecordingDialog dialog;
    headless::HeadlessHost host;
    ASSERT_TRUE(host.Open(dialog));
    ASSERT_TRUE(host.MoveFocus(1028));
    dialog.warnOn = 1028;
    dialog.events.clear();
    EXPECT_FALSE(host.Click(1004));
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"kill 1028", "set 1004"}));
    EXPECT_EQ(host.Focus(), 1004);
    EXPECT_EQ(dialog.answer, 0);
    ASSERT_EQ(host.TakeMessageBoxes().size(), 1u);

    EXPECT_TRUE(host.Click(1004));
    EXPECT_EQ(dialog.answer, platform::IDNO);

    // A list's selection and a drop-down are presses too.
    ASSERT_TRUE(host.MoveFocus(1028));
    host.ListAdd(1002, "0\t4");
    EXPECT_FALSE(host.SelectListItem(1002, 0));
    EXPECT_EQ(host.Selection(1002), platform::kNoItem);
    ASSERT_TRUE(host.MoveFocus(1028));
    EXPECT_FALSE(host.DropDown(1026));
    host.Close();
}

TEST(HeadlessHost, ClicksRadioGroupsAndMessageBoxes) {
    RecordingDialog dialog;
    headless::HeadlessHost host;
    ASSERT_TRUE(host.Open(dialog));

    EXPECT_FALSE(host.Click(1010));      // disabled in the template
    EXPECT_FALSE(host.Click(1025));      // not a button
    EXPECT_FALSE(host.Type(1017, "x"));  // read-only

    ASSERT_TRUE(host.Click(1000));
    ASSERT_TRUE(host.Click(1001));
    EXPECT_TRUE(host.Checked(1001));
    EXPECT_FALSE(host.Checked(1000));

    host.QueueAnswer(platform::IDYES);
    ASSERT_TRUE(host.Click(1004));
    EXPECT_EQ(dialog.answer, platform::IDYES);
    ASSERT_TRUE(host.Click(1004));  // no answer queued: the cautious one
    EXPECT_EQ(dialog.answer, platform::IDNO);
    ASSERT_EQ(host.MessageBoxes().size(), 2u);
    EXPECT_EQ(host.MessageBoxes()[0].text, "Sure?");
    EXPECT_EQ(host.MessageBoxes()[0].flags, platform::MB_YESNO | platform::MB_ICONQUESTION);

    // Escape ends the run through the base's cancel processing.
    EXPECT_TRUE(host.PressEscape());
    EXPECT_FALSE(host.IsRunning());
    EXPECT_FALSE(host.Click(1004));
    EXPECT_EQ(host.Close(), platform::kIdCancel);
    EXPECT_EQ(dialog.View(), nullptr);
}

TEST(HeadlessHost, ListDeletionKeepsTheSelectionOnItsItem) {
    RecordingDialog dialog;
    headless::HeadlessHost host;
    ASSERT_TRUE(host.Open(dialog));
    for (const char* item : {"a", "b", "c"}) host.ListAdd(1002, item);
    host.ListSetSelection(1002, 2);
    EXPECT_EQ(host.ListDelete(1002, 0), 2);
    EXPECT_EQ(host.Selection(1002), 1);  // still "c"
    EXPECT_EQ(host.ListInsert(1002, 0, "z"), 0);
    EXPECT_EQ(host.Selection(1002), 2);
    EXPECT_EQ(host.ListDelete(1002, 2), 2);  // the selected item goes: no selection
    EXPECT_EQ(host.Selection(1002), platform::kNoItem);
    EXPECT_EQ(host.ListInsert(1002, 5, "out of range"), platform::kNoItem);
    EXPECT_EQ(host.Items(1002), (std::vector<std::string>{"z", "b"}));
    host.Close();
}

TEST(HeadlessHost, ProgressRecordKeepsWhatTheUserSawInOrder) {
    RecordingDialog dialog;
    headless::HeadlessHost host;
    ASSERT_TRUE(host.Open(dialog));
    using Event = headless::HeadlessHost::ProgressEvent;
    using K = Event::Kind;
    EXPECT_FALSE(host.Visible(1033));  // hidden in the template

    host.BeginWaitCursor();
    host.Show(1033, true);
    host.Repaint();
    host.ProgressSetRange(1033, 0, 10);
    host.ProgressSetPosition(1033, 4);
    host.ProgressSetPosition(1033, 1500);  // beyond the range: the bar shows full
    host.EndWaitCursor();
    host.MessageBox("done", "Ordelin", 0);
    host.Show(1033, false);
    host.Show(1017, false);             // not a bar: not part of the record
    host.ProgressSetPosition(1017, 3);  // nor this

    EXPECT_EQ(host.ProgressPosition(1033), 10);
    EXPECT_EQ(host.WaitCursorDepth(), 0);
    EXPECT_EQ(host.TakeProgressEvents(), (std::vector<Event>{{K::WaitCursor},
                                                             {K::Shown},
                                                             {K::Repaint},
                                                             {K::Range, 0, 10},
                                                             {K::Position, 4},
                                                             {K::Position, 10},
                                                             {K::NormalCursor},
                                                             {K::Box, 0},
                                                             {K::Hidden}}));
    EXPECT_TRUE(host.ProgressEvents().empty());
    host.Close();
}

}  // namespace
