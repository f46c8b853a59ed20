#include "platform/dialog.h"

#include <cctype>
#include <cstdint>
#include <limits>
#include <mutex>
#include <utility>

#include "platform/message_box.h"

namespace platform {

// --- View factory --------------------------------------------------------------------------------

namespace {

// The warning icon of the data exchange's own boxes.
constexpr unsigned kIconExclamation = 0x30;

struct FactoryState {
    std::mutex mutex;
    DialogViewFactory factory;
};

FactoryState& Factory() {
    static FactoryState state;
    return state;
}

}  // namespace

DialogViewFactory SetDialogViewFactory(DialogViewFactory factory) {
    FactoryState& f = Factory();
    std::lock_guard lock(f.mutex);
    DialogViewFactory former = std::move(f.factory);
    f.factory = std::move(factory);
    return former;
}

std::unique_ptr<DialogView> MakeDialogView(CDialog& dialog) {
    DialogViewFactory factory;
    {
        FactoryState& f = Factory();
        std::lock_guard lock(f.mutex);
        factory = f.factory;
    }
    return factory ? factory(dialog) : nullptr;
}

// --- Numbers -------------------------------------------------------------------------------------

int32_t ParseLeadingInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulated in 64 bits and held once past the 32-bit range, so no digit count overflows.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) return static_cast<int32_t>(-value);  // -2^31 at most
    return value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                       : static_cast<int32_t>(value);
}

// --- Controls ------------------------------------------------------------------------------------

DialogView* CWndItem::View() const {
    return owner ? owner->View() : nullptr;
}

std::string CWndItem::GetWindowText() const {
    DialogView* v = View();
    return v ? v->GetText(id) : std::string();
}

void CWndItem::SetWindowText(const std::string& text) const {
    if (DialogView* v = View()) v->SetText(id, text);
}

void CWndItem::EnableWindow(bool enable) const {
    if (DialogView* v = View()) v->Enable(id, enable);
}

void CWndItem::SetFocus() const {
    if (DialogView* v = View()) v->SetFocus(id);
}

void CWndItem::ShowWindow(bool show) const {
    if (DialogView* v = View()) v->Show(id, show);
}

void CEdit::LimitText(size_t maximum) const {
    if (DialogView* v = View()) v->SetTextLimit(Id(), maximum);
}

void CButton::SetCheck(bool checked) const {
    if (DialogView* v = View()) v->SetCheck(Id(), checked);
}

bool CButton::GetCheck() const {
    DialogView* v = View();
    return v && v->IsChecked(Id());
}

void CListBox::ResetContent() const {
    if (DialogView* v = View()) v->ListReset(Id());
}

int CListBox::AddString(const std::string& text) const {
    DialogView* v = View();
    return v ? v->ListAdd(Id(), text) : kNoItem;
}

int CListBox::InsertString(int index, const std::string& text) const {
    DialogView* v = View();
    return v ? v->ListInsert(Id(), index, text) : kNoItem;
}

int CListBox::DeleteString(int index) const {
    DialogView* v = View();
    return v ? v->ListDelete(Id(), index) : kNoItem;
}

std::string CListBox::GetText(int index) const {
    DialogView* v = View();
    return v ? v->ListGetText(Id(), index) : std::string();
}

int CListBox::GetCount() const {
    DialogView* v = View();
    return v ? v->ListCount(Id()) : 0;
}

int CListBox::GetCurSel() const {
    DialogView* v = View();
    return v ? v->ListGetSelection(Id()) : kNoItem;
}

void CListBox::SetCurSel(int index) const {
    if (DialogView* v = View()) v->ListSetSelection(Id(), index);
}

void CListBox::SetTabStop(int dialogUnits) const {
    if (DialogView* v = View()) v->ListSetTabStop(Id(), dialogUnits);
}

void CComboBox::ResetContent() const {
    if (DialogView* v = View()) v->ComboReset(Id());
}

int CComboBox::AddString(const std::string& text) const {
    DialogView* v = View();
    return v ? v->ComboAdd(Id(), text) : kNoItem;
}

std::string CComboBox::GetSelectedText() const {
    DialogView* v = View();
    return v ? v->ComboSelectedText(Id()) : std::string();
}

void CProgressCtrl::SetRange(int lower, int upper) const {
    if (DialogView* v = View()) v->ProgressSetRange(Id(), lower, upper);
}

void CProgressCtrl::SetPos(int position) const {
    if (DialogView* v = View()) v->ProgressSetPosition(Id(), position);
}

// --- Data exchange -------------------------------------------------------------------------------

void DataExchange::Fail(int controlId) {
    failed = true;
    if (DialogView* v = dialog.View()) v->SetFocus(controlId);
}

void DDX_Control(DataExchange& dx, int id, CWndItem& control) {
    dx.SetLastControl(id);
    if (!control.IsBound()) control.Bind(dx.Dialog(), id);
}

void DDX_Text(DataExchange& dx, int id, uint32_t& value) {
    dx.SetLastControl(id);
    DialogView* v = dx.Dialog().View();
    if (!v) return;
    if (!dx.SaveAndValidate()) {
        v->SetText(id, std::to_string(value));
        return;
    }
    const std::string text = v->GetText(id);
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) {
        dx.Dialog().View()->MessageBox("Please enter an unsigned integer.", AppName(),
                                       kIconExclamation);
        dx.Fail(id);
        return;
    }
    value = static_cast<uint32_t>(ParseLeadingInt(text));
}

void DDV_MinMaxUInt(DataExchange& dx, uint32_t value, uint32_t minimum, uint32_t maximum) {
    if (!dx.SaveAndValidate() || dx.Failed()) return;
    if (value >= minimum && value <= maximum) return;
    if (DialogView* v = dx.Dialog().View()) {
        v->MessageBox("Please enter an integer between " + std::to_string(minimum) + " and " +
                          std::to_string(maximum) + ".",
                      AppName(), kIconExclamation);
    }
    dx.Fail(dx.LastControl());
}

// --- The dialog ----------------------------------------------------------------------------------

CDialog::CDialog(int id) : templateId(id) {}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
    std::unique_ptr<DialogView> v = MakeDialogView(*this);
    if (!v) return -1;
    return DoModal(*v);
}

int CDialog::DoModal(DialogView& v) {
    ended = false;
    result = -1;
    return v.RunModal(*this);
}

void CDialog::EndDialog(int value) {
    ended = true;
    result = value;
    if (attachedView) attachedView->EndModal(value);
}

bool CDialog::BeginModal(DialogView& v) {
    attachedView = &v;
    ended = false;
    result = -1;
    return OnInitDialog();
}

void CDialog::FinishModal() {
    attachedView = nullptr;
}

bool CDialog::Dispatch(DialogMessage& message) {
    for (const MessageEntry& entry : GetMessageMap()) {
        if (entry.event != message.event) continue;
        if (entry.controlId != kAnyControl && entry.controlId != message.controlId) continue;
        entry.handler(*this, message);
        return true;
    }
    switch (message.event) {
        case DialogEvent::Clicked:
            if (message.controlId == kIdOk) OnOK();
            if (message.controlId == kIdCancel) OnCancel();
            break;
        case DialogEvent::SysCommand:
            DefaultSysCommand(message.command, message.param);
            break;
        default:
            break;
    }
    return false;
}

std::optional<Rgb> CDialog::TextBackground(int controlId) {
    DialogMessage message;
    message.event = DialogEvent::CtlColor;
    message.controlId = controlId;
    Dispatch(message);
    return message.textBackground;
}

const CDialog::MessageMap& CDialog::GetMessageMap() const {
    static const MessageMap empty;
    return empty;
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::DoDataExchange(DataExchange&) {}

void CDialog::OnOK() {
    if (UpdateData(true)) EndDialog(kIdOk);
}

void CDialog::OnCancel() {
    EndDialog(kIdCancel);
}

void CDialog::DefaultSysCommand(unsigned command, intptr_t) {
    if ((command & 0xFFF0) == kScClose) OnCancel();
}

bool CDialog::UpdateData(bool saveAndValidate) {
    DataExchange dx(*this, saveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

int CDialog::AppMessageBox(const std::string& text, unsigned flags) {
    if (!attachedView) return platform::AppMessageBox(text, flags);
    return attachedView->MessageBox(text, AppName(), flags);
}

}  // namespace platform
