#include <QtTest>

#include "device/debuglog.h"

// The run log is what a technician mails to support after a failed update,
// so it must hold every line up to a crash. Run logs go to a scratch folder
// here; the program's own folder is never touched.
class TestDebugLog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { DebugLog::uninstall(); }
    void everyLineIsOnDiskAsSoonAsWritten();
    void keepsTheLastTwentyRuns();
    void runsInTheSameMillisecondGetFilesOfTheirOwn();
    void unusableFolderStillLogsToTheConsole();
};

namespace {

QStringList runLogs(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList({QStringLiteral("run-*.log")}, QDir::Files, QDir::Name);
}

bool touch(const QTemporaryDir &dir, const QString &name)
{
    return QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
}

} // namespace

void TestDebugLog::everyLineIsOnDiskAsSoonAsWritten()
{
    QTemporaryDir dir;
    QFile file(DebugLog::install(dir.path()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    // Read while the log is still open, as if the program died right after.
    for (const QString &line : {QString::fromUtf8("ErrorPage(): Falha de conexão com o dispositivo."),
                                QStringLiteral("backButtonPressed(int) called.")}) {
        qDebug().noquote() << line;
        const QString written = QString::fromUtf8(file.readAll());
        QVERIFY2(written.endsWith(QLatin1Char(' ') + line + QLatin1Char('\n')) && written.count(QLatin1Char('\n')) == 1,
                 qPrintable(written));
    }
    DebugLog::uninstall();
}

// The newest 20 by the time they were written stay, whatever their names
// (run-X-1.log is not older than run-X.log), and so does an old one that
// another run still writes: twenty short runs must not delete a long one's.
void TestDebugLog::keepsTheLastTwentyRuns()
{
    QTemporaryDir dir;
    // 25 older runs, written a minute apart, their names sorting the other
    // way round; and a file of another kind that must survive.
    const QDateTime start = QDateTime::currentDateTime().addDays(-1);
    const auto name = [](int minute) { return QStringLiteral("run-20000101-000000-000-%1.log").arg(99 - minute); };
    for (int minute = 0; minute < 25; ++minute) {
        QFile file(dir.filePath(name(minute)));
        QVERIFY(file.open(QIODevice::WriteOnly)
                && file.setFileTime(start.addSecs(60 * minute), QFileDevice::FileModificationTime));
    }
    QVERIFY(touch(dir, QStringLiteral("notes.txt")));
    QLockFile held(dir.filePath(name(0) + QStringLiteral(".lock")));
    QVERIFY(held.tryLock(0));
    const QString path = DebugLog::install(dir.path());
    QStringList expected{QFileInfo(path).fileName(), name(0)};
    for (int minute = 6; minute < 25; ++minute)
        expected << name(minute);
    expected.sort();
    QCOMPARE(runLogs(dir), expected);
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("notes.txt"))));
    DebugLog::uninstall();
}

void TestDebugLog::runsInTheSameMillisecondGetFilesOfTheirOwn()
{
    QTemporaryDir dir;
    // Earlier runs under every stamp from now until the stamps are well
    // ahead of the clock.
    const QDateTime start = QDateTime::currentDateTime();
    int runs = 0;
    while (runs < 20000 && start.addMSecs(runs) < QDateTime::currentDateTime().addMSecs(3000))
        QVERIFY(touch(dir, start.addMSecs(runs++).toString(QStringLiteral("'run-'yyyyMMdd-HHmmss-zzz'.log'"))));
    const QString path = DebugLog::install(dir.path(), 100000);
    QVERIFY2(path.endsWith(QLatin1String("-1.log")), qPrintable(path));
    QCOMPARE(runLogs(dir).size(), runs + 1);
    DebugLog::uninstall();
}

// The console, here the test's own handler, hears every line whatever
// became of the file.
void TestDebugLog::unusableFolderStillLogsToTheConsole()
{
    QTemporaryDir dir;
    // A file stands where the folder should be.
    QVERIFY(touch(dir, QStringLiteral("blocked")));
    QCOMPARE(DebugLog::install(dir.filePath(QStringLiteral("blocked/logs"))), QString());
    QTest::ignoreMessage(QtDebugMsg, "still heard");
    qDebug("still heard");
}

QTEST_GUILESS_MAIN(TestDebugLog)
#include "tst_debuglog.moc"
