#include "qt/widget_dialog_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "qt/controls.h"
#include "qt/icons.h"
#include "qt/message_boxes.h"
#include "res/resources.h"

namespace qtfront {

using platform::DialogEvent;

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

WidgetDialogView::WidgetDialogView() = default;

WidgetDialogView::~WidgetDialogView() {
    if (dialog != nullptr) {
        dialog->FinishModal();
        dialog = nullptr;
    }
    QObject::disconnect(focusConnection);
    if (qApp != nullptr) qApp->removeEventFilter(this);
    while (waitCursorDepth > 0) EndWaitCursor();
}

// --- Running -------------------------------------------------------------------------------------

DialogWindow::Handlers WidgetDialogView::MakeHandlers() {
    DialogWindow::Handlers h;
    h.clicked = [this](int id) { Dispatch(DialogEvent::Clicked, id); };
    h.selChange = [this](int id) { Dispatch(DialogEvent::SelChange, id); };
    h.dropDown = [this](int id) { Dispatch(DialogEvent::DropDown, id); };
    h.cancel = [this] { Dispatch(DialogEvent::Clicked, platform::kIdCancel); };
    h.close = [this] { SystemCommand(platform::kScClose); };
    h.systemMenu = [this](QPoint position) { ShowSystemMenu(position); };
    h.textBackground = [this](int id) -> std::optional<platform::Rgb> {
        return dialog != nullptr ? dialog->TextBackground(id) : std::nullopt;
    };
    h.paint = [this](QPainter& p) {
        painter = &p;
        Dispatch(DialogEvent::Paint, 0);
        painter = nullptr;
    };
    return h;
}

bool WidgetDialogView::Open(platform::CDialog& target) {
    const res::DialogTemplate* source = res::FindDialogTemplate(target.TemplateId());
    if (source == nullptr) return false;
    // The owner to activate again afterwards: the active window, else the dialog opened last
    // (a dialog without a parent belongs to the program's main window).
    formerActiveWindow = QApplication::activeWindow();
    if (!formerActiveWindow || !formerActiveWindow->isVisible() ||
        formerActiveWindow->windowType() == Qt::Popup) {
        formerActiveWindow.clear();
        for (QWidget* other : QApplication::topLevelWidgets()) {
            if (other->isVisible() && dynamic_cast<DialogWindow*>(other) != nullptr) {
                formerActiveWindow = other;
            }
        }
    }
    window = std::make_unique<DialogWindow>(*source, MakeHandlers());
    window->setWindowModality(Qt::ApplicationModal);
    dialog = &target;
    ended = false;
    result = -1;
    focusRules.Reset();
    menuItems.clear();
    qApp->installEventFilter(this);
    focusConnection =
        QObject::connect(qApp, &QApplication::focusChanged, this,
                         [this](QWidget* old, QWidget* now) { QtFocusChanged(old, now); });

    opening = true;
    const bool focusFirst = dialog->BeginModal(*this);
    if (!ended) {
        window->show();
        window->raise();
        window->activateWindow();
    }
    opening = false;
    if (!ended && focusFirst) {
        for (int id : window->TabStops()) {
            QWidget* control = Control(id);
            if (control->isEnabled() && control->isVisible()) {
                focusRules.MoveTo(id);
                break;
            }
        }
    }
    return !ended;
}

int WidgetDialogView::Close() {
    if (dialog == nullptr) return result;
    if (!ended) Dispatch(DialogEvent::Clicked, platform::kIdCancel);
    dialog->FinishModal();
    dialog = nullptr;
    QObject::disconnect(focusConnection);
    qApp->removeEventFilter(this);
    while (waitCursorDepth > 0) EndWaitCursor();
    if (window) {
        window->hide();
        window.reset();
    }
    // The window that was active before the dialog opened is active again, as the owner of a
    // dialog becomes when the dialog goes.
    if (formerActiveWindow && formerActiveWindow->isVisible()) formerActiveWindow->activateWindow();
    formerActiveWindow.clear();
    return result;
}

int WidgetDialogView::RunModal(platform::CDialog& target) {
    if (!Open(target)) {
        if (dialog == nullptr) return -1;  // no such template
        return Close();
    }
    QEventLoop local;
    loop = &local;
    if (!ended) local.exec(QEventLoop::DialogExec);
    loop = nullptr;
    return Close();
}

void WidgetDialogView::EndModal(int value) {
    ended = true;
    result = value;
    if (loop != nullptr) loop->exit(value);
}

void WidgetDialogView::Dispatch(DialogEvent event, int id) {
    if (!IsRunning()) return;
    platform::DialogMessage message;
    message.event = event;
    message.controlId = id;
    dialog->Dispatch(message);
}

void WidgetDialogView::SystemCommand(unsigned command) {
    if (!IsRunning()) return;
    platform::DialogMessage message;
    message.event = DialogEvent::SysCommand;
    message.command = command;
    dialog->Dispatch(message);
}

// --- Focus ---------------------------------------------------------------------------------------

void WidgetDialogView::ApplyFocus(int id) {
    QWidget* control = Control(id);
    if (control == nullptr) return;
    ++applyingFocus;
    control->setFocus(Qt::OtherFocusReason);
    --applyingFocus;
}

void WidgetDialogView::SetFocus(int id) {
    if (Control(id) != nullptr) focusRules.Set(id);
}

void WidgetDialogView::QtFocusChanged(QWidget* old, QWidget* now) {
    if (applyingFocus > 0 || opening || focusRules.InFocusLost() || !IsRunning()) return;
    const std::optional<int> target = ControlIn(now);
    const std::optional<int> focus = focusRules.Current();
    if (!target || target == focus) return;
    if (!ControlIn(old) && old != window.get()) {
        // The window got the focus back (from a message box, another window): it returns to
        // the control that held it, whatever Qt chose.
        if (focus) {
            ApplyFocus(*focus);
        } else {
            focusRules.SetQuietly(*target);
        }
        return;
    }
    focusRules.MoveTo(*target);
}

std::optional<int> WidgetDialogView::ControlIn(const QObject* object) const {
    if (!window || object == nullptr || !object->isWidgetType()) return std::nullopt;
    const auto* widget = static_cast<const QWidget*>(object);
    if (widget->window() != window.get()) return std::nullopt;
    return window->ControlOf(widget);
}

// --- Input the dialog sees before the widgets ----------------------------------------------------

bool WidgetDialogView::eventFilter(QObject* watched, QEvent* event) {
    if (!IsRunning()) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            // Qt has moved the focus for this press already (the dialog saw that move).
            const std::optional<int> id = ControlIn(watched);
            if (!id) return false;
            QWidget* control = Control(*id);
            if ((control->focusPolicy() & Qt::ClickFocus) == 0) return false;
            return !focusRules.PressGoesOn(*id) || !control->isEnabled() || !control->isVisible();
        }
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!watched->isWidgetType() ||
                static_cast<QWidget*>(watched)->window() != window.get()) {
                return false;
            }
            const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                modifiers == Qt::NoModifier) {
                PressEnter();
                return true;
            }
            if (key->key() == Qt::Key_Space && modifiers == Qt::AltModifier) {
                ShowSystemMenu(window->mapToGlobal(QPoint(0, 0)));
                return true;
            }
            return false;
        }
        default:
            return false;
    }
}

void WidgetDialogView::PressEnter() {
    if (const std::optional<int> focus = focusRules.Current()) {
        auto* focused = qobject_cast<QPushButton*>(Control(*focus));
        if (focused != nullptr && focused->isEnabled() && focused->isVisible()) {
            focused->click();
            return;
        }
    }
    const std::optional<int> id = window->DefaultButton();
    if (!id) return;
    auto* button = qobject_cast<QPushButton*>(Control(*id));
    if (button == nullptr || !button->isEnabled() || !button->isVisible()) return;
    if (focusRules.MoveForPress(*id) && IsRunning() && button->isEnabled()) button->click();
}

void WidgetDialogView::ShowSystemMenu(QPoint globalPosition) {
    if (!IsRunning() || !HasSystemMenu()) return;
    QMenu menu(window.get());
    QAction* close = menu.addAction(QObject::tr("&Close") + QStringLiteral("\tAlt+F4"));
    close->setData(platform::kScClose);
    for (const auto& [command, text] : menuItems) {
        if (command == 0 && text.empty()) {
            menu.addSeparator();
        } else {
            menu.addAction(Q(text))->setData(command);
        }
    }
    const QAction* chosen = menu.exec(globalPosition);
    // Some platforms give a popup the window focus; the dialog is the active window again.
    window->activateWindow();
    if (chosen != nullptr && chosen->data().isValid()) SystemCommand(chosen->data().toUInt());
}

// --- Any control ---------------------------------------------------------------------------------

std::string WidgetDialogView::GetText(int id) {
    QWidget* control = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text().toStdString();
    if (auto* combo = qobject_cast<QComboBox*>(control)) return combo->currentText().toStdString();
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        return button->text().toStdString();
    }
    return {};
}

void WidgetDialogView::SetText(int id, const std::string& text) {
    QWidget* control = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(Q(text));
        edit->setCursorPosition(0);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        combo->setEditText(Q(text));
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(Q(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(Q(text));
    }
}

void WidgetDialogView::SetTextLimit(int id, size_t maximum) {
    if (auto* edit = dynamic_cast<TemplateEdit*>(Control(id))) edit->SetByteLimit(maximum);
}

template <class Change>
void WidgetDialogView::KeepingFocus(Change change) {
    ++applyingFocus;
    change();
    --applyingFocus;
}

void WidgetDialogView::Enable(int id, bool enable) {
    if (QWidget* control = Control(id)) KeepingFocus([&] { control->setEnabled(enable); });
}

void WidgetDialogView::Show(int id, bool show) {
    if (QWidget* control = Control(id)) KeepingFocus([&] { control->setVisible(show); });
}

// --- Radio buttons -------------------------------------------------------------------------------

void WidgetDialogView::SetCheck(int id, bool checked) {
    if (window) window->SetRadioCheck(id, checked);
}

bool WidgetDialogView::IsChecked(int id) {
    const auto* radio = qobject_cast<QRadioButton*>(Control(id));
    return radio != nullptr && radio->isChecked();
}

// --- List box ------------------------------------------------------------------------------------

namespace {

TemplateListBox* ListOf(QWidget* control) {
    return dynamic_cast<TemplateListBox*>(control);
}

}  // namespace

void WidgetDialogView::ListReset(int id) {
    if (TemplateListBox* list = ListOf(Control(id))) list->clear();
}

int WidgetDialogView::ListAdd(int id, const std::string& text) {
    TemplateListBox* list = ListOf(Control(id));
    if (list == nullptr) return platform::kNoItem;
    list->addItem(Q(text));
    return list->count() - 1;
}

int WidgetDialogView::ListInsert(int id, int index, const std::string& text) {
    TemplateListBox* list = ListOf(Control(id));
    if (list == nullptr || index < 0 || index > list->count()) return platform::kNoItem;
    const int selection = list->Selection();
    list->insertItem(index, Q(text));
    list->SetSelection(selection != platform::kNoItem && selection >= index ? selection + 1
                                                                            : selection);
    return index;
}

int WidgetDialogView::ListDelete(int id, int index) {
    TemplateListBox* list = ListOf(Control(id));
    if (list == nullptr || index < 0 || index >= list->count()) return platform::kNoItem;
    const int selection = list->Selection();
    delete list->takeItem(index);
    if (selection == index) {
        list->SetSelection(platform::kNoItem);
    } else {
        list->SetSelection(selection > index ? selection - 1 : selection);
    }
    return list->count();
}

std::string WidgetDialogView::ListGetText(int id, int index) {
    TemplateListBox* list = ListOf(Control(id));
    if (list == nullptr || index < 0 || index >= list->count()) return {};
    return list->item(index)->text().toStdString();
}

int WidgetDialogView::ListCount(int id) {
    TemplateListBox* list = ListOf(Control(id));
    return list ? list->count() : 0;
}

int WidgetDialogView::ListGetSelection(int id) {
    TemplateListBox* list = ListOf(Control(id));
    return list ? list->Selection() : platform::kNoItem;
}

void WidgetDialogView::ListSetSelection(int id, int index) {
    if (TemplateListBox* list = ListOf(Control(id))) list->SetSelection(index);
}

void WidgetDialogView::ListSetTabStop(int id, int dialogUnits) {
    if (TemplateListBox* list = ListOf(Control(id))) list->SetTabStop(dialogUnits);
}

// --- Combo box -----------------------------------------------------------------------------------

void WidgetDialogView::ComboReset(int id) {
    if (auto* combo = dynamic_cast<TemplateComboBox*>(Control(id))) combo->Reset();
}

int WidgetDialogView::ComboAdd(int id, const std::string& text) {
    auto* combo = dynamic_cast<TemplateComboBox*>(Control(id));
    return combo ? combo->Add(Q(text)) : platform::kNoItem;
}

std::string WidgetDialogView::ComboSelectedText(int id) {
    auto* combo = dynamic_cast<TemplateComboBox*>(Control(id));
    return combo ? combo->SelectedText().toStdString() : std::string();
}

// --- The window ----------------------------------------------------------------------------------

int WidgetDialogView::MessageBox(const std::string& text, const std::string& caption,
                                 unsigned flags) {
    focusRules.BoxShown();
    QWidget* parent = window && window->isVisible() ? window.get() : nullptr;
    return RunMessageBox(parent, caption, text, flags);
}

bool WidgetDialogView::HasSystemMenu() {
    return window && (window->Source().frameStyles & res::frame::kSystemMenu) != 0;
}

void WidgetDialogView::AppendSystemMenuSeparator() {
    if (HasSystemMenu()) menuItems.emplace_back(0u, std::string());
}

void WidgetDialogView::AppendSystemMenuItem(unsigned commandId, const std::string& text) {
    if (HasSystemMenu()) menuItems.emplace_back(commandId, text);
}

void WidgetDialogView::SetIcon(platform::IconHandle icon, bool) {
    // One icon serves the title bar and the task bar at every size.
    if (window) window->setWindowIcon(WindowIcon(icon));
}

void WidgetDialogView::Repaint() {
    // Painted now, not when the event loop next runs: a build does not return to it.
    if (window) window->repaint();
}

void WidgetDialogView::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++waitCursorDepth;
}

void WidgetDialogView::EndWaitCursor() {
    if (waitCursorDepth == 0) return;
    QApplication::restoreOverrideCursor();
    --waitCursorDepth;
}

void WidgetDialogView::ProgressSetRange(int id, int lower, int upper) {
    if (auto* bar = qobject_cast<QProgressBar*>(Control(id))) {
        bar->setRange(lower, std::max(lower, upper));
    }
}

void WidgetDialogView::ProgressSetPosition(int id, int position) {
    // Held inside the range, as a progress bar does: Qt would ignore a value outside it.
    if (auto* bar = qobject_cast<QProgressBar*>(Control(id))) {
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
    }
}

bool WidgetDialogView::IsMinimized() {
    return window && window->isMinimized();
}

platform::Size WidgetDialogView::ClientSize() {
    if (!window) return {};
    return {window->width(), window->height()};
}

void WidgetDialogView::EraseIconBackground() {
    if (painter != nullptr && window) {
        painter->fillRect(window->rect(), window->palette().color(QPalette::Window));
    }
}

void WidgetDialogView::DrawIcon(int x, int y, platform::IconHandle icon) {
    if (painter != nullptr) painter->drawPixmap(x, y, IconPixmap(icon));
}

}  // namespace qtfront
