#include "library/library.h"

#include "panelrack.h"
#include "support/logcapture.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

namespace {
const QString kPass = QStringLiteral("Library::wakeUp() called.");

// When each pass began, taken as its line is written: under load the test
// may notice a pass late, or its exchange with the panel may be slow.
QElapsedTimer g_clock;
QMutex g_mutex;
QList<qint64> g_passes;
QtMessageHandler g_next = nullptr;

void stampPasses(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == kPass) {
        QMutexLocker lock(&g_mutex);
        g_passes.append(g_clock.elapsed());
    }
    g_next(type, context, message);
}

QList<qint64> passes()
{
    QMutexLocker lock(&g_mutex);
    return g_passes;
}

// Runs as the application object is destroyed, after the Library's own
// clean-up (routines run last-added first, and this one is added before any
// keep-alive starts): the keep-alive thread must be gone by then, not torn
// down later with the application's event loop gone.
void checkNoKeepAliveLeft()
{
    for (int i = 0; i < 500 && threadCount("keep-alive") > 0; ++i)
        QThread::msleep(10);
    if (threadCount("keep-alive") > 0) {
        fprintf(stderr, "FAIL: the keep-alive thread still runs as the application ends\n");
        std::_Exit(1);
    }
}
} // namespace

class TestKeepAlive : public QObject
{
    Q_OBJECT

private slots:
    void wakesEveryTenSecondsOnlyWhileOn();
};

// One run of about 31 s: two switches-on in a row, two passes, switched off
// and a full period without a pass, then on again as the program ends.
// Coarse timers fire up to 5 % early, so the k-th pass cannot begin before
// k x 9.5 s; lateness only means a loaded machine, so the upper bounds just
// tell a 10 s period from a missing pass.
void TestKeepAlive::wakesEveryTenSecondsOnlyWhileOn()
{
    qAddPostRoutine(&checkNoKeepAliveLeft);
    QVERIFY(Library::start());
    PanelRack rack;
    VirtualPanel *panel = rack.add(QStringLiteral("COM3"));
    QVERIFY(panel);
    QVERIFY(rack.scan({QStringLiteral("COM3")}));
    const int threads = threadCount();

    LogCapture log;
    library.setKeepAlive(false);  // nothing running: does nothing
    QVERIFY(log.lines().isEmpty());
    g_next = qInstallMessageHandler(stampPasses);
    g_clock.start();
    library.setKeepAlive(true);
    library.setKeepAlive(true);
    QCOMPARE(log.count(QStringLiteral("Library::fireKeepAliveThread() called.")), 2);
    // The first switch-on's thread is gone: only one keep-alive runs.
    // (A new thread takes its name a moment after it appears.)
    QTRY_COMPARE(threadCount("keep-alive"), 1);
    QTRY_COMPARE(threadCount(), threads + 1);
    panel->clearPackets();

    QTRY_VERIFY_WITH_TIMEOUT(passes().size() >= 2, 30000);
    QList<qint64> at = passes();
    QCOMPARE(at.size(), 2);
    QVERIFY2(at[0] >= 9500 - 100 && at[0] <= 15000, qPrintable(QString::number(at[0])));
    QVERIFY2(at[1] >= 19000 - 100 && at[1] - at[0] <= 15000, qPrintable(QString::number(at[1])));
    // Each pass reached the panel: one read of the device ID area.
    QTRY_COMPARE(log.count(QStringLiteral("picboot::wakeUp() returned 4")), 2);
    QCOMPARE(panel->packets().size(), 2);

    library.setKeepAlive(false);
    library.setKeepAlive(false);
    QTRY_COMPARE(threadCount("keep-alive"), 0);
    QTRY_COMPARE(threadCount(), threads);
    // A third pass would have begun by now.
    QTest::qWait(int(qMax<qint64>(0, at[1] + 11000 - g_clock.elapsed())));
    QCOMPARE(passes().size(), 2);
    QCOMPARE(log.count(QStringLiteral("Library::fireKeepAliveThread() called.")), 2);
    qInstallMessageHandler(g_next);

    // Left on as the program ends.
    library.setKeepAlive(true);
    QTRY_COMPARE(threadCount("keep-alive"), 1);
}

QTEST_GUILESS_MAIN(TestKeepAlive)
#include "tst_keepalive.moc"
