// The headless dialog host: a dialog view that keeps every control of the dialog's template in
// memory, and a script API that acts as the user would (type, move the focus, click, choose) and
// reads back what the user would see (texts, enabled states, focus, checks, list items, colours
// and every message box shown, with its flags).
//
// Focus follows the rules every dialog view keeps (platform/dialog_focus.h): a user's move fires
// focus-lost on the old control, then focus-gained on the new one; a handler of focus-lost that
// puts the focus elsewhere (back on its edit, say) takes it there silently instead, and the
// move's own target gains nothing. A click, a choice in a list and a drop-down move the focus
// to their control first, so an edit's validation runs before them; one whose focus move was
// refused or interrupted by a message box, or whose control that validation disabled, is lost.
// Message boxes are answered at once from a queue.
//
// A modal run either follows a script (AddStep; RunModal returns when the dialog ends or the
// script is done, closing the dialog with Escape then), or is driven step by step from a test
// (Open, actions, Close).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog.h"
#include "platform/dialog_focus.h"
#include "platform/dialog_view.h"
#include "platform/message_box.h"
#include "res/resources.h"

namespace headless {

class HeadlessHost : public platform::DialogView {
  public:
    using Step = std::function<void(HeadlessHost&)>;

    HeadlessHost() = default;
    ~HeadlessHost() override;
    HeadlessHost(const HeadlessHost&) = delete;
    HeadlessHost& operator=(const HeadlessHost&) = delete;

    // --- Running a dialog ---
    void AddStep(Step step) { steps.push_back(std::move(step)); }
    // Opens the dialog, runs the steps while it lasts, closes it with Escape if the steps leave
    // it open. Returns the dialog's result, or -1 when its template does not exist.
    int RunModal(platform::CDialog& dialog) override;
    // Opens the dialog from its template and runs its initialisation. Returns true when the
    // dialog is running afterwards (false when the template does not exist or the
    // initialisation ended it).
    bool Open(platform::CDialog& dialog);
    // Presses Escape if the dialog still runs, then takes it down. Returns its result.
    int Close();
    bool IsRunning() const { return dialog != nullptr && !ended; }
    bool HasEnded() const { return ended; }
    int Result() const { return result; }

    // --- The user's actions; each returns false when it cannot be done (dialog not running,
    // control missing, hidden, disabled or of the wrong kind, focus taken elsewhere) ---
    bool MoveFocus(int id);
    // Focus to the edit, then its text replaced by `text` cut to the edit's limit.
    bool Type(int id, const std::string& text);
    // Focus to the button, then the click (an automatic radio button checks itself and clears
    // the others of its group).
    bool Click(int id);
    bool SelectListItem(int id, int index);
    // Drops the combo box's list down and closes it again without a choice.
    bool DropDown(int id);
    // Drops the list down and chooses the item at `index` (false if there is none).
    bool ChooseComboItem(int id, int index);
    bool ChooseComboItem(int id, const std::string& text);
    bool PressEscape();
    bool SystemCommand(unsigned command, intptr_t param = 0);
    // A paint request; what the dialog drew is in DrawnIcons().
    void Paint();
    platform::IconHandle QueryDragIcon();

    // --- Message boxes ---
    // The answer for the next box that is shown (boxes without one get platform::CautiousAnswer).
    void QueueAnswer(int button) { answers.push_back(button); }
    const std::vector<platform::ShownMessageBox>& MessageBoxes() const { return boxes; }
    // The boxes shown so far; the record is emptied.
    std::vector<platform::ShownMessageBox> TakeMessageBoxes() { return std::exchange(boxes, {}); }

    // --- What the user sees ---
    std::string Text(int id) const;
    bool Exists(int id) const { return controls.count(id) != 0; }
    bool Enabled(int id) const;
    bool Visible(int id) const;
    int Focus() const { return focusRules.Current().value_or(0); }
    bool Checked(int id) const;
    std::vector<std::string> Items(int id) const;  // list or combo box
    int Selection(int id) const;
    std::optional<size_t> TextLimit(int id) const;
    std::optional<int> TabStop(int id) const;
    // The background behind the control's text that the dialog asks for; none for the default.
    std::optional<platform::Rgb> TextBackground(int id) const;
    std::pair<int, int> ProgressRange(int id) const;
    // The position as the bar shows it: held within its range.
    int ProgressPosition(int id) const;
    // System menu items the dialog appended: (0, "") stands for a separator.
    const std::vector<std::pair<unsigned, std::string>>& SystemMenu() const { return systemMenu; }
    platform::IconHandle BigIcon() const { return bigIcon; }
    platform::IconHandle SmallIcon() const { return smallIcon; }
    int WaitCursorDepth() const { return waitCursorDepth; }
    int RepaintCount() const { return repaints; }

    // What the user saw of a long operation, in order: the progress bar shown, hidden, scaled
    // and moved, the wait cursor on and off, repaints, and (as markers between them) message
    // boxes, each with the index it has in MessageBoxes().
    struct ProgressEvent {
        enum class Kind { Shown, Hidden, Range, Position, WaitCursor, NormalCursor, Repaint, Box };
        Kind kind;
        int first = 0;   // Range: lower bound; Position: the position; Box: the box's index
        int second = 0;  // Range: upper bound
        friend bool operator==(const ProgressEvent&, const ProgressEvent&) = default;
    };
    const std::vector<ProgressEvent>& ProgressEvents() const { return progressEvents; }
    // The events so far; the record is emptied.
    std::vector<ProgressEvent> TakeProgressEvents() { return std::exchange(progressEvents, {}); }
    struct DrawnIcon {
        int x;
        int y;
        platform::IconHandle icon;
    };
    const std::vector<DrawnIcon>& DrawnIcons() const { return drawnIcons; }

    // --- The window's circumstances ---
    void SetHasSystemMenu(bool has) { hasSystemMenu = has; }
    void SetMinimized(bool minimized) { isMinimized = minimized; }
    void SetClientSize(platform::Size size) { clientSize = size; }

    // --- platform::DialogView ---
    void EndModal(int result) override;
    std::string GetText(int id) override;
    void SetText(int id, const std::string& text) override;
    void SetTextLimit(int id, size_t maximum) override;
    void Enable(int id, bool enable) override;
    void SetFocus(int id) override;
    void Show(int id, bool show) override;
    void SetCheck(int id, bool checked) override;
    bool IsChecked(int id) override;
    void ListReset(int id) override;
    int ListAdd(int id, const std::string& text) override;
    int ListInsert(int id, int index, const std::string& text) override;
    int ListDelete(int id, int index) override;
    std::string ListGetText(int id, int index) override;
    int ListCount(int id) override;
    int ListGetSelection(int id) override;
    void ListSetSelection(int id, int index) override;
    void ListSetTabStop(int id, int dialogUnits) override;
    void ComboReset(int id) override;
    int ComboAdd(int id, const std::string& text) override;
    std::string ComboSelectedText(int id) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    bool HasSystemMenu() override { return hasSystemMenu; }
    void AppendSystemMenuSeparator() override;
    void AppendSystemMenuItem(unsigned commandId, const std::string& text) override;
    void SetIcon(platform::IconHandle icon, bool big) override;
    void Repaint() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void ProgressSetRange(int id, int lower, int upper) override;
    void ProgressSetPosition(int id, int position) override;
    bool IsMinimized() override { return isMinimized; }
    platform::Size ClientSize() override { return clientSize; }
    platform::Size SystemIconSize() override { return {32, 32}; }
    void EraseIconBackground() override {}
    void DrawIcon(int x, int y, platform::IconHandle icon) override;

  private:
    struct Control {
        const res::ControlTemplate* source = nullptr;
        std::string text;
        bool enabled = true;
        bool visible = true;
        bool checked = false;
        std::vector<std::string> items;
        int selection = platform::kNoItem;
        std::optional<size_t> limit;
        std::optional<int> tabStop;
        int lower = 0;
        int upper = 100;
        int position = 0;
    };

    Control* Find(int id);
    const Control* Find(int id) const;
    Control* FindKind(int id, res::ControlKind kind);
    const Control* FindKind(int id, res::ControlKind kind) const;
    // The control if the user can reach it: running, present, visible and enabled.
    Control* Reachable(int id);
    void Dispatch(platform::DialogEvent event, int id);

    platform::CDialog* dialog = nullptr;
    const res::DialogTemplate* source = nullptr;
    std::map<int, Control> controls;
    std::vector<Step> steps;
    bool ended = false;
    int result = -1;
    platform::DialogFocus focusRules{
        {[this](platform::DialogEvent event, int id) { Dispatch(event, id); }, {}}};
    std::deque<int> answers;
    std::vector<platform::ShownMessageBox> boxes;
    std::vector<std::pair<unsigned, std::string>> systemMenu;
    bool hasSystemMenu = true;
    bool isMinimized = false;
    platform::Size clientSize{504, 423};
    platform::IconHandle bigIcon = 0;
    platform::IconHandle smallIcon = 0;
    int waitCursorDepth = 0;
    int repaints = 0;
    std::vector<DrawnIcon> drawnIcons;
    std::vector<ProgressEvent> progressEvents;
};

// Makes every dialog run by CDialog::DoModal() while it lives run on a headless host that follows
// `script` (none: the dialog is closed with Escape at once), and records their template ids.
class HeadlessDialogs {
  public:
    explicit HeadlessDialogs(HeadlessHost::Step script = {});
    ~HeadlessDialogs();
    HeadlessDialogs(const HeadlessDialogs&) = delete;
    HeadlessDialogs& operator=(const HeadlessDialogs&) = delete;

    const std::vector<int>& TemplatesRun() const { return *templatesRun; }

  private:
    std::shared_ptr<std::vector<int>> templatesRun = std::make_shared<std::vector<int>>();
    platform::DialogViewFactory former;
};

}  // namespace headless
