// The `ordelin` program as a user starts it, without a display: the exit status and standard
// error for a command line that does not split, a refused directory name, a refused network, a
// run that has no display to show its window on (also the one that would ask for the file and
// name first), and --version. None may need a window system.
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include "fsclient/dornapi.h"
#include "platform/path.h"
#include "platform/testing/scoped_env.h"
#include "talvo/talvolib.h"

class OrdelinProgramTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void exitStatusAndStandardError_data();
    void exitStatusAndStandardError();

  private:
    QTemporaryDir root;
};

void OrdelinProgramTest::initTestCase() {
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("data")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("home")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("windows")));
    // A real keyed input file, made through the real component.
    const QString config = root.filePath(QStringLiteral("talvo.ini"));
    platform::testing::ScopedEnv talvoConfig("TALVO_CONFIG", config.toLocal8Bit().constData());
    talvo::RegisterTalvoLib();
    CDornApi client("Ordelin Utility", 100, 51, 0, false);
    QVERIFY(client.Connect(nullptr, false));
    const std::string data = platform::ToPlatformPath(root.filePath("data").toStdString());
    QVERIFY(client.FindOrAddDirectoryEntry("DAT", data.c_str()) >= 0);
    QVERIFY(client.CreateKeyedFile("CUST", "DAT", 20, 4));
}

void OrdelinProgramTest::exitStatusAndStandardError_data() {
    const QString input = root.filePath(QStringLiteral("data/CUST"));
    const QString usage = QStringLiteral("usage: ordelin FILE /DNAME [/NET:NAME]\n");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");  // standard error: exactly the usage line, or holding
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << QString();
    QTest::newRow("no arguments") << QStringList{} << 2 << usage;
    QTest::newRow("no /D") << QStringList{input} << 2 << usage;
    QTest::newRow("empty /D") << QStringList{input, QStringLiteral("/D")} << 2 << usage;
    QTest::newRow("unterminated quote")
        << QStringList{input, QStringLiteral("/D\"DAT")} << 2 << usage;
    QTest::newRow("directory name refused")
        << QStringList{input, QStringLiteral("/DTOOLONG")} << 1
        << QStringLiteral("[Ordelin] The following Talvo error occurred:");
    QTest::newRow("network refused")
        << QStringList{input, QStringLiteral("/DDAT"), QStringLiteral("/NET:SERVER")} << 1
        << QStringLiteral("cannot connect to the network name \"SERVER\"");
    QTest::newRow("no display") << QStringList{input, QStringLiteral("/DDAT")} << 1
                                << QStringLiteral("no display to show the window on");
    QTest::newRow("choose, no display") << QStringList{QStringLiteral("--choose")} << 1
                                        << QStringLiteral("no display to show the window on");
    QTest::newRow("choose a file, no display")
        << QStringList{QStringLiteral("--choose"), input} << 1
        << QStringLiteral("no display to show the window on");
    QTest::newRow("choose two files") << QStringList{QStringLiteral("--choose"), input, input} << 2
                                      << QStringLiteral("usage: ordelin --choose [FILE]\n");
}

void OrdelinProgramTest::exitStatusAndStandardError() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, error);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QString::fromLatin1(variable));
    }
    environment.insert(QStringLiteral("TALVO_CONFIG"), root.filePath(QStringLiteral("talvo.ini")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("ORDELIN_WINDIR"), root.filePath(QStringLiteral("windows")));

    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(ORDELIN_EXE), arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    const QString standardError = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitCode(), status);
    const QByteArray standardOutput = program.readAllStandardOutput();
    if (status == 0) {
        QCOMPARE(standardOutput, QByteArray("ordelin 1.0\n"));
        QCOMPARE(standardError, QString());
        return;
    }
    QCOMPARE(standardOutput, QByteArray());
    if (status == 2) {
        QCOMPARE(standardError, error);
    } else {
        QVERIFY2(standardError.contains(error), qPrintable(standardError));
        QVERIFY(!standardError.contains(QStringLiteral("usage:")));
    }
}

QTEST_GUILESS_MAIN(OrdelinProgramTest)
#include "ordelin_program_test.moc"
