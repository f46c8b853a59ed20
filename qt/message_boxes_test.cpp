// Message boxes from flags: icon, buttons, default and Escape button of each flag set, the
// identifier of the button a person presses, plain text, and the sinks of a windowed run (boxes
// and the shell's open, the latter intercepted).
#include "qt/message_boxes.h"

#include <QDesktopServices>
#include <QTest>
#include <QUrl>

#include "platform/message_box.h"
#include "platform/shell.h"
#include "qt/desktop_shell.h"
#include "qt/testing/window_driver.h"

using platform::IDCANCEL;
using platform::IDNO;
using platform::IDOK;
using platform::IDYES;
using qtfront::kIdAbort;
using qtfront::kIdContinue;
using qtfront::kIdIgnore;
using qtfront::kIdRetry;
using qtfront::kIdTryAgain;
using qtfront::testing::BoxAnswerer;
using Ids = std::vector<int>;

Q_DECLARE_METATYPE(Ids)
Q_DECLARE_METATYPE(QMessageBox::Icon)

// Receives what the desktop is asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT

  public:
    QList<QUrl> opened;

  public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

class MessageBoxesTest : public QObject {
    Q_OBJECT

  private slots:
    void boxFromFlags_data();
    void boxFromFlags();
    void pressedButtonIsReturned_data();
    void pressedButtonIsReturned();
    void escapeGivesTheCautiousAnswer_data();
    void escapeGivesTheCautiousAnswer();
    void textIsPlain();
    void sinkShowsBoxesAndFallsBackWithoutWindows();
    void shellOpenAsksTheDesktop();
};

void MessageBoxesTest::boxFromFlags_data() {
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<Ids>("buttons");
    QTest::addColumn<int>("defaultButton");

    QTest::newRow("plain OK") << 0x0u << QMessageBox::NoIcon << Ids{IDOK} << IDOK;
    QTest::newRow("stop") << 0x10u << QMessageBox::Critical << Ids{IDOK} << IDOK;
    QTest::newRow("overwrite question")
        << 0x24u << QMessageBox::Question << Ids{IDYES, IDNO} << IDYES;
    QTest::newRow("exclamation") << 0x30u << QMessageBox::Warning << Ids{IDOK} << IDOK;
    QTest::newRow("information") << 0x40u << QMessageBox::Information << Ids{IDOK} << IDOK;
    QTest::newRow("OK Cancel") << 0x1u << QMessageBox::NoIcon << Ids{IDOK, IDCANCEL} << IDOK;
    QTest::newRow("Abort Retry Ignore")
        << 0x2u << QMessageBox::NoIcon << Ids{kIdAbort, kIdRetry, kIdIgnore} << kIdAbort;
    QTest::newRow("Yes No Cancel")
        << 0x3u << QMessageBox::NoIcon << Ids{IDYES, IDNO, IDCANCEL} << IDYES;
    QTest::newRow("Retry Cancel") << 0x5u << QMessageBox::NoIcon << Ids{kIdRetry, IDCANCEL}
                                  << kIdRetry;
    QTest::newRow("Cancel Try Continue")
        << 0x6u << QMessageBox::NoIcon << Ids{IDCANCEL, kIdTryAgain, kIdContinue} << IDCANCEL;
    QTest::newRow("second default") << 0x124u << QMessageBox::Question << Ids{IDYES, IDNO} << IDNO;
    QTest::newRow("third default, stop")
        << 0x213u << QMessageBox::Critical << Ids{IDYES, IDNO, IDCANCEL} << IDCANCEL;
    QTest::newRow("default past the buttons") << 0x300u << QMessageBox::NoIcon << Ids{IDOK} << IDOK;
}

void MessageBoxesTest::boxFromFlags() {
    QFETCH(unsigned, flags);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(Ids, buttons);
    QFETCH(int, defaultButton);
    const auto box = qtfront::MakeMessageBox(nullptr, "Ordelin", "Text", flags);
    const qtfront::testing::SeenBox seen = qtfront::testing::Describe(*box);
    QCOMPARE(seen.icon, icon);
    Ids sorted = seen.buttons;
    std::sort(sorted.begin(), sorted.end());
    Ids expected = buttons;
    std::sort(expected.begin(), expected.end());
    QCOMPARE(sorted, expected);  // the layout orders buttons the desktop's way
    QCOMPARE(qtfront::ButtonIds(flags), buttons);
    QCOMPARE(seen.defaultButton, defaultButton);
    QCOMPARE(seen.caption, QStringLiteral("Ordelin"));
}

void MessageBoxesTest::pressedButtonIsReturned_data() {
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<int>("press");
    QTest::newRow("OK") << 0x10u << IDOK;
    QTest::newRow("Yes") << 0x24u << IDYES;
    QTest::newRow("No") << 0x24u << IDNO;
    QTest::newRow("Cancel of three") << 0x3u << IDCANCEL;
    QTest::newRow("Ignore") << 0x2u << kIdIgnore;
    QTest::newRow("Try Again") << 0x6u << kIdTryAgain;
    QTest::newRow("Continue") << 0x6u << kIdContinue;
}

void MessageBoxesTest::pressedButtonIsReturned() {
    QFETCH(unsigned, flags);
    QFETCH(int, press);
    BoxAnswerer answerer({press});
    QCOMPARE(qtfront::RunMessageBox(nullptr, "Ordelin", "Sure?", flags), press);
    QCOMPARE(answerer.Seen().size(), size_t{1});
}

void MessageBoxesTest::escapeGivesTheCautiousAnswer_data() {
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<int>("answer");
    QTest::newRow("OK alone") << 0x10u << IDOK;
    QTest::newRow("Yes No") << 0x24u << IDNO;
    QTest::newRow("Yes No Cancel") << 0x3u << IDCANCEL;
    QTest::newRow("OK Cancel") << 0x1u << IDCANCEL;
}

void MessageBoxesTest::escapeGivesTheCautiousAnswer() {
    QFETCH(unsigned, flags);
    QFETCH(int, answer);
    qtfront::testing::When(
        [] { return qtfront::testing::ActiveMessageBox() != nullptr; },
        [] { QTest::keyClick(qtfront::testing::ActiveMessageBox(), Qt::Key_Escape); });
    QCOMPARE(qtfront::RunMessageBox(nullptr, "Ordelin", "Sure?", flags), answer);
}

void MessageBoxesTest::textIsPlain() {
    const auto box = qtfront::MakeMessageBox(nullptr, "Ordelin", "<b>A</b> on <i>B</i>\n\nx", 0);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QCOMPARE(box->text(), QStringLiteral("<b>A</b> on <i>B</i>\n\nx"));
}

void MessageBoxesTest::sinkShowsBoxesAndFallsBackWithoutWindows() {
    bool windows = true;
    const auto former = platform::SetMessageBoxSink(
        std::make_shared<qtfront::QtMessageBoxSink>([&windows] { return windows; }));
    {
        BoxAnswerer answerer({IDYES});
        QCOMPARE(platform::AppMessageBox("Overwrite existing \"CUST\"?", 0x24), IDYES);
        QCOMPARE(answerer.Seen().size(), size_t{1});
        QCOMPARE(answerer.Seen()[0].caption, QString::fromStdString(platform::AppName()));
        QCOMPARE(answerer.Seen()[0].icon, QMessageBox::Question);
    }
    // Without a window system the box cannot show: the cautious answer, no window.
    windows = false;
    BoxAnswerer answerer;
    QCOMPARE(platform::AppMessageBox("Overwrite existing \"CUST\"?", 0x24), IDNO);
    QCOMPARE(platform::AppMessageBox("Failed", 0x10), IDOK);
    QTest::qWait(20);
    QVERIFY(answerer.Seen().empty());
    platform::SetMessageBoxSink(former);
}

void MessageBoxesTest::shellOpenAsksTheDesktop() {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    bool windows = true;
    const auto former = platform::SetShellOpenSink(
        std::make_shared<qtfront::DesktopShellOpenSink>([&windows] { return windows; }));

    QVERIFY(platform::ShellOpen(R"(Z:\tmp\reports\OL004711.htm)"));
    QCOMPARE(recorder.opened.size(), 1);
    QCOMPARE(recorder.opened[0], QUrl::fromLocalFile(QStringLiteral("/tmp/reports/OL004711.htm")));

    windows = false;
    QVERIFY(!platform::ShellOpen(R"(Z:\tmp\reports\OL004712.htm)"));
    QCOMPARE(recorder.opened.size(), 1);

    platform::SetShellOpenSink(former);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

QTEST_MAIN(MessageBoxesTest)
#include "message_boxes_test.moc"
