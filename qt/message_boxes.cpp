#include "qt/message_boxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QVariant>
#include <cstdio>

namespace qtfront {
namespace {

constexpr unsigned kButtonMask = 0xF;
constexpr unsigned kIconMask = 0xF0;
constexpr unsigned kDefaultMask = 0xF00;
constexpr const char* kButtonIdProperty = "buttonId";

QAbstractButton* AddButton(QMessageBox& box, int id) {
    QAbstractButton* button = nullptr;
    switch (id) {
        case platform::IDOK:
            button = box.addButton(QMessageBox::Ok);
            break;
        case platform::IDCANCEL:
            button = box.addButton(QMessageBox::Cancel);
            break;
        case kIdAbort:
            button = box.addButton(QMessageBox::Abort);
            break;
        case kIdRetry:
            button = box.addButton(QMessageBox::Retry);
            break;
        case kIdIgnore:
            button = box.addButton(QMessageBox::Ignore);
            break;
        case platform::IDYES:
            button = box.addButton(QMessageBox::Yes);
            break;
        case platform::IDNO:
            button = box.addButton(QMessageBox::No);
            break;
        case kIdTryAgain:
            button = box.addButton(QObject::tr("&Try Again"), QMessageBox::AcceptRole);
            break;
        case kIdContinue:
            button = box.addButton(QObject::tr("&Continue"), QMessageBox::AcceptRole);
            break;
        default:
            return nullptr;
    }
    button->setProperty(kButtonIdProperty, id);
    return button;
}

QMessageBox::Icon IconOf(unsigned flags) {
    switch (flags & kIconMask) {
        case 0x10:
            return QMessageBox::Critical;
        case 0x20:
            return QMessageBox::Question;
        case 0x30:
            return QMessageBox::Warning;
        case 0x40:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// The answer of a box that was closed without a button: what Escape gives.
int EscapeId(const std::vector<int>& ids) {
    for (int id : ids) {
        if (id == platform::IDCANCEL) return id;
    }
    if (ids.size() == 1) return ids.front();
    for (int id : ids) {
        if (id == platform::IDNO) return id;
    }
    return 0;
}

}  // namespace

std::vector<int> ButtonIds(unsigned flags) {
    using platform::IDCANCEL;
    using platform::IDNO;
    using platform::IDOK;
    using platform::IDYES;
    switch (flags & kButtonMask) {
        case 0x1:
            return {IDOK, IDCANCEL};
        case 0x2:
            return {kIdAbort, kIdRetry, kIdIgnore};
        case 0x3:
            return {IDYES, IDNO, IDCANCEL};
        case 0x4:
            return {IDYES, IDNO};
        case 0x5:
            return {kIdRetry, IDCANCEL};
        case 0x6:
            return {IDCANCEL, kIdTryAgain, kIdContinue};
        default:
            return {IDOK};
    }
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const std::string& caption,
                                            const std::string& text, unsigned flags) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(QString::fromStdString(caption));
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromStdString(text));
    box->setIcon(IconOf(flags));

    const std::vector<int> ids = ButtonIds(flags);
    std::vector<QAbstractButton*> buttons;
    for (int id : ids) buttons.push_back(AddButton(*box, id));
    const size_t defaultIndex = (flags & kDefaultMask) >> 8;
    auto* preferred =
        qobject_cast<QPushButton*>(buttons[defaultIndex < buttons.size() ? defaultIndex : 0]);
    box->setDefaultButton(preferred);
    const int escape = EscapeId(ids);
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] == escape) box->setEscapeButton(buttons[i]);
    }
    return box;
}

int PressedButtonId(const QMessageBox& box, unsigned flags) {
    if (const QAbstractButton* pressed = box.clickedButton()) {
        const QVariant id = pressed->property(kButtonIdProperty);
        if (id.isValid()) return id.toInt();
    }
    return EscapeId(ButtonIds(flags));
}

int RunMessageBox(QWidget* parent, const std::string& caption, const std::string& text,
                  unsigned flags) {
    if (parent == nullptr) parent = QApplication::activeWindow();
    const QPointer<QWidget> formerActive = parent;
    std::unique_ptr<QMessageBox> box = MakeMessageBox(parent, caption, text, flags);
    box->exec();
    const int pressed = PressedButtonId(*box, flags);
    box.reset();
    // The window the box came over is active again, as on a desktop whose window manager
    // activates the box's owner.
    if (formerActive && formerActive->isVisible()) formerActive->activateWindow();
    return pressed;
}

QtMessageBoxSink::QtMessageBoxSink(std::function<bool()> windowsAvailable)
    : available(std::move(windowsAvailable)) {}

int QtMessageBoxSink::Show(const std::string& caption, const std::string& text, unsigned flags) {
    if (available && available()) return RunMessageBox(nullptr, caption, text, flags);
    // No window can be shown: the box goes to standard error with the cautious answer.
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    const int escape = EscapeId(ButtonIds(flags));
    return escape != 0 ? escape : platform::IDOK;
}

}  // namespace qtfront
