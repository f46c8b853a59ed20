// A whole session as a person has it, on real files: the start-up on a command line, the window
// on a real keyed file of the engine, a key defined with the keyboard and the mouse, a build with
// the progress bar stepping, its closing message, the list file handed to the desktop, the
// window closed, exit status 0.
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <numeric>

#include "app/ordelin_app.h"
#include "fsclient/dornapi.h"
#include "platform/path.h"
#include "platform/testing/scoped_env.h"
#include "qt/front_end.h"
#include "qt/testing/window_driver.h"
#include "res/resources.h"
#include "talvo/talvolib.h"
#include "talvo/tool/data_gen.h"

using D = COrdelinDlg;
namespace drive = qtfront::testing;
using platform::testing::ScopedEnv;

namespace {

// More records than the progress bar's threshold of 1000.
constexpr int kRecords = 3000;

QWidget* Main(int id) {
    return drive::FindControl(res::kMainDialog, id);
}

}  // namespace

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Receives what the desktop is asked to open.
class OpenedUrls : public QObject {
    Q_OBJECT

  public:
    QList<QUrl> urls;

  public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

class SessionTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void definesAKeyAndBuildsTheOutputFile();
    void cleanupTestCase();

  private:
    std::string Path(const char* relative) const {
        return QDir(root.path()).filePath(QString::fromUtf8(relative)).toStdString();
    }
    // The records of a keyed data file in key order, read through the real component.
    std::vector<std::string> ReadKeys(const char* name, int keySize);

    QTemporaryDir root;
    std::unique_ptr<ScopedEnv> config;
    std::unique_ptr<ScopedEnv> dataHome;
    std::unique_ptr<ScopedEnv> windowsDirectory;
};

void SessionTest::initTestCase() {
    QVERIFY(root.isValid());
    for (const char* folder : {"data", "home", "windows"}) {
        QVERIFY(QDir(root.path()).mkpath(QString::fromUtf8(folder)));
    }
    config = std::make_unique<ScopedEnv>("TALVO_CONFIG", Path("talvo.ini").c_str());
    dataHome = std::make_unique<ScopedEnv>("XDG_DATA_HOME", Path("home").c_str());
    windowsDirectory = std::make_unique<ScopedEnv>("ORDELIN_WINDIR", Path("windows").c_str());
    talvo::RegisterTalvoLib();

    // The input: customer records keyed on their number, in the engine's real files.
    const talvo::tool::DataGenerator records(talvo::tool::Layout::kCustomer, kRecords, 7);
    const talvo::tool::LayoutInfo& layout = records.layout();
    CDornApi client("Ordelin Utility", 100, 51, 0, false);
    QVERIFY(client.Connect(nullptr, false));
    QVERIFY(client.FindOrAddDirectoryEntry("DAT", platform::ToPlatformPath(Path("data")).c_str()) >=
            0);
    QVERIFY(client.CreateKeyedFile("CUST", "DAT", static_cast<int32_t>(layout.recordSize),
                                   static_cast<int32_t>(layout.keySize)));
    QVERIFY(client.OpenFile(1, "CUST", "DAT"));
    for (int i = 0; i < kRecords; ++i) {
        const std::string record = records.Record(static_cast<uint64_t>(i));
        const auto* bytes = reinterpret_cast<const uint8_t*>(record.data());
        QVERIFY(client.WriteKeyed(1, bytes, static_cast<int32_t>(record.size()),
                                  bytes + layout.keyPosition,
                                  static_cast<int32_t>(layout.keySize)));
    }
    QVERIFY(client.CloseChannel(1));
}

void SessionTest::cleanupTestCase() {
    windowsDirectory.reset();
    dataHome.reset();
    config.reset();
}

std::vector<std::string> SessionTest::ReadKeys(const char* name, int keySize) {
    std::vector<std::string> keys;
    CDornApi client("Ordelin Utility", 100, 51, 0, false);
    if (!client.Connect(nullptr, false)) return keys;
    client.FindOrAddDirectoryEntry("DAT", platform::ToPlatformPath(Path("data")).c_str());
    if (!client.OpenFile(2, name, "DAT")) return keys;
    std::vector<uint8_t> key(static_cast<size_t>(keySize) + 1);
    const std::vector<uint8_t> start(254, 0);
    client.PositionByKey(2, start.data(), 254);
    int32_t length = keySize;
    while (client.ReadNextKey(2, key.data(), length)) {
        keys.emplace_back(reinterpret_cast<const char*>(key.data()), static_cast<size_t>(keySize));
        length = keySize;
    }
    client.CloseChannel(2);
    return keys;
}

void SessionTest::definesAKeyAndBuildsTheOutputFile() {
    OpenedUrls desktop;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "open");
    int argc = 1;
    char name[] = "ordelin";
    char* argv[] = {name, nullptr};
    qtfront::FrontEnd frontEnd(argc, argv);
    drive::BoxAnswerer boxes;

    std::vector<int> barSteps;
    bool barShownWhileStepping = true;
    bool waitCursorWhileStepping = true;
    bool barHiddenAfter = false;
    PaintCounter barPaints;
    QString summary;
    std::vector<QString> keyFields;
    bool buildEnabledAndFocused = false;

    COrdelinApp app(platform::ToPlatformPath(Path("data/CUST")) + " /DDAT");
    app.SetDialogObserver([&](COrdelinDlg&) {
        drive::When(
            [] { return drive::FindDialog(res::kMainDialog) != nullptr; },
            [&] {
                auto* bar = qobject_cast<QProgressBar*>(Main(D::kProgress));
                QObject::connect(bar, &QProgressBar::valueChanged, bar, [&, bar](int value) {
                    barSteps.push_back(value);
                    barShownWhileStepping = barShownWhileStepping && bar->isVisible();
                    const QCursor* cursor = QApplication::overrideCursor();
                    waitCursorWhileStepping = waitCursorWhileStepping && cursor != nullptr &&
                                              cursor->shape() == Qt::WaitCursor;
                });
                bar->installEventFilter(&barPaints);

                // City (bytes 61 to 78), then the customer number (0 to 7): a key of 26 bytes.
                drive::TypeInto(Main(D::kOutputFile), QStringLiteral("CUSTCITY"));
                drive::TypeInto(Main(D::kOutputKeySize), QStringLiteral("26"));
                drive::TypeInto(Main(D::kFieldPosition), QStringLiteral("61"));
                drive::PressKey(Qt::Key_Tab);
                drive::TypeInto(Main(D::kFieldLength), QStringLiteral("18"));
                drive::Click(Main(D::kAddKeyField));
                drive::TypeInto(Main(D::kFieldPosition), QStringLiteral("0"));
                drive::Click(Main(D::kAddKeyField));  // the length edit offers the 8 bytes left
                drive::ChooseComboItem(qobject_cast<QComboBox*>(Main(D::kOutputDirectory)),
                                       QStringLiteral("DAT"));

                summary = qobject_cast<QLabel*>(Main(D::kKeyFieldSummary))->text();
                auto* list = qobject_cast<QListWidget*>(Main(D::kKeyFieldList));
                for (int i = 0; i < list->count(); ++i) keyFields.push_back(list->item(i)->text());
                buildEnabledAndFocused = Main(D::kBuildFile)->isEnabled() &&
                                         QApplication::focusWidget() == Main(D::kBuildFile);

                drive::PressKey(Qt::Key_Return);  // Build File has the focus
                barHiddenAfter = !bar->isVisible() && QApplication::overrideCursor() == nullptr;
                bar->removeEventFilter(&barPaints);
                drive::Click(Main(D::kClose));
            });
    });
    QVERIFY(!app.InitInstance());
    QCOMPARE(app.GetOutcome(), COrdelinApp::Outcome::Ran);
    QCOMPARE(app.ExitStatus(), 0);

    QCOMPARE(summary, QStringLiteral("Key Fields: (26 of 26 bytes currently defined)"));
    QCOMPARE(keyFields, (std::vector<QString>{QStringLiteral("61\t18"), QStringLiteral("0\t8")}));
    QVERIFY(buildEnabledAndFocused);

    // What the build shows and makes: every record under its city and number, in key order.
    const talvo::tool::DataGenerator records(talvo::tool::Layout::kCustomer, kRecords, 7);
    std::vector<std::string> expected;
    for (int i = 0; i < kRecords; ++i) {
        const std::string record = records.Record(static_cast<uint64_t>(i));
        expected.push_back(record.substr(61, 18) + record.substr(0, 8));
    }
    std::sort(expected.begin(), expected.end());
    const std::vector<std::string> keys = ReadKeys("CUSTCITY", 26);
    QCOMPARE(keys.size(), expected.size());
    QVERIFY(keys == expected);
    QCOMPARE(boxes.Texts(),
             std::vector<QString>{QStringLiteral("%1 records were written").arg(kRecords)});

    // 3000 records: the bar shows a range of 30 and moves one step every 100 records, each step
    // painted at once (the build does not return to the event loop), under the wait cursor.
    std::vector<int> everyStep(30);
    std::iota(everyStep.begin(), everyStep.end(), 1);
    QCOMPARE(barSteps, everyStep);
    QVERIFY(barShownWhileStepping);
    QVERIFY(waitCursorWhileStepping);
    QVERIFY(barPaints.paints >= 30);
    QVERIFY(barHiddenAfter);

    // The list file went to the desktop: it records the run.
    QCOMPARE(desktop.urls.size(), 1);
    QFile list(desktop.urls[0].toLocalFile());
    QVERIFY(list.fileName().endsWith(QStringLiteral(".htm")));
    QVERIFY(list.open(QIODevice::ReadOnly));
    const QByteArray report = list.readAll();
    QVERIFY(report.contains("Input file: CUST on DAT"));
    QVERIFY(report.contains("Output file: CUSTCITY on DAT"));
    QVERIFY(report.contains(QStringLiteral("Records written: %1,").arg(kRecords).toUtf8()));
    QVERIFY(!Main(D::kProgress));  // the window is gone
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

QTEST_MAIN(SessionTest)
#include "session_test.moc"
