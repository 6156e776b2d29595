#include "library/driverdetection.h"
#include "library/library.h"

#include "device/timings.h"
#include "panelrack.h"
#include "support/bootframe.h"
#include "support/logcapture.h"

#include <QtTest>

// The Library facade: which panels a scan keeps and frees, what a refused
// file leaves to write, the driver lookup, and the keep-alive's schedule.
class TestLibrary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { library.reset(); }
    void scanKeepsKnownPanelsAndFreesTheRest();
    void driverDetection();
    void keepAliveWakesEachPeriodOnlyWhileOn();

private:
    QTemporaryDir m_files;
    QString m_good;
};

void TestLibrary::initTestCase()
{
    QVERIFY(Library::start());
    Timings::current().linkTimeoutMs = 150;
    Timings::current().wakeUpPauseMs = 60;
    m_good = m_files.filePath(QStringLiteral("good.hex"));
    QVERIFY(intelhex::writeFile(m_good, intelhex::file(intelhex::split(0, BootFrame::pattern(2, 2))
                                                       + intelhex::split(0x1000, BootFrame::pattern(128, 1)))));
}

void TestLibrary::scanKeepsKnownPanelsAndFreesTheRest()
{
    PanelRack rack;
    PanelOptions options = PanelRack::unpaced();
    QVERIFY(rack.add(QStringLiteral("port10"), options));
    options.modelByte = 2;
    VirtualPanel *second = rack.add(QStringLiteral("port3"), options);
    options.modelByte = 3;
    VirtualPanel *unknown = rack.add(QStringLiteral("port7"), options);
    QVERIFY(second && unknown);
    rack.publish({rack.path(QStringLiteral("port5"))});
    const int held = openDescriptors(unknown->devicePath());
    library.reset();
    for (const char *name : {"port3", "port7", "port10", "port5"})
        library.addPort(rack.path(QLatin1String(name)));
    // "…10" sorts before "…3": code units, not numbers.
    const QList<QString> found{rack.path(QStringLiteral("port10")), rack.path(QStringLiteral("port3"))};
    QCOMPARE(library.foundPorts(), found);
    QCOMPARE(library.deviceDescriptions(), (QList<QString>{QStringLiteral("KR 210 Nova na porta ") + found[0],
                                                           QStringLiteral("QD 200 Nova na porta ") + found[1]}));
    // The panel of an unknown model is left out with its link closed.
    QCOMPARE(openDescriptors(unknown->devicePath()), held);
    // reset() closes the links it forgets, so the next scan finds them again.
    library.reset();
    QVERIFY(library.foundPorts().isEmpty());
    QVERIFY(rack.scan({QStringLiteral("port10"), QStringLiteral("port3")}));
    QVERIFY(library.closePort(found[0]));
    QCOMPARE(library.foundPorts(), QList<QString>{found[1]});
    // A port the table no longer holds: each step fails with its own code.
    library.setCallback(found[0], [](int) {});
    const QList<int> codes{library.erase(found[0]) ? 0 : library.lastError(),
                           library.write(found[0]) ? 0 : library.lastError(),
                           library.closePort(found[0]) ? 0 : library.lastError()};
    QCOMPARE(codes, (QList<int>{3, 5, 2}));
    // A file refused after a good one leaves nothing to write: no row goes
    // out, and no update starts.
    QVERIFY(library.load(m_good) && !library.load(m_files.filePath(QStringLiteral("none.hex"))));
    QVERIFY(library.erase(found[1]) && !library.write(found[1]) && library.lastError() == 4);
    QVERIFY(!library.startUpdate(found[1], nullptr, nullptr));
    QCOMPARE(second->rowWrites(), 0);
}

// The bridge's driver among the names the system lists, in any case, within
// the count it reported; a full table or a failed listing finds nothing.
void TestLibrary::driverDetection()
{
    const QStringList loaded{"silabenm.sys.old", QString(), "usilabenm.sys", "SilabEnm.SYS"};
    QVERIFY(detectDriversIn(loaded, true, 1023));
    QVERIFY(!detectDriversIn(loaded, true, 3));
    QVERIFY(!detectDriversIn(loaded, true, 1024));
    QVERIFY(!detectDriversIn(loaded, false, 4));
    QStringList modules;
    int needed = -1;
    QVERIFY(intelhex::writeFile(m_files.filePath("modules"), "cp210x 32768 0 - Live 0x0\n\nusbserial 57344 1 cp210x"));
    QVERIFY(listModulesIn(m_files.filePath("modules"), &modules, &needed) && needed == 2);
    QCOMPARE(modules, QStringList({"cp210x", "usbserial"}));
}

// On a shortened period: two switches-on leave one timer, a switch-off ends
// the thread at once, a panel that misses a pass is not woken again.
void TestLibrary::keepAliveWakesEachPeriodOnlyWhileOn()
{
    const int period = 100;
    Timings::current().keepAliveMs = period;
    PanelRack rack;
    VirtualPanel *panel = rack.add(QStringLiteral("COM3"));
    QVERIFY(panel && rack.scan({QStringLiteral("COM3")}));
    LogCapture log;
    const QString pass = QStringLiteral("Library::wakeUp() called.");
    auto passes = [&] { return log.count(pass); };
    QElapsedTimer clock;
    clock.start();
    library.setKeepAlive(true);
    library.setKeepAlive(true);
    QTRY_COMPARE(threadCount("keep-alive"), 1);
    // Two timers would bring the third pass near one and a half periods.
    QTRY_VERIFY(passes() >= 3);
    QVERIFY2(clock.elapsed() >= 3 * period * 95 / 100, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(log.count(QStringLiteral("picboot::wakeUp() returned 4")) >= 2);
    library.setKeepAlive(false);
    const int seen = passes();
    QTRY_COMPARE(threadCount("keep-alive"), 0);
    QTest::qWait(2 * period);
    QCOMPARE(passes(), seen);

    PanelFaults late;
    late.probeDelayed = true;
    late.probeDelayMs = Timings().keepAliveAnswerMs + 300;
    panel->setFaults(late);
    panel->clearPackets();
    library.setKeepAlive(true);
    QTRY_VERIFY(passes() >= seen + 3);
    QCOMPARE(panel->packets().size(), 1);
    QCOMPARE(log.countPrefix(QStringLiteral("Connection::wakeUp(): the panel on")), 1);
    // Left on: the program's end must end the thread and wait for it, or it is
    // destroyed while it runs.
    Timings::current().keepAliveMs = Timings().keepAliveMs;
}

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"
