#include "qt/dialog_window.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "qt/controls.h"
#include "qt/icons.h"

namespace qtfront {
namespace {

using res::ControlKind;
namespace style = res::style;

QString TextOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool Has(const res::ControlTemplate& control, uint32_t styleBit) {
    return (control.styles & styleBit) != 0;
}

}  // namespace

QString DialogWindow::ObjectName(int id) {
    return QStringLiteral("control%1").arg(id);
}

QString DialogWindow::WindowObjectName(int templateId) {
    return QStringLiteral("dialog%1").arg(templateId);
}

DialogWindow::DialogWindow(const res::DialogTemplate& dialogTemplate, Handlers eventHandlers)
    : source(dialogTemplate), handlers(std::move(eventHandlers)) {
    const bool appWindow = (source.frameStyles & res::frame::kAppWindow) != 0;
    // An application window shows on the task bar; the other dialogs are plain dialogs.
    Qt::WindowFlags flags =
        (appWindow ? Qt::Window : Qt::Dialog) | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if ((source.frameStyles & res::frame::kSystemMenu) != 0) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    setWindowFlags(flags);
    setObjectName(WindowObjectName(source.id));
    setWindowTitle(TextOf(source.caption));
    setFont(DialogFont(source));
    units = DialogBaseUnits(font());
    setFixedSize(HorizontalPixels(source.width, units), VerticalPixels(source.height, units));

    QButtonGroup* group = nullptr;
    QWidget* previousTabStop = nullptr;
    for (const res::ControlTemplate& control : source.controls) {
        QWidget* widget = MakeControl(control);
        if (control.kind == ControlKind::RadioButton) {
            if (group == nullptr || Has(control, style::kGroup)) {
                group = new QButtonGroup(this);
                group->setExclusive(true);
                radioGroups.push_back(group);
            }
            group->addButton(static_cast<QRadioButton*>(widget));
            groupOf.insert(control.id, group);
        } else {
            group = nullptr;
        }
        if (control.id != res::kStaticId) {
            widget->setObjectName(ObjectName(control.id));
            controls[control.id] = widget;
            idOf.insert(widget, control.id);
        }
        if (Has(control, style::kTabStop)) {
            if (previousTabStop != nullptr) setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        }
        if (Has(control, style::kDisabled)) widget->setEnabled(false);
        if (Has(control, style::kHidden)) widget->hide();
    }
    // Frames lie under the controls they surround.
    for (QGroupBox* frame : findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) frame->lower();
}

DialogWindow::~DialogWindow() = default;

QWidget* DialogWindow::MakeControl(const res::ControlTemplate& control) {
    const QRect place = ToPixels(control.place, units);
    const QString text = TextOf(control.text);
    const Qt::FocusPolicy clickFocus =
        Has(control, style::kTabStop) ? Qt::StrongFocus : Qt::ClickFocus;
    const int id = control.id;
    QWidget* widget = nullptr;

    switch (control.kind) {
        case ControlKind::Edit: {
            auto* edit = new TemplateEdit(this, Has(control, style::kReadOnly),
                                          Has(control, style::kDigitsOnly));
            edit->setText(text);
            edit->setAlignment(Has(control, style::kAlignRight) ? Qt::AlignRight : Qt::AlignLeft);
            edit->setFrame(true);
            edit->SetBackgroundQuery([this, id] {
                return handlers.textBackground ? handlers.textBackground(id) : std::nullopt;
            });
            edit->setFocusPolicy(clickFocus);
            widget = edit;
            widget->setGeometry(place);
            break;
        }
        case ControlKind::ComboBox: {
            auto* combo = new TemplateComboBox(this);
            combo->setFocusPolicy(clickFocus);
            combo->SetDropDown([this, id] {
                if (handlers.dropDown) handlers.dropDown(id);
            });
            combo->SetChosen([this, id] {
                if (handlers.selChange) handlers.selChange(id);
            });
            // The template's height is that of the dropped-down list; the closed box is as high
            // as the edits beside it.
            const int closedHeight = VerticalPixels(12, units) + 2;
            const int itemHeight = std::max(1, combo->fontMetrics().height() + 2);
            combo->setMaxVisibleItems(std::max(1, (place.height() - closedHeight) / itemHeight));
            widget = combo;
            widget->setGeometry(place.x(), place.y(), place.width(), closedHeight);
            break;
        }
        case ControlKind::ListBox: {
            auto* list = new TemplateListBox(this, units);
            list->setVerticalScrollBarPolicy(
                Has(control, style::kVScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
            list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            list->setFrameShape(Has(control, style::kBorder) ? QFrame::StyledPanel
                                                             : QFrame::NoFrame);
            list->SetSelectionChanged([this, id] {
                if (handlers.selChange) handlers.selChange(id);
            });
            list->setFocusPolicy(clickFocus);
            widget = list;
            widget->setGeometry(place);
            break;
        }
        case ControlKind::PushButton: {
            auto* button = new QPushButton(text, this);
            button->setDefault(Has(control, style::kDefault));
            button->setAutoDefault(false);
            button->setFocusPolicy(clickFocus);
            connect(button, &QPushButton::clicked, this, [this, id] {
                if (handlers.clicked) handlers.clicked(id);
            });
            widget = button;
            widget->setGeometry(place);
            break;
        }
        case ControlKind::RadioButton: {
            auto* radio = new QRadioButton(text, this);
            radio->setFocusPolicy(clickFocus);
            connect(radio, &QRadioButton::clicked, this, [this, id] {
                if (handlers.clicked) handlers.clicked(id);
            });
            widget = radio;
            widget->setGeometry(place);
            break;
        }
        case ControlKind::Text: {
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(
                (Has(control, style::kAlignRight) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
            widget = label;
            widget->setGeometry(place);
            break;
        }
        case ControlKind::GroupBox: {
            auto* frame = new QGroupBox(text, this);
            frame->setAttribute(Qt::WA_TransparentForMouseEvents);
            frame->setFocusPolicy(Qt::NoFocus);
            widget = frame;
            widget->setGeometry(place);
            break;
        }
        case ControlKind::Icon: {
            // An icon shows at its own size at the control's place.
            auto* label = new QLabel(this);
            const QPixmap pixmap = IconPixmap(text.toInt());
            label->setPixmap(pixmap);
            widget = label;
            widget->setGeometry(place.x(), place.y(), pixmap.width(), pixmap.height());
            break;
        }
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(this);
            bar->setRange(0, 100);
            bar->setValue(0);
            bar->setTextVisible(false);
            widget = bar;
            widget->setGeometry(place);
            break;
        }
    }
    return widget;
}

QWidget* DialogWindow::Control(int id) const {
    const auto it = controls.find(id);
    return it == controls.end() ? nullptr : it->second;
}

std::optional<int> DialogWindow::ControlOf(const QWidget* widget) const {
    for (; widget != nullptr && widget != this; widget = widget->parentWidget()) {
        const auto it = idOf.constFind(widget);
        if (it != idOf.constEnd()) return it.value();
        if (widget->isWindow()) break;
    }
    return std::nullopt;
}

std::vector<int> DialogWindow::TabStops() const {
    std::vector<int> ids;
    for (const res::ControlTemplate& control : source.controls) {
        if (control.id != res::kStaticId && Has(control, style::kTabStop))
            ids.push_back(control.id);
    }
    return ids;
}

std::optional<int> DialogWindow::DefaultButton() const {
    for (const res::ControlTemplate& control : source.controls) {
        if (control.kind == ControlKind::PushButton && Has(control, style::kDefault)) {
            return control.id;
        }
    }
    return std::nullopt;
}

void DialogWindow::SetRadioCheck(int id, bool checked) {
    auto* radio = qobject_cast<QRadioButton*>(Control(id));
    if (radio == nullptr) return;
    QButtonGroup* group = groupOf.value(id, nullptr);
    // An exclusive group keeps its checked button checked: the program may clear it all the same.
    if (group != nullptr && !checked) group->setExclusive(false);
    radio->setChecked(checked);
    if (group != nullptr && !checked) group->setExclusive(true);
}

void DialogWindow::reject() {
    if (handlers.cancel) handlers.cancel();
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    // The dialog decides whether it ends; the window is taken down by whoever runs it.
    event->ignore();
    if (handlers.close) handlers.close();
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (handlers.systemMenu) handlers.systemMenu(event->globalPos());
    event->accept();
}

void DialogWindow::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (handlers.paint) {
        QPainter painter(this);
        handlers.paint(painter);
    }
}

}  // namespace qtfront
