#include "ui/headless/headless_host.h"

#include <algorithm>

#include "platform/message_box.h"

namespace headless {

using platform::DialogEvent;
using res::ControlKind;

namespace {

bool IsButton(ControlKind kind) {
    return kind == ControlKind::PushButton || kind == ControlKind::RadioButton;
}

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string CutTo(const std::string& text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace

HeadlessHost::~HeadlessHost() {
    if (dialog != nullptr) dialog->FinishModal();
}

// --- Running -------------------------------------------------------------------------------------

bool HeadlessHost::Open(platform::CDialog& target) {
    source = res::FindDialogTemplate(target.TemplateId());
    if (source == nullptr) return false;
    controls.clear();
    for (const res::ControlTemplate& c : source->controls) {
        if (c.id == res::kStaticId) continue;
        Control control;
        control.source = &c;
        control.text = std::string(c.text);
        control.enabled = (c.styles & res::style::kDisabled) == 0;
        control.visible = (c.styles & res::style::kHidden) == 0;
        controls[c.id] = std::move(control);
    }
    dialog = &target;
    ended = false;
    result = -1;
    focusRules.Reset();
    const bool focusFirst = dialog->BeginModal(*this);
    if (ended) return false;
    if (focusFirst) {
        for (const res::ControlTemplate& c : source->controls) {
            const Control* control = Find(c.id);
            if (control != nullptr && (c.styles & res::style::kTabStop) != 0 && control->enabled &&
                control->visible) {
                focusRules.MoveTo(c.id);
                break;
            }
        }
    }
    return !ended;
}

int HeadlessHost::Close() {
    if (dialog == nullptr) return result;
    if (!ended) PressEscape();
    dialog->FinishModal();
    dialog = nullptr;
    return result;
}

int HeadlessHost::RunModal(platform::CDialog& target) {
    if (!Open(target)) {
        if (source == nullptr) return -1;
        return Close();
    }
    for (size_t i = 0; i < steps.size() && IsRunning(); ++i) steps[i](*this);
    return Close();
}

void HeadlessHost::EndModal(int value) {
    ended = true;
    result = value;
}

void HeadlessHost::Dispatch(DialogEvent event, int id) {
    if (!IsRunning()) return;
    platform::DialogMessage message;
    message.event = event;
    message.controlId = id;
    dialog->Dispatch(message);
}

// --- Focus ---------------------------------------------------------------------------------------

void HeadlessHost::SetFocus(int id) {
    if (Find(id) != nullptr) focusRules.Set(id);
}

// --- The user's actions --------------------------------------------------------------------------

HeadlessHost::Control* HeadlessHost::Reachable(int id) {
    if (!IsRunning()) return nullptr;
    Control* control = Find(id);
    if (control == nullptr || !control->enabled || !control->visible) return nullptr;
    return control;
}

bool HeadlessHost::MoveFocus(int id) {
    if (Reachable(id) == nullptr) return false;
    focusRules.MoveTo(id);
    return Focus() == id;
}

bool HeadlessHost::Type(int id, const std::string& text) {
    Control* control = Reachable(id);
    if (control == nullptr || control->source->kind != ControlKind::Edit ||
        (control->source->styles & res::style::kReadOnly) != 0) {
        return false;
    }
    // The move's focus-lost handler may have disabled the edit: it then takes no keystrokes.
    if (!MoveFocus(id) || Reachable(id) == nullptr) return false;
    control->text = control->limit ? CutTo(text, *control->limit) : text;
    return true;
}

bool HeadlessHost::Click(int id) {
    Control* control = Reachable(id);
    if (control == nullptr || !IsButton(control->source->kind)) return false;
    // A button that the move's focus-lost handler disabled or hid gets no click.
    if (!focusRules.MoveForPress(id) || Reachable(id) == nullptr) return false;
    if (control->source->kind == ControlKind::RadioButton) {
        // The group: from the nearest radio button marked as a group's first, up to the next
        // control that is not a radio button or starts another group.
        const auto& all = source->controls;
        const auto self = std::find_if(all.begin(), all.end(),
                                       [id](const res::ControlTemplate& c) { return c.id == id; });
        auto first = self;
        while (first != all.begin() && (first->styles & res::style::kGroup) == 0 &&
               std::prev(first)->kind == ControlKind::RadioButton) {
            --first;
        }
        for (auto it = first; it != all.end() && it->kind == ControlKind::RadioButton; ++it) {
            if (it != first && (it->styles & res::style::kGroup) != 0) break;
            controls[it->id].checked = it->id == id;
        }
    }
    Dispatch(DialogEvent::Clicked, id);
    return true;
}

bool HeadlessHost::SelectListItem(int id, int index) {
    Control* control = Reachable(id);
    if (control == nullptr || control->source->kind != ControlKind::ListBox) return false;
    if (index < 0 || index >= static_cast<int>(control->items.size())) return false;
    if (!focusRules.MoveForPress(id)) return false;
    // The move's focus-lost handler may have refilled the list: a click where no item is left
    // selects nothing.
    if (Reachable(id) == nullptr || index >= static_cast<int>(control->items.size())) {
        return false;
    }
    control->selection = index;
    Dispatch(DialogEvent::SelChange, id);
    return true;
}

bool HeadlessHost::DropDown(int id) {
    Control* control = Reachable(id);
    if (control == nullptr || control->source->kind != ControlKind::ComboBox) return false;
    if (!focusRules.MoveForPress(id)) return false;
    Dispatch(DialogEvent::DropDown, id);
    return true;
}

bool HeadlessHost::ChooseComboItem(int id, int index) {
    if (!DropDown(id)) return false;
    Control& control = controls[id];
    if (index < 0 || index >= static_cast<int>(control.items.size())) return false;
    control.selection = index;
    control.text = control.items[static_cast<size_t>(index)];
    Dispatch(DialogEvent::SelChange, id);
    return true;
}

bool HeadlessHost::ChooseComboItem(int id, const std::string& text) {
    if (!DropDown(id)) return false;
    Control& control = controls[id];
    const auto it = std::find(control.items.begin(), control.items.end(), text);
    if (it == control.items.end()) return false;
    control.selection = static_cast<int>(it - control.items.begin());
    control.text = *it;
    Dispatch(DialogEvent::SelChange, id);
    return true;
}

bool HeadlessHost::PressEscape() {
    if (!IsRunning()) return false;
    Dispatch(DialogEvent::Clicked, platform::kIdCancel);
    return true;
}

bool HeadlessHost::SystemCommand(unsigned command, intptr_t param) {
    if (!IsRunning()) return false;
    platform::DialogMessage message;
    message.event = DialogEvent::SysCommand;
    message.command = command;
    message.param = param;
    dialog->Dispatch(message);
    return true;
}

void HeadlessHost::Paint() {
    Dispatch(DialogEvent::Paint, 0);
}

platform::IconHandle HeadlessHost::QueryDragIcon() {
    if (!IsRunning()) return 0;
    platform::DialogMessage message;
    message.event = DialogEvent::QueryDragIcon;
    dialog->Dispatch(message);
    return message.icon;
}

// --- Reading -------------------------------------------------------------------------------------

HeadlessHost::Control* HeadlessHost::Find(int id) {
    const auto it = controls.find(id);
    return it == controls.end() ? nullptr : &it->second;
}

const HeadlessHost::Control* HeadlessHost::Find(int id) const {
    const auto it = controls.find(id);
    return it == controls.end() ? nullptr : &it->second;
}

HeadlessHost::Control* HeadlessHost::FindKind(int id, ControlKind kind) {
    Control* control = Find(id);
    return control != nullptr && control->source->kind == kind ? control : nullptr;
}

const HeadlessHost::Control* HeadlessHost::FindKind(int id, ControlKind kind) const {
    const Control* control = Find(id);
    return control != nullptr && control->source->kind == kind ? control : nullptr;
}

std::string HeadlessHost::Text(int id) const {
    const Control* control = Find(id);
    return control ? control->text : std::string();
}

bool HeadlessHost::Enabled(int id) const {
    const Control* control = Find(id);
    return control != nullptr && control->enabled;
}

bool HeadlessHost::Visible(int id) const {
    const Control* control = Find(id);
    return control != nullptr && control->visible;
}

bool HeadlessHost::Checked(int id) const {
    const Control* control = Find(id);
    return control != nullptr && control->checked;
}

std::vector<std::string> HeadlessHost::Items(int id) const {
    const Control* control = Find(id);
    return control ? control->items : std::vector<std::string>();
}

int HeadlessHost::Selection(int id) const {
    const Control* control = Find(id);
    return control ? control->selection : platform::kNoItem;
}

std::optional<size_t> HeadlessHost::TextLimit(int id) const {
    const Control* control = Find(id);
    return control ? control->limit : std::nullopt;
}

std::optional<int> HeadlessHost::TabStop(int id) const {
    const Control* control = Find(id);
    return control ? control->tabStop : std::nullopt;
}

std::optional<platform::Rgb> HeadlessHost::TextBackground(int id) const {
    if (dialog == nullptr || Find(id) == nullptr) return std::nullopt;
    return dialog->TextBackground(id);
}

std::pair<int, int> HeadlessHost::ProgressRange(int id) const {
    const Control* control = Find(id);
    return control ? std::pair{control->lower, control->upper} : std::pair{0, 0};
}

int HeadlessHost::ProgressPosition(int id) const {
    const Control* control = Find(id);
    return control ? control->position : 0;
}

// --- platform::DialogView: controls --------------------------------------------------------------

std::string HeadlessHost::GetText(int id) {
    return Text(id);
}

void HeadlessHost::SetText(int id, const std::string& text) {
    if (Control* control = Find(id)) control->text = text;
}

void HeadlessHost::SetTextLimit(int id, size_t maximum) {
    if (Control* control = FindKind(id, ControlKind::Edit)) control->limit = maximum;
}

void HeadlessHost::Enable(int id, bool enable) {
    if (Control* control = Find(id)) control->enabled = enable;
}

void HeadlessHost::Show(int id, bool show) {
    Control* control = Find(id);
    if (control == nullptr) return;
    control->visible = show;
    if (control->source->kind == ControlKind::ProgressBar) {
        progressEvents.push_back({show ? ProgressEvent::Kind::Shown : ProgressEvent::Kind::Hidden});
    }
}

void HeadlessHost::SetCheck(int id, bool checked) {
    if (Control* control = FindKind(id, ControlKind::RadioButton)) control->checked = checked;
}

bool HeadlessHost::IsChecked(int id) {
    return Checked(id);
}

void HeadlessHost::ListReset(int id) {
    if (Control* control = FindKind(id, ControlKind::ListBox)) {
        control->items.clear();
        control->selection = platform::kNoItem;
    }
}

int HeadlessHost::ListAdd(int id, const std::string& text) {
    Control* control = FindKind(id, ControlKind::ListBox);
    if (control == nullptr) return platform::kNoItem;
    control->items.push_back(text);
    return static_cast<int>(control->items.size()) - 1;
}

int HeadlessHost::ListInsert(int id, int index, const std::string& text) {
    Control* control = FindKind(id, ControlKind::ListBox);
    if (control == nullptr) return platform::kNoItem;
    const int count = static_cast<int>(control->items.size());
    if (index < 0 || index > count) return platform::kNoItem;
    control->items.insert(control->items.begin() + index, text);
    if (control->selection >= index) ++control->selection;
    return index;
}

int HeadlessHost::ListDelete(int id, int index) {
    Control* control = FindKind(id, ControlKind::ListBox);
    if (control == nullptr) return platform::kNoItem;
    const int count = static_cast<int>(control->items.size());
    if (index < 0 || index >= count) return platform::kNoItem;
    control->items.erase(control->items.begin() + index);
    if (control->selection == index) {
        control->selection = platform::kNoItem;
    } else if (control->selection > index) {
        --control->selection;
    }
    return count - 1;
}

std::string HeadlessHost::ListGetText(int id, int index) {
    const Control* control = FindKind(id, ControlKind::ListBox);
    if (control == nullptr || index < 0 || index >= static_cast<int>(control->items.size())) {
        return {};
    }
    return control->items[static_cast<size_t>(index)];
}

int HeadlessHost::ListCount(int id) {
    const Control* control = FindKind(id, ControlKind::ListBox);
    return control ? static_cast<int>(control->items.size()) : 0;
}

int HeadlessHost::ListGetSelection(int id) {
    const Control* control = FindKind(id, ControlKind::ListBox);
    return control ? control->selection : platform::kNoItem;
}

void HeadlessHost::ListSetSelection(int id, int index) {
    Control* control = FindKind(id, ControlKind::ListBox);
    if (control == nullptr) return;
    const bool valid = index >= 0 && index < static_cast<int>(control->items.size());
    control->selection = valid ? index : platform::kNoItem;
}

void HeadlessHost::ListSetTabStop(int id, int dialogUnits) {
    if (Control* control = FindKind(id, ControlKind::ListBox)) control->tabStop = dialogUnits;
}

void HeadlessHost::ComboReset(int id) {
    if (Control* control = FindKind(id, ControlKind::ComboBox)) {
        control->items.clear();
        control->selection = platform::kNoItem;
        control->text.clear();
    }
}

int HeadlessHost::ComboAdd(int id, const std::string& text) {
    Control* control = FindKind(id, ControlKind::ComboBox);
    if (control == nullptr) return platform::kNoItem;
    control->items.push_back(text);
    return static_cast<int>(control->items.size()) - 1;
}

std::string HeadlessHost::ComboSelectedText(int id) {
    const Control* control = FindKind(id, ControlKind::ComboBox);
    if (control == nullptr || control->selection < 0 ||
        control->selection >= static_cast<int>(control->items.size())) {
        return {};
    }
    return control->items[static_cast<size_t>(control->selection)];
}

// --- platform::DialogView: the window ------------------------------------------------------------

int HeadlessHost::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    focusRules.BoxShown();
    progressEvents.push_back({ProgressEvent::Kind::Box, static_cast<int>(boxes.size())});
    boxes.push_back({caption, text, flags});
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return platform::CautiousAnswer(flags);
}

void HeadlessHost::AppendSystemMenuSeparator() {
    if (hasSystemMenu) systemMenu.emplace_back(0u, std::string());
}

void HeadlessHost::AppendSystemMenuItem(unsigned commandId, const std::string& text) {
    if (hasSystemMenu) systemMenu.emplace_back(commandId, text);
}

void HeadlessHost::SetIcon(platform::IconHandle icon, bool big) {
    (big ? bigIcon : smallIcon) = icon;
}

void HeadlessHost::Repaint() {
    ++repaints;
    progressEvents.push_back({ProgressEvent::Kind::Repaint});
}

void HeadlessHost::BeginWaitCursor() {
    ++waitCursorDepth;
    progressEvents.push_back({ProgressEvent::Kind::WaitCursor});
}

void HeadlessHost::EndWaitCursor() {
    if (waitCursorDepth > 0) --waitCursorDepth;
    progressEvents.push_back({ProgressEvent::Kind::NormalCursor});
}

void HeadlessHost::ProgressSetRange(int id, int lower, int upper) {
    if (Control* control = FindKind(id, ControlKind::ProgressBar)) {
        control->lower = lower;
        control->upper = upper;
        progressEvents.push_back({ProgressEvent::Kind::Range, lower, upper});
    }
}

void HeadlessHost::ProgressSetPosition(int id, int position) {
    if (Control* control = FindKind(id, ControlKind::ProgressBar)) {
        // A bar shows no more than full and no less than empty.
        control->position =
            std::clamp(position, control->lower, std::max(control->lower, control->upper));
        progressEvents.push_back({ProgressEvent::Kind::Position, control->position});
    }
}

void HeadlessHost::DrawIcon(int x, int y, platform::IconHandle icon) {
    drawnIcons.push_back({x, y, icon});
}

// --- Dialogs run through DoModal() ---------------------------------------------------------------

HeadlessDialogs::HeadlessDialogs(HeadlessHost::Step script) {
    auto log = templatesRun;
    former = platform::SetDialogViewFactory(
        [log, script](platform::CDialog& dialog) -> std::unique_ptr<platform::DialogView> {
            log->push_back(dialog.TemplateId());
            auto host = std::make_unique<HeadlessHost>();
            if (script) host->AddStep(script);
            return host;
        });
}

HeadlessDialogs::~HeadlessDialogs() {
    platform::SetDialogViewFactory(std::move(former));
}

}  // namespace headless
