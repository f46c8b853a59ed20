// The window that asks for the input file and the directory name, driven as a person does: filled
// in and opened with the mouse or Enter, given up with Cancel or Escape, a refused answer explained
// in a box and asked again with the focus on it, a file picked with Browse, and the name offered
// from the file's folder until the person types one of their own.
#include "qt/start_chooser.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>

#include "fsclient/dornapi.h"
#include "qt/testing/window_driver.h"

namespace drive = qtfront::testing;
using qtfront::StartChooser;

class StartChooserTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void presetFileAndTheNameOffered();
    void aNameOfTheirOwnIsKeptWhenTheFileChanges();
    void filledAndOpened_data();
    void filledAndOpened();
    void givenUp_data();
    void givenUp();
    void aRefusedAnswerIsExplainedAndAskedAgain_data();
    void aRefusedAnswerIsExplainedAndAskedAgain();
    void browsePicksTheFile();

  private:
    // Runs the chooser as the program does, doing `act` once it shows; its result.
    std::optional<std::string> Choose(const QString& preset, std::function<void()> act);
    static StartChooser* Shown();
    static QLineEdit* Edit(const char* objectName);
    static QPushButton* Button(QDialogButtonBox::StandardButton which);
    QString Path(const QString& relative) const { return root.filePath(relative); }

    QTemporaryDir root;
};

void StartChooserTest::initTestCase() {
    QVERIFY(root.isValid());
    for (const QString& file : {QStringLiteral("data/cust"), QStringLiteral("my data/cust"),
                                QStringLiteral("orders/ord")}) {
        QVERIFY(QDir(root.path()).mkpath(QFileInfo(Path(file)).path()));
        QFile made(Path(file));
        QVERIFY(made.open(QIODevice::WriteOnly));
    }
}

StartChooser* StartChooserTest::Shown() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() &&
            widget->objectName() == QLatin1String(StartChooser::kObjectName)) {
            return static_cast<StartChooser*>(widget);
        }
    }
    return nullptr;
}

QLineEdit* StartChooserTest::Edit(const char* objectName) {
    StartChooser* chooser = Shown();
    return chooser ? chooser->findChild<QLineEdit*>(QLatin1String(objectName)) : nullptr;
}

QPushButton* StartChooserTest::Button(QDialogButtonBox::StandardButton which) {
    StartChooser* chooser = Shown();
    auto* box = chooser ? chooser->findChild<QDialogButtonBox*>() : nullptr;
    return box ? box->button(which) : nullptr;
}

std::optional<std::string> StartChooserTest::Choose(const QString& preset,
                                                    std::function<void()> act) {
    bool acted = false;
    // A check that fails inside `act` leaves the chooser open: it is given up after a while, so
    // that the test ends with that failure rather than hanging.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != Shown()) {
            modal->close();
        }
        if (StartChooser* chooser = Shown()) chooser->reject();
    });
    giveUp.start(30000);
    drive::When([] { return Shown() != nullptr && Shown()->isActiveWindow(); },
                [&acted, act = std::move(act)] {
                    acted = true;
                    act();
                });
    std::optional<std::string> chosen = qtfront::ChooseStart(preset);
    if (!acted) qWarning("the chooser never showed");
    return chosen;
}

void StartChooserTest::presetFileAndTheNameOffered() {
    StartChooser chooser(Path(QStringLiteral("my data/cust")));
    chooser.show();
    QVERIFY(QTest::qWaitForWindowActive(&chooser));
    auto* file = chooser.findChild<QLineEdit*>(QLatin1String(StartChooser::kFileObjectName));
    auto* name = chooser.findChild<QLineEdit*>(QLatin1String(StartChooser::kNameObjectName));
    QCOMPARE(chooser.windowTitle(), QStringLiteral("Ordelin Utility"));
    QCOMPARE(file->text(), Path(QStringLiteral("my data/cust")));
    QCOMPARE(name->text(), QStringLiteral("MYD"));
    // The file is given: the name is what is left to answer, ready to be typed over.
    QCOMPARE(QApplication::focusWidget(), name);
    QCOMPARE(name->selectedText(), QStringLiteral("MYD"));
    QCOMPARE(chooser.CommandLine(), std::string());
}

void StartChooserTest::aNameOfTheirOwnIsKeptWhenTheFileChanges() {
    StartChooser chooser{QString()};
    chooser.show();
    QVERIFY(QTest::qWaitForWindowActive(&chooser));
    auto* file = chooser.findChild<QLineEdit*>(QLatin1String(StartChooser::kFileObjectName));
    auto* name = chooser.findChild<QLineEdit*>(QLatin1String(StartChooser::kNameObjectName));
    // No file given: the file is asked first, and the name offered is the default.
    QCOMPARE(QApplication::focusWidget(), file);
    QCOMPARE(name->text(), QStringLiteral("DAT"));
    drive::TypeInto(file, Path(QStringLiteral("orders/ord")));
    QCOMPARE(name->text(), QStringLiteral("ORD"));
    drive::TypeInto(file, Path(QStringLiteral("data/cust")));
    QCOMPARE(name->text(), QStringLiteral("DAT"));
    // Typed: no longer the offer, whatever file follows. Longer names do not fit the field.
    drive::TypeInto(name, QStringLiteral("abcd"));
    QCOMPARE(name->text(), QStringLiteral("abc"));
    drive::TypeInto(file, Path(QStringLiteral("orders/ord")));
    QCOMPARE(name->text(), QStringLiteral("abc"));
}

void StartChooserTest::filledAndOpened_data() {
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QString>("file");  // typed over the file field; empty: left as preset
    QTest::addColumn<QString>("name");  // typed over the name field; empty: the offer is kept
    QTest::addColumn<bool>("enter");    // Enter in the name field rather than a click on Open
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("directoryName");
    QTest::newRow("typed, Open") << QString() << QStringLiteral("data/cust") << QStringLiteral("x1")
                                 << false << QStringLiteral("data") << QStringLiteral("X1");
    QTest::newRow("preset, offer, Enter")
        << QStringLiteral("my data/cust") << QString() << QString() << true
        << QStringLiteral("my data") << QStringLiteral("MYD");
    QTest::newRow("preset replaced")
        << QStringLiteral("data/cust") << QStringLiteral("orders/ord") << QStringLiteral(" z ")
        << false << QStringLiteral("orders") << QStringLiteral("Z");
}

void StartChooserTest::filledAndOpened() {
    QFETCH(QString, preset);
    QFETCH(QString, file);
    QFETCH(QString, name);
    QFETCH(bool, enter);
    QFETCH(QString, folder);
    QFETCH(QString, directoryName);

    const std::optional<std::string> chosen =
        Choose(preset.isEmpty() ? QString() : Path(preset), [&] {
            if (!file.isEmpty()) drive::TypeInto(Edit(StartChooser::kFileObjectName), Path(file));
            if (!name.isEmpty()) drive::TypeInto(Edit(StartChooser::kNameObjectName), name);
            if (enter) {
                QTest::keyClick(Edit(StartChooser::kNameObjectName), Qt::Key_Return);
            } else {
                drive::Click(Button(QDialogButtonBox::Ok));
            }
        });
    QVERIFY(chosen.has_value());
    // The command line splits as at start-up into that file and name, a space in a folder whole.
    std::string splitName, splitFile, splitFolder;
    QVERIFY2(CDornApi::SplitCommandLine(chosen->c_str(), &splitName, &splitFile, &splitFolder),
             chosen->c_str());
    QCOMPARE(QString::fromStdString(splitName), directoryName);
    const QString expectedFolder =
        QString::fromStdString("Z:" + Path(folder).toStdString()).replace('/', '\\').toUpper();
    QCOMPARE(QString::fromStdString(splitFolder), expectedFolder);
    QCOMPARE(QString::fromStdString(splitFile),
             QFileInfo(Path(file.isEmpty() ? preset : file)).fileName().toUpper());
}

void StartChooserTest::givenUp_data() {
    QTest::addColumn<int>("how");  // 0: Cancel clicked, 1: Escape, 2: the window closed
    QTest::newRow("Cancel") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("closed") << 2;
}

void StartChooserTest::givenUp() {
    QFETCH(int, how);
    const std::optional<std::string> chosen = Choose(Path(QStringLiteral("data/cust")), [how] {
        drive::TypeInto(Edit(StartChooser::kNameObjectName), QStringLiteral("AB"));
        if (how == 0) drive::Click(Button(QDialogButtonBox::Cancel));
        if (how == 1) drive::PressKey(Qt::Key_Escape);
        if (how == 2) Shown()->close();
    });
    QVERIFY(!chosen.has_value());
}

void StartChooserTest::aRefusedAnswerIsExplainedAndAskedAgain_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");  // held by the box
    QTest::addColumn<QString>("atFault");
    const QString file = QLatin1String(StartChooser::kFileObjectName);
    const QString name = QLatin1String(StartChooser::kNameObjectName);
    QTest::newRow("no file") << QString() << QStringLiteral("DAT")
                             << QStringLiteral("Choose the input data file.") << file;
    QTest::newRow("missing file") << QStringLiteral("data/none") << QStringLiteral("DAT")
                                  << QStringLiteral("There is no file") << file;
    QTest::newRow("a folder") << QStringLiteral("data") << QStringLiteral("DAT")
                              << QStringLiteral("is a folder") << file;
    QTest::newRow("no name") << QStringLiteral("data/cust") << QStringLiteral(" ")
                             << QStringLiteral("Type a directory name") << name;
    QTest::newRow("a space") << QStringLiteral("data/cust") << QStringLiteral("A B")
                             << QStringLiteral("holds a space") << name;
    QTest::newRow("a sign") << QStringLiteral("data/cust") << QStringLiteral("A=")
                            << QStringLiteral("one of = [ ] ;") << name;
    QTest::newRow("a quote") << QStringLiteral("data/cust") << QStringLiteral("\"A")
                             << QStringLiteral("may not begin with a quote") << name;
}

void StartChooserTest::aRefusedAnswerIsExplainedAndAskedAgain() {
    QFETCH(QString, file);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, atFault);

    drive::BoxAnswerer boxes;
    QString focusAfterBox;
    QString selectedAfterBox;
    bool stillShown = false;
    const std::optional<std::string> chosen = Choose(QString(), [&] {
        drive::TypeInto(Edit(StartChooser::kFileObjectName), file.isEmpty() ? file : Path(file));
        drive::TypeInto(Edit(StartChooser::kNameObjectName), name);
        drive::Click(Button(QDialogButtonBox::Ok));
        // The box has been answered: the chooser waits for a better answer.
        QVERIFY(drive::WaitUntil([] { return Shown() != nullptr && Shown()->isActiveWindow(); }));
        stillShown = true;
        QWidget* focused = QApplication::focusWidget();
        focusAfterBox = focused ? focused->objectName() : QString();
        if (auto* edit = qobject_cast<QLineEdit*>(focused)) selectedAfterBox = edit->selectedText();
        drive::TypeInto(Edit(StartChooser::kFileObjectName), Path(QStringLiteral("data/cust")));
        drive::TypeInto(Edit(StartChooser::kNameObjectName), QStringLiteral("AB"));
        drive::Click(Button(QDialogButtonBox::Ok));
    });
    QVERIFY(stillShown);
    QCOMPARE(boxes.Seen().size(), size_t{1});
    const drive::SeenBox& box = boxes.Seen().front();
    QVERIFY2(box.text.contains(text), qPrintable(box.text));
    QCOMPARE(box.caption, QStringLiteral("Ordelin"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(focusAfterBox, atFault);
    const QString typed = atFault == QLatin1String(StartChooser::kFileObjectName)
                              ? (file.isEmpty() ? file : Path(file))
                              : name;
    QCOMPARE(selectedAfterBox, typed);
    QVERIFY(chosen.has_value());
    QVERIFY2(QString::fromStdString(*chosen).endsWith(QStringLiteral(" /DAB")), chosen->c_str());
}

void StartChooserTest::browsePicksTheFile() {
    QString title;
    QString nameAfter;
    const std::optional<std::string> chosen = Choose(QString(), [&] {
        drive::When(
            [] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                return dialog != nullptr && dialog->isVisible();
            },
            [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                title = dialog->windowTitle();
                dialog->selectFile(Path(QStringLiteral("orders/ord")));
                // Its Open button, as a person presses it.
                for (QAbstractButton* button : dialog->findChild<QDialogButtonBox*>()->buttons()) {
                    if (dialog->findChild<QDialogButtonBox*>()->buttonRole(button) ==
                        QDialogButtonBox::AcceptRole) {
                        QTest::mouseClick(button, Qt::LeftButton);
                        break;
                    }
                }
            });
        drive::Click(
            Shown()->findChild<QPushButton*>(QLatin1String(StartChooser::kBrowseObjectName)));
        QVERIFY(drive::WaitUntil([] { return Shown() != nullptr && Shown()->isActiveWindow(); }));
        nameAfter = Edit(StartChooser::kNameObjectName)->text();
        QCOMPARE(Edit(StartChooser::kFileObjectName)->text(), Path(QStringLiteral("orders/ord")));
        // The file picked, the name is next.
        QCOMPARE(QApplication::focusWidget(), Edit(StartChooser::kNameObjectName));
        drive::PressKey(Qt::Key_Return);
    });
    QCOMPARE(title, QStringLiteral("Ordelin Utility: choose the input data file"));
    QCOMPARE(nameAfter, QStringLiteral("ORD"));
    QVERIFY(chosen.has_value());
    QVERIFY2(QString::fromStdString(*chosen).endsWith(QStringLiteral("\\orders\\ord /DORD")),
             chosen->c_str());
}

QTEST_MAIN(StartChooserTest)
#include "start_chooser_test.moc"
