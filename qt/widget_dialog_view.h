// The dialog view on Qt widgets: a dialog (platform::CDialog) runs in a DialogWindow built from
// its template, and what the user does reaches the dialog's message map as a window would send
// it.
//
// Focus follows the rules every dialog view keeps (platform/dialog_focus.h). Focus-lost and
// focus-gained reach the dialog for moves between its controls only, not when the window loses
// or regains the focus (to a message box, say). A move fires focus-lost on the old control, then
// focus-gained on the new one; a focus-lost handler that puts the focus elsewhere (back on its
// edit after a refusal) takes it there silently, the move's own target gains nothing, and no
// focus change that the handler's message box causes reaches the dialog. A mouse press moves the
// focus first; a press whose move was refused, interrupted by a box, or whose control that move
// disabled, is lost. Enter clicks the focused push button, else moves
// the focus to the default button (so the control left is validated first) and clicks it if it
// is still enabled then. Escape sends the cancel command, the window's close button and the
// system menu's Close the Close system command.
//
// The system menu: the window manager's own is out of reach, so Alt+Space and a right click on
// the dialog open a popup of ours holding Close and the items the dialog appended.
//
// A modal run either runs its own event loop (RunModal) or is driven from a test or tool step by
// step (Open, events, Close).
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog.h"
#include "platform/dialog_focus.h"
#include "platform/dialog_view.h"
#include "qt/dialog_window.h"

class QEventLoop;
class QPainter;

namespace qtfront {

class WidgetDialogView : public QObject, public platform::DialogView {
  public:
    WidgetDialogView();
    ~WidgetDialogView() override;
    WidgetDialogView(const WidgetDialogView&) = delete;
    WidgetDialogView& operator=(const WidgetDialogView&) = delete;

    // --- Running a dialog ---
    // Opens the dialog, runs an event loop until it ends, takes it down. Returns its result, or
    // -1 when its template does not exist.
    int RunModal(platform::CDialog& dialog) override;
    // Builds the window from the dialog's template, runs the dialog's initialisation, shows the
    // window and gives the focus to the first tab stop if the initialisation asks for it.
    // Returns true when the dialog is running afterwards.
    bool Open(platform::CDialog& dialog);
    // Sends the cancel command if the dialog still runs, then takes the window down. Returns the
    // dialog's result.
    int Close();
    bool IsRunning() const { return dialog != nullptr && !ended; }
    int Result() const { return result; }

    // --- What a test or tool looks at ---
    DialogWindow* Window() const { return window.get(); }
    QWidget* Control(int id) const { return window ? window->Control(id) : nullptr; }
    // The control that holds the focus as the dialog sees it.
    std::optional<int> Focus() const { return focusRules.Current(); }
    // Items the dialog appended to the system menu: (0, "") stands for a separator.
    const std::vector<std::pair<unsigned, std::string>>& SystemMenu() const { return menuItems; }
    // Shows the system menu at `globalPosition` and carries out the command chosen.
    void ShowSystemMenu(QPoint globalPosition);
    int WaitCursorDepth() const { return waitCursorDepth; }

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
    bool HasSystemMenu() override;
    void AppendSystemMenuSeparator() override;
    void AppendSystemMenuItem(unsigned commandId, const std::string& text) override;
    void SetIcon(platform::IconHandle icon, bool big) override;
    void Repaint() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void ProgressSetRange(int id, int lower, int upper) override;
    void ProgressSetPosition(int id, int position) override;
    bool IsMinimized() override;
    platform::Size ClientSize() override;
    platform::Size SystemIconSize() override { return {32, 32}; }
    void EraseIconBackground() override;
    void DrawIcon(int x, int y, platform::IconHandle icon) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    DialogWindow::Handlers MakeHandlers();
    void Dispatch(platform::DialogEvent event, int id);
    void SystemCommand(unsigned command);
    // Puts the widget focus on the control without telling the dialog.
    void ApplyFocus(int id);
    void QtFocusChanged(QWidget* old, QWidget* now);
    // The control of `widget` when it lies in this dialog's window.
    std::optional<int> ControlIn(const QObject* object) const;
    void PressEnter();
    // Runs `change` without the focus moves Qt makes when it disables or hides the focus widget.
    template <class Change>
    void KeepingFocus(Change change);

    platform::CDialog* dialog = nullptr;
    std::unique_ptr<DialogWindow> window;
    QEventLoop* loop = nullptr;
    bool ended = false;
    int result = -1;
    bool opening = false;
    platform::DialogFocus focusRules{
        {[this](platform::DialogEvent event, int id) { Dispatch(event, id); },
         [this](int id) { ApplyFocus(id); }}};
    int applyingFocus = 0;  // widget focus changes of our own
    std::vector<std::pair<unsigned, std::string>> menuItems;
    int waitCursorDepth = 0;
    QPainter* painter = nullptr;  // while the dialog paints
    QMetaObject::Connection focusConnection;
    QPointer<QWidget> formerActiveWindow;  // active when the dialog opened; active again after
};

}  // namespace qtfront
