#include "device/timings.h"
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
    void wakesEachPeriodOnlyWhileOn();
};

// The period is shortened; the program's own 10 s comes from the same
// place. Two switches-on in a row, passes, a switch-off with a pass already
// due, a panel that stops answering, then on again as the program ends.
void TestKeepAlive::wakesEachPeriodOnlyWhileOn()
{
    QCOMPARE(Timings().keepAliveMs, 10000);
    const int period = 200;
    Timings::current().keepAliveMs = period;
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

    QTRY_VERIFY(passes().size() >= 2);
    const QList<qint64> at = passes();
    // Coarse timers fire up to 5 % early and keep their schedule after a late
    // pass, so the k-th pass cannot begin before k periods less 5 %; two
    // timers would put two passes near the first period.
    QVERIFY2(at[0] >= period * 95 / 100 && at[1] >= 2 * period * 95 / 100, qPrintable(QString::number(at[1])));
    // Each pass reached the panel: one read of the device ID area.
    QTRY_VERIFY(log.count(QStringLiteral("picboot::wakeUp() returned 4")) >= 2);

    // With a pass already due while the window is busy, switching off stops
    // it at once: no pass runs after the switch.
    QThread::msleep(unsigned(2 * period));
    library.setKeepAlive(false);
    const int seen = passes().size();
    QTest::qWait(3 * period);
    QCOMPARE(passes().size(), seen);
    QTRY_COMPARE(threadCount("keep-alive"), 0);
    QTRY_COMPARE(threadCount(), threads);

    // A panel that stops answering is read once with the short answer time,
    // then left alone: the window is not frozen on every pass.
    PanelFaults late;
    late.probeDelayed = true;
    late.probeDelayMs = Timings().keepAliveAnswerMs + 500;
    panel->setFaults(late);
    panel->clearPackets();
    library.setKeepAlive(true);
    QTRY_COMPARE(log.countPrefix(QStringLiteral("Connection::wakeUp(): the panel on")), 1);
    const int after = passes().size();
    QTRY_VERIFY(passes().size() >= after + 3);
    QCOMPARE(panel->packets().size(), 1);
    QCOMPARE(log.countPrefix(QStringLiteral("Connection::wakeUp(): the panel on")), 1);
    qInstallMessageHandler(g_next);

    // Left on as the program ends.
    QTRY_COMPARE(threadCount("keep-alive"), 1);
}

QTEST_GUILESS_MAIN(TestKeepAlive)
#include "tst_keepalive.moc"
