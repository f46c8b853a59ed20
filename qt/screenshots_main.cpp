// ordelin-screenshots: pictures of the real window for the documentation. Starts the utility on
// a data file as the desktop's menu does when a file manager opens the file with it (the chooser
// given the file, answered with the directory name), then acts as a person would with simulated
// keys and mouse, and grabs the windows:
//   chooser.png          the questions before the start, the file given and the name offered
//   main-dialog.png      the main dialog as it opens
//   main-dialog-key.png  after an output key of city (bytes 61..78) and number (0..7) is defined
//   about-box.png        the about box, opened from the system menu
//   record-layout.png    the record layout window, opened from the system menu, with the
//                        copybook of the records open and the city chosen (with COPYBOOK)
//
//   ordelin-screenshots OUTPUT-FOLDER INPUT-FILE /DNAME [COPYBOOK]
//
// Run it on the offscreen platform (QT_QPA_PLATFORM=offscreen) or on any display.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTreeWidget>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "app/ordelin_app.h"
#include "platform/command_line_argv.h"
#include "qt/front_end.h"
#include "qt/record_layout_window.h"
#include "qt/start_chooser.h"
#include "qt/testing/window_driver.h"
#include "res/resources.h"
#include "talvo/talvolib.h"

namespace {

using D = COrdelinDlg;
namespace drive = qtfront::testing;

QString outputFolder;
QString copybookPath;
bool allSaved = true;

void Save(QWidget* window, const char* name) {
    const QString path = QDir(outputFolder).filePath(QString::fromUtf8(name));
    const bool saved = window != nullptr && window->grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path.toLocal8Bit().constData());
    allSaved = allSaved && saved;
}

QWidget* Main(int id) {
    return drive::FindControl(res::kMainDialog, id);
}

void DefineKey() {
    drive::TypeInto(Main(D::kOutputFile), QStringLiteral("CUSTCITY"));
    drive::TypeInto(Main(D::kOutputKeySize), QStringLiteral("26"));
    drive::TypeInto(Main(D::kFieldPosition), QStringLiteral("61"));
    drive::TypeInto(Main(D::kFieldLength), QStringLiteral("18"));
    drive::Click(Main(D::kAddKeyField));
    drive::TypeInto(Main(D::kFieldPosition), QStringLiteral("0"));
    drive::Click(Main(D::kAddKeyField));
    drive::ChooseComboItem(static_cast<QComboBox*>(Main(D::kOutputDirectory)),
                           QStringLiteral("DAT"));
}

void OpenAboutFromTheSystemMenu() {
    // The menu and then the about box run loops of their own: each step waits for its window.
    drive::When([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
                [] {
                    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                    for (QAction* action : menu->actions()) {
                        if (action->text().startsWith(QStringLiteral("&About"))) {
                            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                                              menu->actionGeometry(action).center());
                        }
                    }
                });
    drive::When([] { return drive::FindDialog(res::kAboutDialog) != nullptr; },
                [] {
                    Save(drive::FindDialog(res::kAboutDialog), "about-box.png");
                    drive::Click(drive::FindControl(res::kAboutDialog, platform::kIdOk));
                });
    drive::PressKey(Qt::Key_Space, Qt::AltModifier);
}

// Clicks the system menu's item whose text begins with `prefix`, once the menu shows; then
// opens the menu.
void ChooseFromTheSystemMenu(const QString& prefix) {
    drive::When([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
                [prefix] {
                    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                    for (QAction* action : menu->actions()) {
                        if (action->text().startsWith(prefix)) {
                            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                                              menu->actionGeometry(action).center());
                        }
                    }
                });
    drive::PressKey(Qt::Key_Space, Qt::AltModifier);
}

// The record layout window beside the dialog: the copybook opened, the third record's values
// shown, the city chosen (its position and length typed into the dialog's edits).
void ShowTheRecordLayout(COrdelinDlg& dialog) {
    ChooseFromTheSystemMenu(QStringLiteral("Record &Layout"));
    qtfront::RecordLayoutWindow* window =
        qtfront::FindRecordLayoutWindow(drive::FindDialog(res::kMainDialog));
    if (window == nullptr || !window->OpenCopybook(copybookPath).isEmpty()) {
        std::fputs("ordelin-screenshots: the record layout window did not show the copybook\n",
                   stderr);
        allSaved = false;
        return;
    }
    drive::WaitUntil([window] { return QApplication::activeWindow() == window; });
    auto* records = window->findChild<QPlainTextEdit*>(
        QLatin1String(qtfront::RecordLayoutWindow::kRecordsObjectName));
    const QTextBlock third = records->document()->findBlockByNumber(2 * 4);
    QTest::mouseClick(records->viewport(), Qt::LeftButton, Qt::NoModifier,
                      records->cursorRect(QTextCursor(third)).center());
    auto* fields = window->findChild<QTreeWidget*>(
        QLatin1String(qtfront::RecordLayoutWindow::kFieldsObjectName));
    const QList<QTreeWidgetItem*> city =
        fields->findItems(QStringLiteral("CUST-CITY"), Qt::MatchExactly | Qt::MatchRecursive);
    if (!city.isEmpty()) {
        const QRect row = fields->visualItemRect(city.front());
        QTest::mouseClick(fields->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(std::min(row.center().x(), fields->viewport()->width() / 2),
                                 row.center().y()));
    }
    QApplication::processEvents();
    Save(window, "record-layout.png");
    if (dialog.fieldPositionEdit.GetWindowText() != "61") {
        std::fputs("ordelin-screenshots: choosing the city did not fill the dialog's edits\n",
                   stderr);
        allSaved = false;
    }
    window->close();
    drive::FindDialog(res::kMainDialog)->activateWindow();
    drive::WaitUntil(
        [] { return QApplication::activeWindow() == drive::FindDialog(res::kMainDialog); });
}

// The chooser, as a file manager starts it with the input file: grabbed, then answered with the
// directory name. The command line of the choice, or nothing when it was not accepted.
std::optional<std::string> ChooseAsFromTheMenu(const QString& file, const QString& name) {
    using qtfront::StartChooser;
    auto shown = [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->isActiveWindow() &&
                widget->objectName() == QLatin1String(StartChooser::kObjectName)) {
                return widget;
            }
        }
        return static_cast<QWidget*>(nullptr);
    };
    drive::When(
        [shown] { return shown() != nullptr; },
        [shown, name] {
            QWidget* chooser = shown();
            Save(chooser, "chooser.png");
            drive::TypeInto(
                chooser->findChild<QLineEdit*>(QLatin1String(StartChooser::kNameObjectName)), name);
            drive::PressKey(Qt::Key_Return);
        });
    return qtfront::ChooseStart(file);
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc != 4 && argc != 5) || std::string(argv[3]).rfind("/D", 0) != 0) {
        std::fputs("usage: ordelin-screenshots OUTPUT-FOLDER INPUT-FILE /DNAME [COPYBOOK]\n",
                   stderr);
        return 2;
    }
    if (argc == 5) copybookPath = QFile::decodeName(argv[4]);
    talvo::RegisterTalvoLib();
    outputFolder = QString::fromLocal8Bit(argv[1]);
    // The utility's own command line: the arguments after the output folder.
    std::vector<char*> utilityArgs{argv[0]};
    for (int i = 2; i < 4; ++i) utilityArgs.push_back(argv[i]);
    const std::string commandLine =
        platform::AssembleCommandLine(static_cast<int>(utilityArgs.size()), utilityArgs.data());
    const QString file = QFileInfo(QFile::decodeName(argv[2])).absoluteFilePath();
    const QString name = QString::fromLocal8Bit(argv[3] + 2);

    QApplication application(argc, argv);
    qtfront::FrontEnd frontEnd(argc, argv);
    const std::optional<std::string> chosen = ChooseAsFromTheMenu(file, name);
    if (chosen != commandLine) {
        std::fprintf(stderr, "ordelin-screenshots: the chooser gave \"%s\", not \"%s\"\n",
                     chosen.value_or("(nothing)").c_str(), commandLine.c_str());
        return 1;
    }
    COrdelinApp app(commandLine);
    app.SetDialogObserver([](COrdelinDlg& dialog) {
        qtfront::AttachRecordLayoutWindow(dialog);
        drive::When([] { return drive::FindDialog(res::kMainDialog) != nullptr; },
                    [&dialog] {
                        QWidget* window = drive::FindDialog(res::kMainDialog);
                        Save(window, "main-dialog.png");
                        if (!copybookPath.isEmpty()) ShowTheRecordLayout(dialog);
                        DefineKey();
                        Save(window, "main-dialog-key.png");
                        OpenAboutFromTheSystemMenu();
                        drive::Click(Main(D::kClose));
                    });
    });
    app.InitInstance();
    if (app.GetOutcome() != COrdelinApp::Outcome::Ran) {
        std::fputs("ordelin-screenshots: the utility did not run on that file\n", stderr);
        return 1;
    }
    return allSaved ? 0 : 1;
}
