// The record layout window on the demonstration's customer records and its copybook: opened from
// the dialog's system menu, it shows the records under the ruler, lists the copybook's fields
// with the chosen record's values, and a field chosen in it lands in the dialog's Position and
// Length edits, where the dialog's own rules judge it.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>

#include "qt/gutter_text_view.h"
#include "qt/record_layout_window.h"
#include "qt/testing/scripted_dialog.h"
#include "talvo/tool/data_gen.h"

using D = COrdelinDlg;
using qtfront::RecordLayoutWindow;
namespace drive = qtfront::testing;

namespace {

constexpr int kRecords = 60;

QString SourcePath(const char* relative) {
    const char* root = std::getenv("ORDELIN_SOURCE_DIR");
    return QString::fromUtf8(root ? root : ".") + QLatin1Char('/') + QString::fromUtf8(relative);
}

std::string CustomerRecord(int i) {
    static const talvo::tool::DataGenerator records(talvo::tool::Layout::kCustomer, kRecords, 7);
    return records.Record(static_cast<uint64_t>(i));
}

std::u16string Units(const std::string& bytes) {
    std::u16string units;
    for (char c : bytes) units += static_cast<char16_t>(static_cast<unsigned char>(c));
    return units;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

class RecordLayoutWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void opensFromTheSystemMenuAndChoosesKeyFieldsForTheDialog();
    void aFieldTheDialogRefusesIsRefusedThere();
    void copybooksThatDoNotFitOrDoNotReadAreSaidSo();
    void recordsOfOneAndOfTheLargestSizeAndDeletedOnes();

  private:
    // The dialog on CUST (customer records of 100 bytes keyed on their 8-byte number) with the
    // record layout command, and its layout window opened from the system menu.
    RecordLayoutWindow* Open(drive::ScriptedDialog& run);
    // Clicks the field of that name in the window's list.
    static QTreeWidgetItem* Choose(RecordLayoutWindow* window, const QString& name);
    // Makes the dialog's window the active one again, as a click on it does on a desktop (a
    // window it owns shares its activation, so the driver's clicks would not move it).
    static void ToDialog(drive::ScriptedDialog& run) {
        QWidget* dialog = run.view->Window();
        dialog->activateWindow();
        QVERIFY(drive::WaitUntil([dialog] { return QApplication::activeWindow() == dialog; }));
    }
    static QString Edit(drive::ScriptedDialog& run, int id) {
        return run.ControlAs<QLineEdit>(id)->text();
    }
};

RecordLayoutWindow* RecordLayoutWindowTest::Open(drive::ScriptedDialog& run) {
    qtfront::AttachRecordLayoutWindow(*run.dialog);
    if (!run.Open(4, 100, 8)) return nullptr;
    fstest::FakeFile* file = run.component->FindFile("DAT", "CUST");
    for (int i = 0; i < kRecords; ++i) {
        const std::string record = CustomerRecord(i);
        fstest::ScriptedComponent::AddRecord(*file, Units(record.substr(0, 8)), Units(record));
    }
    const auto& menu = run.view->SystemMenu();
    if (menu.empty() || menu.back() != std::make_pair(32u, std::string("Record &Layout..."))) {
        return nullptr;
    }
    // The menu runs a loop of its own: the item is clicked once it shows.
    drive::When([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
                [] {
                    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                    for (QAction* action : popup->actions()) {
                        if (action->text() == QStringLiteral("Record &Layout...")) {
                            QTest::mouseClick(popup, Qt::LeftButton, Qt::NoModifier,
                                              popup->actionGeometry(action).center());
                        }
                    }
                });
    run.view->ShowSystemMenu(run.view->Window()->mapToGlobal(QPoint(10, 10)));
    RecordLayoutWindow* window = qtfront::FindRecordLayoutWindow(run.view->Window());
    if (window == nullptr ||
        !drive::WaitUntil([window] { return QApplication::activeWindow() == window; })) {
        return nullptr;
    }
    return window;
}

QTreeWidgetItem* RecordLayoutWindowTest::Choose(RecordLayoutWindow* window, const QString& name) {
    auto* fields = window->findChild<QTreeWidget*>(QLatin1String(RecordLayoutWindow::kFieldsObjectName));
    const QList<QTreeWidgetItem*> found =
        fields->findItems(name, Qt::MatchExactly | Qt::MatchRecursive, 0);
    if (found.size() != 1) return nullptr;
    fields->scrollToItem(found.front());
    window->activateWindow();
    drive::WaitUntil([window] { return QApplication::activeWindow() == window; });
    // On the field's name, wherever the columns end.
    const QRect row = fields->visualItemRect(found.front());
    QTest::mouseClick(fields->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(std::min(row.center().x(), fields->viewport()->width() / 2),
                             row.center().y()));
    return found.front();
}

void RecordLayoutWindowTest::opensFromTheSystemMenuAndChoosesKeyFieldsForTheDialog() {
    drive::ScriptedDialog run;
    RecordLayoutWindow* window = Open(run);
    QVERIFY(window != nullptr);
    QVERIFY(window->isWindow());
    // A window of its own, transient for the dialog's, which does not block it.
    QCOMPARE(window->windowHandle()->transientParent(), run.view->Window()->windowHandle());
    QCOMPARE(window->windowTitle(), QStringLiteral("Record Layout: CUST on DAT"));

    // The first 50 records, a block of text, high and low half-bytes each, under the ruler.
    auto* records = window->findChild<QPlainTextEdit*>(
        QLatin1String(RecordLayoutWindow::kRecordsObjectName));
    auto* ruler =
        window->findChild<QPlainTextEdit*>(QLatin1String(RecordLayoutWindow::kRulerObjectName));
    const QStringList lines = records->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 50 * 4 - 1);
    QCOMPARE(lines[0], QString::fromStdString(CustomerRecord(0)));
    QCOMPARE(lines[196], QString::fromStdString(CustomerRecord(49)));
    QCOMPARE(lines[1].left(8), QStringLiteral("33333333"));  // the number's digits
    QVERIFY(ruler->toPlainText().startsWith(QStringLiteral("0         10        20")));
    // The numbers stand in the gutter, which keeps its place while the bytes scroll.
    auto* numbered = dynamic_cast<qtfront::GutterTextView*>(records);
    QVERIFY(numbered != nullptr);
    QCOMPARE(numbered->Label(0), QStringLiteral("0"));
    QCOMPARE(numbered->Label(196), QStringLiteral("49"));
    QCOMPARE(numbered->Label(1), QString());
    QCOMPARE(dynamic_cast<qtfront::GutterTextView*>(ruler)->GutterWidth(), numbered->GutterWidth());
    QCOMPARE(run.component->CallCount("ReadRecord"), 50);
    QVERIFY(!run.component->IsOpen(37));

    // The copybook: its record fits the file's, and its fields show record 0's values.
    QCOMPARE(window->OpenCopybook(SourcePath("demo/customer.cpy")), QString());
    const auto* copybookLine =
        window->findChild<QLabel*>(QLatin1String(RecordLayoutWindow::kCopybookObjectName));
    QVERIFY(copybookLine->text().endsWith(
        QStringLiteral("customer.cpy: CUSTOMER-RECORD: 100 bytes, as the file's records")));

    // Choosing the city fills Position and Length and marks its bytes in every record.
    QTreeWidgetItem* city = Choose(window, QStringLiteral("CUST-CITY"));
    QVERIFY(city != nullptr);
    QCOMPARE(city->text(1), QStringLiteral("61"));
    QCOMPARE(city->text(2), QStringLiteral("18"));
    QCOMPARE(city->text(5).toStdString(), "\"" + Trimmed(CustomerRecord(0).substr(61, 18)) + "\"");
    QCOMPARE(Edit(run, D::kFieldPosition), QStringLiteral("61"));
    QCOMPARE(Edit(run, D::kFieldLength), QStringLiteral("18"));
    QCOMPARE(run.view->Focus(), std::optional<int>(D::kAddKeyField));
    QStringList marked;
    for (const QTextEdit::ExtraSelection& mark : records->extraSelections()) {
        if (!mark.cursor.selectedText().isEmpty()) marked.push_back(mark.cursor.selectedText());
    }
    QCOMPARE(marked.size(), 150);  // three lines of each record
    QCOMPARE(marked[0].toStdString(), CustomerRecord(0).substr(61, 18));

    // The dialog judges it: 18 bytes do not go into the input's key of 8.
    {
        drive::BoxAnswerer boxes;
        ToDialog(run);
        drive::Click(run.Control(D::kAddKeyField));
        QCOMPARE(boxes.Texts(), std::vector<QString>{QStringLiteral(
                                    "Addition of this field exceeds output file's key size")});
    }
    QCOMPARE(run.ControlAs<QListWidget>(D::kKeyFieldList)->count(), 0);

    // With a key of 26 bytes, the city and then the number make the key.
    ToDialog(run);
    drive::TypeInto(run.Control(D::kOutputKeySize), QStringLiteral("26"));
    // A second click on the field chosen offers it again; the focus leaving the key size edit
    // for Position makes the dialog take the 26.
    Choose(window, QStringLiteral("CUST-CITY"));
    QCOMPARE(run.dialog->outputKeySize, 26u);
    ToDialog(run);
    drive::Click(run.Control(D::kAddKeyField));
    Choose(window, QStringLiteral("CUST-NO"));
    QCOMPARE(Edit(run, D::kFieldPosition), QStringLiteral("0"));
    QCOMPARE(Edit(run, D::kFieldLength), QStringLiteral("8"));
    ToDialog(run);
    drive::Click(run.Control(D::kAddKeyField));
    auto* list = run.ControlAs<QListWidget>(D::kKeyFieldList);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("61\t18"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("0\t8"));
    QCOMPARE(run.ControlAs<QLabel>(D::kKeyFieldSummary)->text(),
             QStringLiteral("Key Fields: (26 of 26 bytes currently defined)"));
    // Add Key Field, disabled while it had the focus, and Tab round the dialog leave the focus
    // in the dialog's window: the layout window is no part of its tab order.
    QVERIFY(QApplication::focusWidget() == nullptr ||
            QApplication::focusWidget()->window() == run.view->Window());
    for (int i = 0; i < 40; ++i) {
        drive::PressKey(Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != nullptr);
        QCOMPARE(QApplication::focusWidget()->window(), run.view->Window());
    }

    // A click in another record's lines shows that record's values.
    const QTextBlock third = records->document()->findBlockByNumber(3 * 4 + 1);
    window->activateWindow();
    drive::WaitUntil([window] { return QApplication::activeWindow() == window; });
    QTest::mouseClick(records->viewport(), Qt::LeftButton, Qt::NoModifier,
                      records->cursorRect(QTextCursor(third)).center() + QPoint(40, 0));
    QCOMPARE(window->SelectedRecord(), 3);
    auto* fields =
        window->findChild<QTreeWidget*>(QLatin1String(RecordLayoutWindow::kFieldsObjectName));
    QCOMPARE(fields->headerItem()->text(5), QStringLiteral("Value in record 3"));
    QCOMPARE(city->text(5).toStdString(), "\"" + Trimmed(CustomerRecord(3).substr(61, 18)) + "\"");

    // Escape closes the window; the menu brings it back as it was.
    window->activateWindow();
    drive::WaitUntil([window] { return QApplication::activeWindow() == window; });
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(!window->isVisible());
    QCOMPARE(qtfront::ShowRecordLayoutWindow(*run.dialog), window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->ShownLayout()->name(), std::string("CUSTOMER-RECORD"));
}

void RecordLayoutWindowTest::aFieldTheDialogRefusesIsRefusedThere() {
    drive::ScriptedDialog run;
    RecordLayoutWindow* window = Open(run);
    QVERIFY(window != nullptr);
    QCOMPARE(window->OpenCopybook(SourcePath("demo/customer.cpy")), QString());
    Choose(window, QStringLiteral("CUST-NO"));
    ToDialog(run);
    drive::Click(run.Control(D::kAddKeyField));
    QCOMPARE(run.ControlAs<QListWidget>(D::kKeyFieldList)->count(), 1);

    // A key size below the bytes defined is left in its edit: moving the focus to Position
    // checks it, the dialog refuses it and keeps the focus there, and the edits stay as they were.
    drive::TypeInto(run.Control(D::kOutputKeySize), QStringLiteral("5"));
    QCOMPARE(run.view->Focus(), std::optional<int>(D::kOutputKeySize));
    const QString position = Edit(run, D::kFieldPosition);
    const QString length = Edit(run, D::kFieldLength);
    drive::BoxAnswerer boxes;
    Choose(window, QStringLiteral("CUST-CITY"));
    QCOMPARE(boxes.Texts(), std::vector<QString>{QStringLiteral(
                                "Output key size cannot be less than total of key fields defined.")});
    QCOMPARE(run.view->Focus(), std::optional<int>(D::kOutputKeySize));
    QCOMPARE(Edit(run, D::kFieldPosition), position);
    QCOMPARE(Edit(run, D::kFieldLength), length);
    const auto* status =
        window->findChild<QLabel*>(QLatin1String(RecordLayoutWindow::kStatusObjectName));
    QVERIFY(status->text().contains(QStringLiteral("refused")));
}

void RecordLayoutWindowTest::copybooksThatDoNotFitOrDoNotReadAreSaidSo() {
    drive::ScriptedDialog run;
    RecordLayoutWindow* window = Open(run);
    QVERIFY(window != nullptr);
    QTemporaryDir folder;
    const auto write = [&folder](const char* name, const char* text) {
        QFile file(folder.filePath(QString::fromUtf8(name)));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return file.fileName();
    };
    const QString wide = write("wide.cpy",
                               "       01  WIDE.\n"
                               "           05  W-HEAD   PIC X(96).\n"
                               "           05  W-TAIL   PIC X(8).\n"
                               "           05  W-AMOUNT PIC S9(7) COMP-3.\n");
    const QString broken = write("broken.cpy", "       01  R.\n           05  A PIC Q(4).\n");

    QCOMPARE(window->OpenCopybook(wide), QString());
    const auto* copybookLine =
        window->findChild<QLabel*>(QLatin1String(RecordLayoutWindow::kCopybookObjectName));
    QVERIFY2(copybookLine->text().endsWith(QStringLiteral(
                 "WIDE: 108 bytes, longer than the file's 100-byte records: bytes from 100 on "
                 "are not in them")),
             qPrintable(copybookLine->text()));
    QTreeWidgetItem* tail = Choose(window, QStringLiteral("W-TAIL"));
    QVERIFY(tail != nullptr);
    QCOMPARE(tail->text(5), QStringLiteral("beyond the record"));
    const auto* status =
        window->findChild<QLabel*>(QLatin1String(RecordLayoutWindow::kStatusObjectName));
    QVERIFY(status->text().contains(QStringLiteral("beyond the input's records of 100 bytes")));
    Choose(window, QStringLiteral("W-AMOUNT"));
    QVERIFY(status->text().contains(QStringLiteral("sort by their bytes, not by their values")));
    // The dialog refuses the field beyond its input's records, as it would refuse the numbers.
    {
        drive::BoxAnswerer boxes;
        Choose(window, QStringLiteral("W-TAIL"));
        ToDialog(run);
        drive::Click(run.Control(D::kAddKeyField));
        QCOMPARE(boxes.Texts(), std::vector<QString>{QStringLiteral(
                                    "Position and Length of this field exceed input file's "
                                    "record size")});
    }

    // A copybook that does not read leaves the one shown as it was.
    const QString error = window->OpenCopybook(broken);
    QVERIFY2(error.contains(QStringLiteral("broken.cpy: line 2:")), qPrintable(error));
    QCOMPARE(window->ShownLayout()->name(), std::string("WIDE"));
    QVERIFY(!window->OpenCopybook(folder.filePath(QStringLiteral("missing.cpy"))).isEmpty());
}

void RecordLayoutWindowTest::recordsOfOneAndOfTheLargestSizeAndDeletedOnes() {
    QTemporaryDir folder;
    const auto write = [&folder](const char* name, const std::string& text) {
        QFile file(folder.filePath(QString::fromUtf8(name)));
        file.open(QIODevice::WriteOnly);
        file.write(text.data(), static_cast<qint64>(text.size()));
        return file.fileName();
    };
    struct Row {
        int32_t recordSize;
        std::string copybook;
        QString field;        // chosen
        int shownColumns;     // of each record's text line
    };
    const std::vector<Row> rows = {
        {1, "       01  ONE  PIC X.\n", QStringLiteral("ONE"), 1},
        {65535,
         "       01  BIG.\n           05  HEAD  PIC X(5000).\n           05  TAIL  PIC "
         "X(60535).\n",
         QStringLiteral("TAIL"), 4096},
    };
    for (const Row& row : rows) {
        drive::ScriptedDialog run;
        qtfront::AttachRecordLayoutWindow(*run.dialog);
        QVERIFY(run.Open(4, row.recordSize, 1));
        fstest::FakeFile* file = run.component->FindFile("DAT", "CUST");
        for (int i = 0; i < 3; ++i) {
            // All 0x00 bytes, then all 0xFF, then the deleted mark where the record holds it.
            std::u16string record(static_cast<size_t>(row.recordSize), i == 1 ? 0xFF : 0x00);
            if (i == 2 && row.recordSize > 6) record[6] = 0xFE;
            fstest::ScriptedComponent::AddRecord(*file, std::u16string(1, u'a' + i), record);
        }
        RecordLayoutWindow* window = qtfront::ShowRecordLayoutWindow(*run.dialog);
        QVERIFY(window != nullptr);
        auto* records = dynamic_cast<qtfront::GutterTextView*>(window->findChild<QPlainTextEdit*>(
            QLatin1String(RecordLayoutWindow::kRecordsObjectName)));
        const QStringList lines = records->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3 * 4 - 1);
        QCOMPARE(lines[0], QString(row.shownColumns, QLatin1Char('.')));
        QCOMPARE(lines[5], QString(row.shownColumns, QLatin1Char('F')));
        QCOMPARE(records->Label(8),
                 row.recordSize > 6 ? QStringLiteral("2 del") : QStringLiteral("2"));
        const QString copybook = write("edge.cpy", row.copybook);
        QCOMPARE(window->OpenCopybook(copybook), QString());
        QTreeWidgetItem* item = Choose(window, row.field);
        QVERIFY(item != nullptr);
        QVERIFY(item->text(5).startsWith(QStringLiteral("hex 00")));  // not text: byte 0 is 00
        QCOMPARE(Edit(run, D::kFieldPosition), item->text(1));
        QCOMPARE(Edit(run, D::kFieldLength), item->text(2));
    }
}

QTEST_MAIN(RecordLayoutWindowTest)
#include "record_layout_window_test.moc"
