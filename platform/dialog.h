// The dialog framework: a dialog base class built from a template id, run modally on a dialog
// view (platform/dialog_view.h), ended with a result, with data exchange between members and
// controls and a message map of (event, control id, handler) entries that the base dispatches.
//
// Life of a modal run: DoModal() asks the view factory for a view, whose RunModal() calls
// BeginModal() (attach, OnInitDialog), dispatches the user's events with Dispatch() until
// EndDialog() is called, then FinishModal() (detach). Everything runs on one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog_view.h"

namespace platform {

// Command ids of the standard buttons, as message boxes return them (platform/message_box.h).
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// The system menu's Close command.
constexpr unsigned kScClose = 0xF060;

enum class DialogEvent {
    SysCommand,     // a system-menu command: `command`, `param`
    Paint,          // the dialog needs painting
    QueryDragIcon,  // the dialog's drag icon is wanted: handler sets `icon`
    Clicked,        // a button was clicked
    SelChange,      // a list or combo box changed its selection
    DropDown,       // a combo box is about to show its list
    SetFocus,       // a control gained the focus
    KillFocus,      // a control lost the focus
    CtlColor,       // a child control is about to paint: handler may set `textBackground`
};

// A message map entry with this id matches the event from any control.
constexpr int kAnyControl = -1;

struct DialogMessage {
    DialogEvent event = DialogEvent::Paint;
    int controlId = 0;
    unsigned command = 0;               // SysCommand
    intptr_t param = 0;                 // SysCommand
    std::optional<Rgb> textBackground;  // CtlColor: the colour behind the control's text
    IconHandle icon = 0;                // QueryDragIcon
};

class CDialog;

// A control of a dialog, bound by id in DoDataExchange. Every operation goes to the dialog's
// view and does nothing (reads empty) while the dialog is not running.
class CWndItem {
  public:
    int Id() const { return id; }
    bool IsBound() const { return owner != nullptr; }
    void Bind(CDialog& dialog, int controlId) {
        owner = &dialog;
        id = controlId;
    }
    std::string GetWindowText() const;
    void SetWindowText(const std::string& text) const;
    void EnableWindow(bool enable) const;
    void SetFocus() const;
    void ShowWindow(bool show) const;

  protected:
    DialogView* View() const;

  private:
    CDialog* owner = nullptr;
    int id = 0;
};

class CEdit : public CWndItem {
  public:
    void LimitText(size_t maximum) const;
};

class CStatic : public CWndItem {};

class CButton : public CWndItem {
  public:
    void SetCheck(bool checked) const;
    bool GetCheck() const;
};

class CListBox : public CWndItem {
  public:
    void ResetContent() const;
    int AddString(const std::string& text) const;
    int InsertString(int index, const std::string& text) const;
    int DeleteString(int index) const;
    std::string GetText(int index) const;
    int GetCount() const;
    int GetCurSel() const;
    void SetCurSel(int index) const;
    void SetTabStop(int dialogUnits) const;
};

class CComboBox : public CWndItem {
  public:
    void ResetContent() const;
    int AddString(const std::string& text) const;
    std::string GetSelectedText() const;
};

class CProgressCtrl : public CWndItem {
  public:
    void SetRange(int lower, int upper) const;
    void SetPos(int position) const;
};

// One data exchange between a dialog's members and its controls.
class DataExchange {
  public:
    DataExchange(CDialog& target, bool saveAndValidate) : dialog(target), save(saveAndValidate) {}
    bool SaveAndValidate() const { return save; }
    CDialog& Dialog() const { return dialog; }
    // Marks the exchange as failed and puts the focus on the control concerned.
    void Fail(int controlId);
    bool Failed() const { return failed; }
    int LastControl() const { return lastControl; }
    void SetLastControl(int id) { lastControl = id; }

  private:
    CDialog& dialog;
    bool save;
    bool failed = false;
    int lastControl = 0;
};

void DDX_Control(DataExchange& dx, int id, CWndItem& control);
// Member to control: the number in decimal. Control to member: the number read by its leading
// digits (ParseLeadingInt); the exchange fails unless the text holds one.
void DDX_Text(DataExchange& dx, int id, uint32_t& value);
// Control to member only: fails with a message unless minimum <= value <= maximum.
void DDV_MinMaxUInt(DataExchange& dx, uint32_t value, uint32_t minimum, uint32_t maximum);

// Reads a decimal number by its leading characters: blanks, then an optional sign, then digits;
// reading stops at the first other character and text without digits reads as 0. Values beyond
// the 32-bit range are held at its ends.
int32_t ParseLeadingInt(const std::string& text);

class CDialog {
  public:
    explicit CDialog(int templateId);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    int TemplateId() const { return templateId; }

    // Runs the dialog modally on a view from the installed factory (SetDialogViewFactory);
    // returns the EndDialog result, or -1 when no view can be had.
    int DoModal();
    // Runs the dialog modally on the view given.
    int DoModal(DialogView& view);

    // Ends the modal run with `result` (takes effect when the current handler returns).
    void EndDialog(int result);
    bool IsEnded() const { return ended; }
    int ModalResult() const { return result; }

    // --- Called by the view's modal run ---
    // Attaches the view and runs OnInitDialog. Returns true when the view should put the focus
    // on the first tab stop. The run ends at once if the initialisation ended the dialog.
    bool BeginModal(DialogView& view);
    void FinishModal();
    // Sends a message through the message map: the first matching entry handles it; without
    // one the base's default processing applies (OK and Cancel end the dialog, the system
    // menu's Close cancels it). Returns true when an entry handled it.
    bool Dispatch(DialogMessage& message);
    // The background colour a child control's text wants (a CtlColor dispatch).
    std::optional<Rgb> TextBackground(int controlId);

    // The attached view; null outside a modal run.
    DialogView* View() const { return attachedView; }

  protected:
    struct MessageEntry {
        DialogEvent event;
        int controlId;
        std::function<void(CDialog&, DialogMessage&)> handler;
    };
    using MessageMap = std::vector<MessageEntry>;

    // The dialog's message map, in dispatch order. The base's is empty.
    virtual const MessageMap& GetMessageMap() const;
    // Runs UpdateData(false): the member-to-control exchange. Returns true (focus to the first
    // tab stop).
    virtual bool OnInitDialog();
    virtual void DoDataExchange(DataExchange& dx);
    virtual void OnOK();
    virtual void OnCancel();
    // Default processing of a system command no entry handled.
    virtual void DefaultSysCommand(unsigned command, intptr_t param);

    bool UpdateData(bool saveAndValidate);

    // Shows a message box captioned with the application's name and returns the button.
    int AppMessageBox(const std::string& text, unsigned flags);

    // Entry makers for a derived dialog D's message map.
    template <class D>
    static MessageEntry Entry(DialogEvent event, int controlId, void (D::*handler)()) {
        return {event, controlId,
                [handler](CDialog& d, DialogMessage&) { (static_cast<D&>(d).*handler)(); }};
    }
    template <class D>
    static MessageEntry Entry(DialogEvent event, int controlId,
                              void (D::*handler)(DialogMessage&)) {
        return {event, controlId,
                [handler](CDialog& d, DialogMessage& m) { (static_cast<D&>(d).*handler)(m); }};
    }

  private:
    int templateId;
    DialogView* attachedView = nullptr;
    bool ended = false;
    int result = -1;
};

}  // namespace platform
