#include "qt/testing/window_driver.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "platform/message_box.h"

namespace qtfront::testing {
namespace {

constexpr int kPollMs = 5;

// Window activation is asynchronous: a person clicks into a window once it shows as active.
void WaitForActive(QWidget* widget) {
    if (widget != nullptr) {
        QWidget* window = widget->window();
        if (!WaitUntil([window] { return window->isActiveWindow(); }, 2000)) {
            qWarning() << "window driver:" << window << "did not become active";
        }
    }
}

QWidget* FocusOrActive() {
    if (!WaitUntil([] { return QApplication::activeWindow() != nullptr; }, 2000)) {
        qWarning() << "window driver: no window became active";
    }
    if (QWidget* focused = QApplication::focusWidget()) return focused;
    return QApplication::activeWindow();
}

int ButtonIdOf(const QAbstractButton* button) {
    return button ? button->property("buttonId").toInt() : 0;
}

}  // namespace

DialogWindow* FindDialog(int templateId) {
    DialogWindow* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() &&
            widget->objectName() == DialogWindow::WindowObjectName(templateId)) {
            found = dynamic_cast<DialogWindow*>(widget);
        }
    }
    return found;
}

QWidget* FindControl(int templateId, int id) {
    DialogWindow* window = FindDialog(templateId);
    return window ? window->Control(id) : nullptr;
}

void When(std::function<bool()> ready, std::function<void()> action, int timeoutMs) {
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(
        timer, &QTimer::timeout, timer,
        [timer, clock, timeoutMs, ready = std::move(ready), action = std::move(action)] {
            if (ready()) {
                timer->stop();
                timer->deleteLater();
                action();
            } else if (clock->elapsed() > timeoutMs) {
                timer->stop();
                timer->deleteLater();
            }
        });
    timer->start(kPollMs);
}

bool WaitUntil(const std::function<bool()>& ready, int timeoutMs) {
    return QTest::qWaitFor(ready, timeoutMs);
}

QMessageBox* ActiveMessageBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    return box != nullptr && box->isVisible() ? box : nullptr;
}

SeenBox Describe(const QMessageBox& box) {
    SeenBox seen;
    seen.caption = box.windowTitle();
    seen.text = box.text();
    seen.icon = box.icon();
    for (const QAbstractButton* button : box.buttons()) seen.buttons.push_back(ButtonIdOf(button));
    seen.defaultButton = ButtonIdOf(box.defaultButton());
    return seen;
}

BoxAnswerer::BoxAnswerer(std::vector<int> buttonIds)
    : answers(std::move(buttonIds)), timer(new QTimer) {
    QObject::connect(timer, &QTimer::timeout, timer, [this] { Poll(); });
    timer->start(kPollMs);
}

BoxAnswerer::~BoxAnswerer() {
    delete timer;
}

void BoxAnswerer::Poll() {
    QMessageBox* box = ActiveMessageBox();
    if (box == nullptr || box->property("answered").toBool()) return;
    box->setProperty("answered", true);
    seen.push_back(Describe(*box));
    const std::vector<int>& offered = seen.back().buttons;
    const bool question =
        std::find(offered.begin(), offered.end(), platform::IDNO) != offered.end();
    int wanted = platform::CautiousAnswer(question ? platform::MB_YESNO : platform::MB_OK);
    if (!answers.empty()) {
        wanted = answers.front();
        answers.erase(answers.begin());
    }
    QAbstractButton* target = nullptr;
    for (QAbstractButton* button : box->buttons()) {
        if (ButtonIdOf(button) == wanted) target = button;
    }
    if (target == nullptr) target = box->buttons().value(0);
    QTest::mouseClick(target, Qt::LeftButton);
}

std::vector<QString> BoxAnswerer::Texts() const {
    std::vector<QString> texts;
    for (const SeenBox& box : seen) texts.push_back(box.text);
    return texts;
}

void Click(QWidget* widget) {
    WaitForActive(widget);
    QTest::mouseClick(widget, Qt::LeftButton);
}

void RightClick(QWidget* widget, QPoint position) {
    WaitForActive(widget);
    QTest::mouseClick(widget, Qt::RightButton, Qt::NoModifier, position);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, position, widget->mapToGlobal(position));
    QApplication::sendEvent(widget, &menu);
}

void TypeInto(QWidget* edit, const QString& text) {
    Click(edit);
    QWidget* target = FocusOrActive();
    QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) {
        QTest::keyClick(target, Qt::Key_Delete);
    } else {
        QTest::keyClicks(target, text);
    }
}

void PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(FocusOrActive(), key, modifiers);
}

bool ChooseComboItem(QComboBox* combo, const QString& text) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    const QRect arrow = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxArrow, combo);
    QTest::mouseClick(combo, Qt::LeftButton, Qt::NoModifier, arrow.center());
    QAbstractItemView* view = combo->view();
    if (!WaitUntil([view] { return view->isVisible(); }, 2000)) return false;
    const int row = combo->findText(text, Qt::MatchExactly);
    if (row < 0) {
        combo->hidePopup();
        return false;
    }
    // The list ignores a release that comes right after it opened (press, drag, release).
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QRect item = view->visualRect(combo->model()->index(row, 0));
    QTest::mouseMove(view->viewport(), item.center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
    return WaitUntil([view] { return !view->isVisible(); }, 2000);
}

void ClickListItem(QListWidget* list, int row) {
    const QRect item = list->visualItemRect(list->item(row));
    WaitForActive(list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
}

}  // namespace qtfront::testing
