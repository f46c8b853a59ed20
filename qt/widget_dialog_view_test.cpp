// The dialog view on real widgets, driven with simulated keys and mouse: the focus rules (moves
// inside the dialog only, a refusing handler's box, lost clicks), Enter, Escape and the close
// button, list and combo notifications, the system menu and the about box, the placeholder
// colours, and what a build uses (progress bar, repaint, wait cursor).
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "platform/message_box.h"
#include "qt/testing/scripted_dialog.h"
#include "res/resources.h"

using D = COrdelinDlg;
using platform::DialogEvent;
using platform::DialogMessage;
using qtfront::WidgetDialogView;
using qtfront::testing::BoxAnswerer;
using qtfront::testing::Click;
using qtfront::testing::PressKey;
using qtfront::testing::ScriptedDialog;
using qtfront::testing::TypeInto;
using qtfront::testing::When;
using Events = std::vector<std::string>;

namespace {

// A dialog of template 102 that records the events it receives.
class RecordingDialog : public platform::CDialog {
  public:
    RecordingDialog() : CDialog(res::kMainDialog) {}

    Events events;
    int refuseLeaving = 0;     // leaving this control shows a box and puts the focus back
    int disableOnLeaving = 0;  // leaving any control disables this one

  protected:
    const MessageMap& GetMessageMap() const override {
        using R = RecordingDialog;
        using E = DialogEvent;
        static const MessageMap map{
            Entry<R>(E::KillFocus, platform::kAnyControl, &R::OnKill),
            Entry<R>(E::SetFocus, platform::kAnyControl, &R::OnSet),
            Entry<R>(E::Clicked, platform::kAnyControl, &R::OnClick),
            Entry<R>(E::SelChange, platform::kAnyControl, &R::OnSelChange),
            Entry<R>(E::DropDown, platform::kAnyControl, &R::OnDropDown),
            Entry<R>(E::SysCommand, platform::kAnyControl, &R::OnSysCommand),
        };
        return map;
    }

    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        View()->Enable(D::kBuildFile, true);
        for (const char* item : {"0\t4", "4\t4", "8\t2"}) View()->ListAdd(D::kKeyFieldList, item);
        return true;
    }

  private:
    void Record(const char* what, const DialogMessage& m) {
        events.push_back(std::string(what) + " " + std::to_string(m.controlId));
    }
    void OnKill(DialogMessage& m) {
        Record("kill", m);
        if (disableOnLeaving != 0) View()->Enable(disableOnLeaving, false);
        if (m.controlId == refuseLeaving) {
            AppMessageBox("Refused.", platform::MB_OK);
            View()->SetFocus(m.controlId);
        }
    }
    void OnSet(DialogMessage& m) { Record("set", m); }
    void OnClick(DialogMessage& m) {
        Record("click", m);
        if (m.controlId == platform::kIdCancel) EndDialog(platform::kIdCancel);
    }
    void OnSelChange(DialogMessage& m) {
        Record("select", m);
        if (m.controlId == D::kKeyFieldList) {
            events.back() += " " + std::to_string(View()->ListGetSelection(m.controlId));
        }
    }
    void OnDropDown(DialogMessage& m) {
        Record("dropdown", m);
        View()->ComboReset(m.controlId);
        View()->ComboAdd(m.controlId, "DAT");
        View()->ComboAdd(m.controlId, "OUT");
    }
    void OnSysCommand(DialogMessage& m) {
        events.push_back("sys " + std::to_string(m.command));
        DefaultSysCommand(m.command, m.param);
    }
};

// A recording dialog open in an active window.
struct RecordingRun {
    RecordingDialog dialog;
    WidgetDialogView view;
    bool Open() {
        if (!view.Open(dialog)) return false;
        QWidget* window = view.Window();
        return qtfront::testing::WaitUntil([window] { return window->isActiveWindow(); });
    }
    QWidget* Control(int id) { return view.Control(id); }
    int WidgetFocus() const {
        return view.Window()->ControlOf(QApplication::focusWidget()).value_or(0);
    }
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Runs `inspect` on the system menu once it shows, then closes it with Escape (or clicks the
// item whose text starts with `choose`).
void WhenMenuShows(std::function<void(QMenu&)> inspect, QString choose = {}) {
    When([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
         [inspect = std::move(inspect), choose] {
             auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
             inspect(*menu);
             for (QAction* action : menu->actions()) {
                 if (!choose.isEmpty() && action->text().startsWith(choose)) {
                     QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                                       menu->actionGeometry(action).center());
                     return;
                 }
             }
             QTest::keyClick(menu, Qt::Key_Escape);
         });
}

QStringList MenuTexts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        texts.push_back(action->isSeparator() ? QStringLiteral("--") : action->text());
    }
    return texts;
}

}  // namespace

class WidgetDialogViewTest : public QObject {
    Q_OBJECT

  private slots:
    // Focus rules, on a dialog that records its events.
    void focusMovesReachTheDialogInOrder();
    void refusedMoveSwallowsTheClick();
    void clickOnAButtonTheMoveDisabledIsLost();
    void enterValidatesThenClicksTheDefaultButton();
    void escapeAndCloseButtonCancel();
    void listAndComboReportTheUsersChoices();
    // The main dialog itself.
    void keySizeRefusalWithABoxOpen();
    void windowDeactivationIsNoFocusMove();
    void placeholderColours();
    void systemMenuHoldsCloseAndAbout();
    void progressBarRepaintAndWaitCursor();
};

void WidgetDialogViewTest::focusMovesReachTheDialogInOrder() {
    RecordingRun run;
    QVERIFY(run.Open());
    QCOMPARE(run.dialog.events, Events{"set 1025"});

    run.dialog.events.clear();
    PressKey(Qt::Key_Tab);
    Click(run.Control(D::kOutputKeySize));
    QCOMPARE(run.dialog.events, (Events{"kill 1025", "set 1026", "kill 1026", "set 1028"}));
    QCOMPARE(run.view.Focus(), std::optional<int>(D::kOutputKeySize));
    QCOMPARE(run.WidgetFocus(), int(D::kOutputKeySize));

    // A click on a button moves the focus first, then clicks.
    run.dialog.events.clear();
    Click(run.Control(D::kAddKeyField));
    QCOMPARE(run.dialog.events, (Events{"kill 1028", "set 1004", "click 1004"}));
}

void WidgetDialogViewTest::refusedMoveSwallowsTheClick() {
    RecordingRun run;
    BoxAnswerer boxes;
    QVERIFY(run.Open());
    Click(run.Control(D::kOutputKeySize));
    run.dialog.refuseLeaving = D::kOutputKeySize;
    run.dialog.events.clear();

    // The box takes the focus and gives it back: neither reaches the dialog; the click is lost.
    Click(run.Control(D::kAddKeyField));
    QCOMPARE(run.dialog.events, Events{"kill 1028"});
    QCOMPARE(boxes.Texts(), std::vector<QString>{QStringLiteral("Refused.")});
    QCOMPARE(run.view.Focus(), std::optional<int>(D::kOutputKeySize));
    QVERIFY(qtfront::testing::WaitUntil([&] { return run.WidgetFocus() == D::kOutputKeySize; }));

    // By keyboard the same: Tab is refused, the focus stays.
    run.dialog.events.clear();
    PressKey(Qt::Key_Tab);
    QCOMPARE(run.dialog.events, Events{"kill 1028"});
    QCOMPARE(boxes.Seen().size(), size_t{2});
    QCOMPARE(run.view.Focus(), std::optional<int>(D::kOutputKeySize));

    // Once the handler lets it go, the focus moves and the click goes through.
    run.dialog.refuseLeaving = 0;
    run.dialog.events.clear();
    Click(run.Control(D::kAddKeyField));
    QCOMPARE(run.dialog.events, (Events{"kill 1028", "set 1004", "click 1004"}));
}

void WidgetDialogViewTest::clickOnAButtonTheMoveDisabledIsLost() {
    RecordingRun run;
    QVERIFY(run.Open());
    run.dialog.disableOnLeaving = D::kBuildFile;
    run.dialog.events.clear();
    Click(run.Control(D::kBuildFile));
    QCOMPARE(run.dialog.events, (Events{"kill 1025", "set 1"}));
    QVERIFY(!run.Control(D::kBuildFile)->isEnabled());
}

void WidgetDialogViewTest::enterValidatesThenClicksTheDefaultButton() {
    RecordingRun run;
    QVERIFY(run.Open());
    run.dialog.events.clear();
    // From an edit: the edit is left (its validation runs), then the default button clicks.
    PressKey(Qt::Key_Return);
    QCOMPARE(run.dialog.events, (Events{"kill 1025", "set 1", "click 1"}));

    // On a focused push button, Enter clicks that button.
    Click(run.Control(D::kAddKeyField));
    run.dialog.events.clear();
    PressKey(Qt::Key_Enter);
    QCOMPARE(run.dialog.events, Events{"click 1004"});

    // A refused validation keeps the focus and loses the click; a disabled default does nothing.
    BoxAnswerer boxes;
    Click(run.Control(D::kOutputFile));
    run.dialog.refuseLeaving = D::kOutputFile;
    run.dialog.events.clear();
    PressKey(Qt::Key_Return);
    QCOMPARE(run.dialog.events, Events{"kill 1025"});
    QCOMPARE(boxes.Seen().size(), size_t{1});
    run.dialog.refuseLeaving = 0;
    run.view.Enable(D::kBuildFile, false);
    run.dialog.events.clear();
    PressKey(Qt::Key_Return);
    QCOMPARE(run.dialog.events, Events{});
    QVERIFY(run.view.IsRunning());
}

void WidgetDialogViewTest::escapeAndCloseButtonCancel() {
    {
        RecordingRun run;
        QVERIFY(run.Open());
        run.dialog.events.clear();
        PressKey(Qt::Key_Escape);
        QCOMPARE(run.dialog.events, Events{"click 2"});
        QVERIFY(!run.view.IsRunning());
        QCOMPARE(run.view.Close(), platform::kIdCancel);
    }
    {
        // The window's close button is the system menu's Close: the default processing cancels.
        RecordingRun run;
        QVERIFY(run.Open());
        run.dialog.events.clear();
        run.view.Window()->close();
        QCOMPARE(run.dialog.events, Events{"sys " + std::to_string(platform::kScClose)});
        QVERIFY(!run.view.IsRunning());
        QVERIFY(run.view.Window()->isVisible());  // the runner takes it down
        QCOMPARE(run.view.Close(), platform::kIdCancel);
        QVERIFY(run.view.Window() == nullptr);
    }
}

void WidgetDialogViewTest::listAndComboReportTheUsersChoices() {
    RecordingRun run;
    QVERIFY(run.Open());
    auto* list = qobject_cast<QListWidget*>(run.Control(D::kKeyFieldList));
    run.dialog.events.clear();

    qtfront::testing::ClickListItem(list, 1);
    PressKey(Qt::Key_Down);
    qtfront::testing::ClickListItem(list, 2);  // the item already selected: reported again
    QCOMPARE(run.dialog.events,
             (Events{"kill 1025", "set 1002", "select 1002 1", "select 1002 2", "select 1002 2"}));

    // The program's own changes are not reported; a click below the items changes nothing.
    run.dialog.events.clear();
    run.view.ListSetSelection(D::kKeyFieldList, 0);
    QCOMPARE(run.view.ListGetSelection(D::kKeyFieldList), 0);
    run.view.ListDelete(D::kKeyFieldList, 0);
    QCOMPARE(run.view.ListGetSelection(D::kKeyFieldList), platform::kNoItem);
    run.view.ListSetSelection(D::kKeyFieldList, 1);
    QCOMPARE(run.view.ListInsert(D::kKeyFieldList, 0, "20\t2"), 0);
    QCOMPARE(run.view.ListGetSelection(D::kKeyFieldList), 2);
    QCOMPARE(run.view.ListGetText(D::kKeyFieldList, 2), std::string("8\t2"));
    QCOMPARE(run.view.ListInsert(D::kKeyFieldList, 9, "x"), platform::kNoItem);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(5, list->viewport()->height() - 3));
    QCOMPARE(run.dialog.events, Events{});
    QCOMPARE(run.view.ListGetSelection(D::kKeyFieldList), 2);

    // The combo box: told before its list drops down, then of the choice; the field shows the
    // choice, never an item nobody chose.
    auto* combo = qobject_cast<QComboBox*>(run.Control(D::kOutputDirectory));
    run.dialog.events.clear();
    QVERIFY(qtfront::testing::ChooseComboItem(combo, QStringLiteral("OUT")));
    QCOMPARE(run.dialog.events, (Events{"kill 1002", "set 1026", "dropdown 1026", "select 1026"}));
    QCOMPARE(run.view.ComboSelectedText(D::kOutputDirectory), std::string("OUT"));
    QCOMPARE(combo->currentText(), QStringLiteral("OUT"));
    run.view.ComboReset(D::kOutputDirectory);
    run.view.ComboAdd(D::kOutputDirectory, "DAT");
    QCOMPARE(combo->currentText(), QString());
    QCOMPARE(run.view.ComboSelectedText(D::kOutputDirectory), std::string());
}

void WidgetDialogViewTest::keySizeRefusalWithABoxOpen() {
    ScriptedDialog run;
    BoxAnswerer boxes;
    QVERIFY(run.Open(4, 100, 12));
    TypeInto(run.Control(D::kFieldLength), QStringLiteral("8"));
    Click(run.Control(D::kAddKeyField));
    QCOMPARE(run.dialog->keyBytesDefined, 8);

    // Below the bytes defined: one plain box, the focus back on the key size edit, the click on
    // Add Key Field lost (no second field, no box of its own), Build File disabled.
    TypeInto(run.Control(D::kOutputKeySize), QStringLiteral("4"));
    Click(run.Control(D::kAddKeyField));
    QCOMPARE(boxes.Texts(),
             std::vector<QString>{QStringLiteral(
                 "Output key size cannot be less than total of key fields defined.")});
    QCOMPARE(boxes.Seen()[0].icon, QMessageBox::NoIcon);
    QCOMPARE(boxes.Seen()[0].buttons, std::vector<int>{platform::IDOK});
    QCOMPARE(run.view->Focus(), std::optional<int>(D::kOutputKeySize));
    QVERIFY(qtfront::testing::WaitUntil([&] { return run.WidgetFocus() == D::kOutputKeySize; }));
    QCOMPARE(run.view->ListCount(D::kKeyFieldList), 1);
    QVERIFY(!run.Control(D::kBuildFile)->isEnabled());
    QCOMPARE(run.dialog->outputKeySize, 12u);

    // Typing on goes into the key size edit; a valid size lets the focus go.
    TypeInto(run.Control(D::kOutputKeySize), QStringLiteral("8"));
    PressKey(Qt::Key_Tab);
    QCOMPARE(boxes.Seen().size(), size_t{1});
    QCOMPARE(run.dialog->outputKeySize, 8u);
    QCOMPARE(run.view->Focus(), std::optional<int>(D::kFieldPosition));
}

void WidgetDialogViewTest::windowDeactivationIsNoFocusMove() {
    ScriptedDialog run;
    QVERIFY(run.Open(4, 100, 8));
    auto* fromKey = run.ControlAs<QLineEdit>(D::kFromKey);
    Click(fromKey);
    QCOMPARE(fromKey->text(), QString());  // the placeholder went when the edit got the focus

    // The about box takes the window's focus: the edit is not left, its placeholder not put
    // back, and it holds the focus again afterwards without gaining it anew.
    QString textWhileAboutShows = QStringLiteral("unseen");
    When([] { return qtfront::testing::FindDialog(res::kAboutDialog) != nullptr; },
         [&] {
             textWhileAboutShows = fromKey->text();
             Click(qtfront::testing::FindControl(res::kAboutDialog, platform::kIdOk));
         });
    WhenMenuShows([](QMenu&) {}, QStringLiteral("&About"));
    PressKey(Qt::Key_Space, Qt::AltModifier);
    QCOMPARE(textWhileAboutShows, QString());
    QCOMPARE(run.view->Focus(), std::optional<int>(D::kFromKey));
    QVERIFY(qtfront::testing::WaitUntil([&] { return run.WidgetFocus() == D::kFromKey; }));
    QCOMPARE(fromKey->text(), QString());

    PressKey(Qt::Key_Tab);
    QCOMPARE(fromKey->text(), QStringLiteral("< First Key >"));
}

void WidgetDialogViewTest::placeholderColours() {
    ScriptedDialog run;
    QVERIFY(run.Open(4, 100, 8));
    const QColor yellow(250, 247, 131);
    const QColor white(255, 255, 255);
    // The colour behind the text as the edit paints (a point to the right of any text).
    auto painted = [&](int id) {
        QWidget* edit = run.Control(id);
        const QImage image = edit->grab().toImage();
        return image.pixelColor(image.width() - 6, image.height() / 2);
    };
    QCOMPARE(painted(D::kFromKey), yellow);
    QCOMPARE(painted(D::kToKey), yellow);
    QCOMPARE(painted(D::kOutputFile), white);

    TypeInto(run.Control(D::kFromKey), QStringLiteral("C"));
    QCOMPARE(painted(D::kFromKey), white);
    PressKey(Qt::Key_Tab);
    QCOMPARE(painted(D::kFromKey), white);
    QCOMPARE(painted(D::kToKey), white);  // the To Key edit has the focus now, empty

    // Left empty: the placeholder is back, coloured; typed by hand, it counts as the placeholder.
    TypeInto(run.Control(D::kFromKey), QString());
    PressKey(Qt::Key_Tab);
    QCOMPARE(run.ControlAs<QLineEdit>(D::kFromKey)->text(), QStringLiteral("< First Key >"));
    QCOMPARE(painted(D::kFromKey), yellow);
    TypeInto(run.Control(D::kToKey), QStringLiteral("< Last Key >"));
    PressKey(Qt::Key_Tab);
    QCOMPARE(painted(D::kToKey), yellow);
    QVERIFY(run.dialog->toKeyPlaceholderShown);
}

void WidgetDialogViewTest::systemMenuHoldsCloseAndAbout() {
    ScriptedDialog run;
    QVERIFY(run.Open(4, 100, 8));
    const QStringList expected{QStringLiteral("&Close\tAlt+F4"), QStringLiteral("--"),
                               QStringLiteral("&About Ordelin...")};

    QStringList byKeyboard;
    WhenMenuShows([&](QMenu& menu) { byKeyboard = MenuTexts(menu); });
    PressKey(Qt::Key_Space, Qt::AltModifier);
    QCOMPARE(byKeyboard, expected);

    // A right click on the dialog (not on a control) shows the same menu; Close ends the dialog.
    QStringList byMouse;
    WhenMenuShows([&](QMenu& menu) { byMouse = MenuTexts(menu); }, QStringLiteral("&Close"));
    QWidget* window = run.view->Window();
    qtfront::testing::RightClick(window, QPoint(4, window->height() - 4));
    QCOMPARE(byMouse, expected);
    QVERIFY(!run.view->IsRunning());
    QCOMPARE(run.view->Close(), platform::kIdCancel);
}

void WidgetDialogViewTest::progressBarRepaintAndWaitCursor() {
    ScriptedDialog run;
    QVERIFY(run.Open(4, 100, 8));
    auto* bar = run.ControlAs<QProgressBar>(D::kProgress);
    PaintCounter counter;
    bar->installEventFilter(&counter);

    // Shown and repainted at once, without the event loop running (as inside a build).
    run.view->Show(D::kProgress, true);
    run.view->Repaint();
    QVERIFY(bar->isVisible());
    QVERIFY(counter.paints > 0);

    // Each step paints at once; a position past the range shows the bar full.
    run.view->ProgressSetRange(D::kProgress, 0, 10);
    int paints = counter.paints;
    run.view->ProgressSetPosition(D::kProgress, 3);
    QCOMPARE(bar->value(), 3);
    QVERIFY(counter.paints > paints);
    run.view->ProgressSetPosition(D::kProgress, 1001);
    QCOMPARE(bar->value(), 10);
    run.view->Show(D::kProgress, false);
    QVERIFY(!bar->isVisible());
    bar->removeEventFilter(&counter);

    QVERIFY(QApplication::overrideCursor() == nullptr);
    run.view->BeginWaitCursor();
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    run.view->EndWaitCursor();
    QVERIFY(QApplication::overrideCursor() == nullptr);
    run.view->EndWaitCursor();  // unbalanced: nothing to restore
    // A dialog that ends with the wait cursor shown leaves the normal one behind.
    run.view->BeginWaitCursor();
    run.view->Close();
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

QTEST_MAIN(WidgetDialogViewTest)
#include "widget_dialog_view_test.moc"
