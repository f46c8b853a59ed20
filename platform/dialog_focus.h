// The focus rules of a dialog, as every dialog view keeps them: the window on real widgets and
// the headless host alike, so that the dialog's logic (validation when a control loses the
// focus, refusals that put the focus back) meets the same moves in both.
//
//  1. A move to another control fires focus-lost on the control left, then focus-gained on the
//     new one. A move to the control that has the focus fires nothing.
//  2. A focus-lost handler that puts the focus elsewhere (back on its edit after a refusal) takes
//     it there silently: the control it names gains the focus without focus-gained, and the
//     move's own target gains nothing.
//  3. A move during which a message box was shown is interrupted: a press (a click, Enter on the
//     default button) that made the move is lost, as is a press whose move did not reach its
//     control. A press whose control the move disabled or hid is lost too; the view, which knows
//     its controls, checks that.
//  4. Only moves between the dialog's controls count: the window losing the focus to a message
//     box or another window, and getting it back, is no move (the view does not report it), and
//     no focus change that a handler's box causes reaches the dialog.
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "platform/dialog.h"

namespace platform {

class DialogFocus {
  public:
    struct Hooks {
        // Sends focus-lost or focus-gained of control `id` to the dialog.
        std::function<void(DialogEvent event, int id)> dispatch;
        // Puts the toolkit's focus on control `id` without telling the dialog (may be empty: a
        // view without a toolkit has nothing to do).
        std::function<void(int id)> apply;
    };

    explicit DialogFocus(Hooks hooks) : hooks_(std::move(hooks)) {}

    // The control that has the focus as the dialog sees it; none before the first move.
    std::optional<int> Current() const { return focus_; }
    // A focus-lost handler is running (its focus changes are silent, rule 2).
    bool InFocusLost() const { return focusLostRunning_ > 0; }

    // Forgets the focus (a new modal run).
    void Reset();
    // A move to `id` made by the user or the view (rule 1).
    void MoveTo(int id);
    // The dialog's own SetFocus(id): silent inside a focus-lost handler (rule 2), a move
    // otherwise. The view checks first that `id` is one of its controls.
    void Set(int id);
    // Takes the focus to `id` without a move: the window got the focus back and no control had
    // it yet (rule 4).
    void SetQuietly(int id);
    // A message box is shown now (rule 3).
    void BoxShown() { ++boxesShown_; }

    // A press on `id` whose focus move has been made (by MoveTo, or by the toolkit before it
    // delivers the press): whether the press goes on, i.e. the focus reached `id` and no box
    // interrupted that move (rule 3). Forgets the interruption either way.
    bool PressGoesOn(int id);
    // Makes the focus move of a press on `id` and says whether the press goes on.
    bool MoveForPress(int id);

  private:
    void Apply(int id) {
        if (hooks_.apply) hooks_.apply(id);
    }

    Hooks hooks_;
    std::optional<int> focus_;
    int focusLostRunning_ = 0;
    int boxesShown_ = 0;
    std::optional<int> interruptedMove_;  // the target of a move during which a box was shown
};

}  // namespace platform
