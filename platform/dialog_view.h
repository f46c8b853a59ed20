// The dialog view: the one seam between dialog logic and a user-interface toolkit. A dialog
// (CDialog, platform/dialog.h) never touches a widget; it asks its view to read and change the
// controls of its template, show message boxes and run its modal loop. Hosts implement the view:
// the headless host of the tests keeps every control in memory, a toolkit front end maps it onto
// real widgets. No toolkit type appears here.
//
// Controls are named by their template ids. An operation on an id the template lacks does
// nothing and reads as empty (text ""), unchecked, no selection or count 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

class CDialog;

// A colour as the dialog names it.
struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
};

// An icon: the id of its icon resource (0: none). The host resolves it to pixels.
using IconHandle = int;

// The list box's "no item" index.
constexpr int kNoItem = -1;

class DialogView {
  public:
    virtual ~DialogView() = default;

    // --- The modal run ---
    // Shows the dialog, runs its initialisation (CDialog::BeginModal) and its modal loop until
    // the dialog ends, then takes it down (CDialog::FinishModal). Returns the dialog's result.
    virtual int RunModal(CDialog& dialog) = 0;
    // Ends the loop of RunModal with `result`; called by CDialog::EndDialog.
    virtual void EndModal(int result) = 0;

    // --- Any control ---
    virtual std::string GetText(int id) = 0;
    virtual void SetText(int id, const std::string& text) = 0;
    // Limits the text the user can type into an edit to `maximum` characters.
    virtual void SetTextLimit(int id, size_t maximum) = 0;
    virtual void Enable(int id, bool enable) = 0;
    virtual void SetFocus(int id) = 0;
    virtual void Show(int id, bool show) = 0;

    // --- Radio buttons ---
    virtual void SetCheck(int id, bool checked) = 0;
    virtual bool IsChecked(int id) = 0;

    // --- List box ---
    virtual void ListReset(int id) = 0;
    // Appends an item; returns its index.
    virtual int ListAdd(int id, const std::string& text) = 0;
    // Inserts an item before `index` (at the end for an index equal to the count); returns its
    // index, or kNoItem when `index` is out of range.
    virtual int ListInsert(int id, int index, const std::string& text) = 0;
    // Deletes an item; returns the count left, or kNoItem when `index` is out of range. A
    // deleted selected item leaves the list without a selection.
    virtual int ListDelete(int id, int index) = 0;
    // The text of an item; "" when `index` is out of range.
    virtual std::string ListGetText(int id, int index) = 0;
    virtual int ListCount(int id) = 0;
    // The current selection, kNoItem for none.
    virtual int ListGetSelection(int id) = 0;
    // Selects an item; kNoItem or an index out of range clears the selection.
    virtual void ListSetSelection(int id, int index) = 0;
    // Sets the list's one tab stop, in dialog-template units.
    virtual void ListSetTabStop(int id, int dialogUnits) = 0;

    // --- Combo box (drop-down list with an edit field) ---
    // Removes every item and empties the edit field.
    virtual void ComboReset(int id) = 0;
    virtual int ComboAdd(int id, const std::string& text) = 0;
    // The text of the selected item; "" when nothing is selected.
    virtual std::string ComboSelectedText(int id) = 0;

    // --- Message boxes ---
    // Shows a modal box (flags as in platform/message_box.h) and returns the button pressed.
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;

    // --- The window ---
    virtual bool HasSystemMenu() = 0;
    virtual void AppendSystemMenuSeparator() = 0;
    virtual void AppendSystemMenuItem(unsigned commandId, const std::string& text) = 0;
    virtual void SetIcon(IconHandle icon, bool big) = 0;
    // Repaints the window at once.
    virtual void Repaint() = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // --- Progress bar ---
    virtual void ProgressSetRange(int id, int lower, int upper) = 0;
    virtual void ProgressSetPosition(int id, int position) = 0;

    // --- Painting a minimised window (the dialog's paint handler) ---
    virtual bool IsMinimized() = 0;
    virtual Size ClientSize() = 0;
    virtual Size SystemIconSize() = 0;
    virtual void EraseIconBackground() = 0;
    virtual void DrawIcon(int x, int y, IconHandle icon) = 0;
};

// Makes the view for one modal run of a dialog; null when the dialog cannot be shown.
using DialogViewFactory = std::function<std::unique_ptr<DialogView>(CDialog& dialog)>;

// Installs the factory that CDialog::DoModal() uses and returns the former one. Without a
// factory DoModal() fails (returns -1).
DialogViewFactory SetDialogViewFactory(DialogViewFactory factory);
std::unique_ptr<DialogView> MakeDialogView(CDialog& dialog);

}  // namespace platform
