#include "library/library.h"

#include "panelrack.h"
#include "support/logcapture.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

class TestKeepAlive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void switchingOffWithoutKeepAliveDoesNothing();
    void wakesEveryTenSecondsOnlyWhileOn();
    void leftRunningAtExit();
};

namespace {
// Runs as the application object is destroyed, after the Library's own
// clean-up (routines run last-added first, and this one is added before any
// keep-alive starts): the keep-alive thread must be gone by then, not torn
// down later with the application's event loop gone.
void checkNoKeepAliveLeft()
{
    for (int i = 0; i < 200 && threadsNamed("keep-alive") > 0; ++i)
        QThread::msleep(10);
    if (threadsNamed("keep-alive") > 0) {
        fprintf(stderr, "FAIL: the keep-alive thread still runs as the application ends\n");
        std::_Exit(1);
    }
}
} // namespace

void TestKeepAlive::initTestCase()
{
    qAddPostRoutine(&checkNoKeepAliveLeft);
}

void TestKeepAlive::switchingOffWithoutKeepAliveDoesNothing()
{
    const int threads = threadCount();
    LogCapture log;
    library.setKeepAlive(false);
    library.setKeepAlive(false);
    QTest::qWait(50);
    QVERIFY(log.lines().isEmpty());
    QCOMPARE(threadCount(), threads);
}

// One run of about 32 s: two switches-on in a row, two wake-up passes, then
// switched off and a full period without a pass.
void TestKeepAlive::wakesEveryTenSecondsOnlyWhileOn()
{
    QVERIFY(Library::start());
    PanelRack rack;
    VirtualPanel *panel = rack.add(QStringLiteral("COM3"));
    QVERIFY(panel);
    rack.publish();
    library.reset();
    QVERIFY(library.addPort(rack.path(QStringLiteral("COM3"))));
    const int threads = threadCount();
    const QString pass = QStringLiteral("Library::wakeUp() called.");

    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    library.setKeepAlive(true);
    library.setKeepAlive(true);
    QCOMPARE(log.count(QStringLiteral("Library::fireKeepAliveThread() called.")), 2);
    // The first switch-on's thread is gone: only one keep-alive runs.
    // (A new thread takes its name a moment after it appears.)
    QTRY_COMPARE(threadsNamed("keep-alive"), 1);
    QTRY_COMPARE(threadCount(), threads + 1);
    panel->clearPackets();

    // Qt's coarse timers may fire up to 5 % early or late.
    QTest::qWait(int(9400 - clock.elapsed()));
    QCOMPARE(log.count(pass), 0);
    QTRY_COMPARE_WITH_TIMEOUT(log.count(pass), 1, 2000);
    const qint64 first = clock.elapsed();
    QVERIFY2(first >= 9400 && first <= 10700, qPrintable(QString::number(first)));
    // The pass reached the panel: one read of the device ID area.
    QCOMPARE(log.count(QStringLiteral("picboot::wakeUp() returned 4")), 1);
    QCOMPARE(panel->packets().size(), 1);

    QTest::qWait(int(first + 9400 - clock.elapsed()));
    QCOMPARE(log.count(pass), 1);
    QTRY_COMPARE_WITH_TIMEOUT(log.count(pass), 2, 2000);
    const qint64 second = clock.elapsed();
    QVERIFY2(second - first >= 9400 && second - first <= 10700, qPrintable(QString::number(second - first)));

    library.setKeepAlive(false);
    library.setKeepAlive(false);
    QTRY_COMPARE(threadCount(), threads);
    QCOMPARE(threadsNamed("keep-alive"), 0);
    QTest::qWait(int(second + 11000 - clock.elapsed()));
    QCOMPARE(log.count(pass), 2);
    QCOMPARE(log.count(QStringLiteral("Library::fireKeepAliveThread() called.")), 2);
}

// The program ends with keep-alive on.
void TestKeepAlive::leftRunningAtExit()
{
    library.setKeepAlive(true);
    QTRY_COMPARE(threadsNamed("keep-alive"), 1);
}

QTEST_GUILESS_MAIN(TestKeepAlive)
#include "tst_keepalive.moc"
