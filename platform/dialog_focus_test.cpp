#include "platform/dialog_focus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

// A dialog as the focus rules see it: the events it receives, and what its focus-lost handlers
// do (take the focus back to their control, show a box).
struct Recorder {
    std::vector<std::string> events;
    std::vector<int> applied;  // the toolkit's focus put on these controls
    int keepFocusOn = 0;
    int warnOn = 0;
    DialogFocus* focus = nullptr;

    DialogFocus::Hooks Hooks() {
        return {[this](DialogEvent event, int id) {
                    const bool lost = event == DialogEvent::KillFocus;
                    events.push_back((lost ? "kill " : "set ") + std::to_string(id));
                    if (lost && id == keepFocusOn) focus->Set(id);
                    if (lost && id == warnOn) focus->BoxShown();
                },
                [this](int id) { applied.push_back(id); }};
    }
};

TEST(DialogFocusTest, MovesFireFocusLostThenFocusGained) {
    Recorder dialog;
    DialogFocus focus(dialog.Hooks());
    dialog.focus = &focus;
    EXPECT_EQ(focus.Current(), std::nullopt);
    focus.MoveTo(10);
    focus.MoveTo(20);
    focus.MoveTo(20);  // no move
    focus.Set(30);     // the dialog's own SetFocus outside a handler: a move
    EXPECT_EQ(dialog.events,
              (std::vector<std::string>{"set 10", "kill 10", "set 20", "kill 20", "set 30"}));
    EXPECT_EQ(dialog.applied, (std::vector<int>{10, 20, 20, 30}));
    EXPECT_EQ(focus.Current(), 30);

    focus.SetQuietly(40);
    EXPECT_EQ(dialog.events.size(), 5u);
    EXPECT_EQ(focus.Current(), 40);
    focus.Reset();
    EXPECT_EQ(focus.Current(), std::nullopt);
}

TEST(DialogFocusTest, AHandlerThatKeepsTheFocusTakesItSilently) {
    Recorder dialog;
    DialogFocus focus(dialog.Hooks());
    dialog.focus = &focus;
    focus.MoveTo(10);
    dialog.keepFocusOn = 10;
    dialog.events.clear();
    dialog.applied.clear();
    EXPECT_FALSE(focus.MoveForPress(20));
    EXPECT_EQ(dialog.events, std::vector<std::string>{"kill 10"});
    EXPECT_EQ(dialog.applied, std::vector<int>{10});
    EXPECT_EQ(focus.Current(), 10);
    EXPECT_FALSE(focus.InFocusLost());
}

TEST(DialogFocusTest, ABoxDuringAMoveLosesThePressThatMadeIt) {
    Recorder dialog;
    DialogFocus focus(dialog.Hooks());
    dialog.focus = &focus;
    focus.MoveTo(10);
    dialog.warnOn = 10;
    EXPECT_FALSE(focus.MoveForPress(20));  // the move went on, the press did not
    EXPECT_EQ(focus.Current(), 20);
    EXPECT_TRUE(focus.PressGoesOn(20));  // the interruption is forgotten: the next press counts
    EXPECT_TRUE(focus.MoveForPress(20));

    // A box outside a move interrupts nothing.
    focus.BoxShown();
    EXPECT_TRUE(focus.MoveForPress(20));
}

}  // namespace
}  // namespace platform
