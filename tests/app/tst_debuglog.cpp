#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/debuglog.h"
#include "support/logcapture.h"

// The run logs go to a scratch folder here; the program's own folder is
// never touched by tests.
class TestDebugLog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void linesReachTheFileAndTheConsole();
    void keepsOnlyTheLastRuns();
    void unusableFolderStillLogsToTheConsole();
    void defaultFolderIsPerUser();
};

namespace {

QStringList runLogs(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("run-*.log")}, QDir::Files, QDir::Name);
}

QString readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

} // namespace

void TestDebugLog::cleanup()
{
    DebugLog::uninstall();
}

void TestDebugLog::linesReachTheFileAndTheConsole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    LogCapture console;

    const QString path = DebugLog::install(dir.path());
    QVERIFY(!path.isEmpty());
    QVERIFY(QFileInfo(path).fileName().startsWith(QLatin1String("run-")));
    qDebug() << "ErrorPage():" << QString::fromUtf8("Falha de conexão com o dispositivo.");
    qDebug() << "backButtonPressed(int) called.";
    DebugLog::uninstall();
    qDebug() << "after the log was closed";

    // The console (here: the capture behind the handler) still gets every line.
    QVERIFY(console.contains(QString::fromUtf8("ErrorPage(): \"Falha de conexão com o dispositivo.\"")));
    QVERIFY(console.contains(QStringLiteral("backButtonPressed(int) called.")));

    const QString text = readAll(path);
    QVERIFY(text.contains(QString::fromUtf8("ErrorPage(): \"Falha de conexão com o dispositivo.\"\n")));
    QVERIFY(text.contains(QStringLiteral(" backButtonPressed(int) called.\n")));
    QVERIFY(!text.contains(QStringLiteral("after the log was closed")));
}

void TestDebugLog::keepsOnlyTheLastRuns()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // 25 older runs, plus a file that is not a run log and must survive.
    for (int i = 0; i < 25; ++i) {
        QFile old(dir.filePath(QStringLiteral("run-20000101-0000%1-000.log").arg(i, 2, 10, QLatin1Char('0'))));
        QVERIFY(old.open(QIODevice::WriteOnly));
    }
    QFile other(dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();

    const QString path = DebugLog::install(dir.path());
    QVERIFY(!path.isEmpty());

    const QStringList kept = runLogs(dir.path());
    QCOMPARE(kept.size(), 20);
    QVERIFY(kept.contains(QFileInfo(path).fileName()));
    // The oldest went first.
    QVERIFY(!kept.contains(QStringLiteral("run-20000101-000005-000.log")));
    QVERIFY(kept.contains(QStringLiteral("run-20000101-000006-000.log")));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("notes.txt"))));

    // A second run in the same folder gets a file of its own.
    DebugLog::uninstall();
    const QString second = DebugLog::install(dir.path());
    QVERIFY(!second.isEmpty());
    QVERIFY(second != path);
    QCOMPARE(runLogs(dir.path()).size(), 20);
}

void TestDebugLog::unusableFolderStillLogsToTheConsole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A file stands where the folder should be.
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    QFile file(blocked);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    LogCapture console;
    QCOMPARE(DebugLog::install(blocked + QStringLiteral("/logs")), QString());
    qDebug() << "still heard";
    DebugLog::uninstall();
    QVERIFY(console.contains(QStringLiteral("still heard")));
}

void TestDebugLog::defaultFolderIsPerUser()
{
    const QString folder = DebugLog::defaultFolder();
    QCOMPARE(folder, QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/logs"));
}

QTEST_GUILESS_MAIN(TestDebugLog)
#include "tst_debuglog.moc"
