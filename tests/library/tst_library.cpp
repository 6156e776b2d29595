#include "library/driverdetection.h"
#include "library/library.h"
#include "library/writer.h"

#include "device/timings.h"
#include "panelrack.h"
#include "support/bootframe.h"
#include "support/logcapture.h"

#include <QPointer>
#include <QtTest>

// The Library facade and its workers: which panels a scan keeps, which files
// a load refuses, what the writer reports, and the keep-alive's schedule.
class TestLibrary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { library.reset(); }
    void scanKeepsKnownPanelsAndFreesTheRest();
    void driverDetection();
    void load_data();
    void load();
    void theWriterReports_data();
    void theWriterReports();
    void keepAliveWakesEachPeriodOnlyWhileOn();

private:
    QTemporaryDir m_files;
    QString m_good;
};

Q_DECLARE_METATYPE(FirmwareImage::Check)

void TestLibrary::initTestCase()
{
    QVERIFY(Library::start());
    Timings::current().linkTimeoutMs = 150;
    Timings::current().wakeUpPauseMs = 60;
    m_good = m_files.filePath(QStringLiteral("good.hex"));
    QVERIFY(intelhex::writeFile(m_good, intelhex::file(intelhex::split(0x1000, BootFrame::pattern(128, 1)))));
}

void TestLibrary::scanKeepsKnownPanelsAndFreesTheRest()
{
    PanelRack rack;
    PanelOptions options = PanelRack::unpaced();
    QVERIFY(rack.add(QStringLiteral("port10"), options));
    options.modelByte = 2;
    QVERIFY(rack.add(QStringLiteral("port3"), options));
    options.modelByte = 3;
    VirtualPanel *unknown = rack.add(QStringLiteral("port7"), options);
    QVERIFY(unknown);
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

void TestLibrary::load_data()
{
    using namespace intelhex;
    QTest::addColumn<QByteArray>("content");  // null: no such file
    QTest::addColumn<FirmwareImage::Check>("failure");
    QTest::addColumn<qint64>("at");
    const QByteArray word = bytes({0x11, 0x22, 0x33, 0x00});
    const QByteArray code = data(0x2000, word);
    QTest::newRow("good") << lines({code, endOfFile()}) << FirmwareImage::Loaded << qint64(0);
    QTest::newRow("configuration words up to the last address")
        << lines({code, linear(2), data(0xAFF4, QByteArray(12, '\x01')), endOfFile()}) << FirmwareImage::Loaded << qint64(0);
    QTest::newRow("missing") << QByteArray() << FirmwareImage::Missing << qint64(0);
    QTest::newRow("damaged line") << lines({code, ":0400000011223300", endOfFile()}) << FirmwareImage::Damaged << qint64(2);
    QTest::newRow("one address past the memory")
        << lines({code, linear(2), data(0xB000, word), endOfFile()}) << FirmwareImage::OutsideChip << qint64(0x15800);
    QTest::newRow("a line running past the memory")
        << lines({code, linear(2), data(0xAFF8, QByteArray(16, '\x01')), endOfFile()}) << FirmwareImage::OutsideChip
        << qint64(0x15800);
    QTest::newRow("protected page") << lines({code, linear(2), data(0xA800, word), endOfFile()})
                                    << FirmwareImage::ProtectedPage << qint64(0x15400);
    QTest::newRow("only configuration words")
        << lines({linear(2), data(0xAFF4, QByteArray(12, '\x01')), endOfFile()}) << FirmwareImage::NothingToWrite << qint64(0);
    QTest::newRow("only erased values") << lines({data(0x2000, QByteArray(16, '\xFF')), endOfFile()})
                                        << FirmwareImage::NothingToWrite << qint64(0);
}

// A refused file leaves nothing to write: the write after it fails before
// anything reaches the panel.
void TestLibrary::load()
{
    QFETCH(QByteArray, content);
    QFETCH(FirmwareImage::Check, failure);
    QFETCH(qint64, at);
    PanelRack rack;
    VirtualPanel *panel = rack.add(QStringLiteral("p"));
    QVERIFY(panel && rack.scan({QStringLiteral("p")}));
    const QString path = m_files.filePath(QStringLiteral("load.hex"));
    QFile::remove(path);
    QVERIFY(content.isNull() || intelhex::writeFile(path, content));
    QVERIFY(library.load(m_good));
    QCOMPARE(library.load(path), failure == FirmwareImage::Loaded);
    QCOMPARE(library.loadFailure(), failure);
    if (at)
        QCOMPARE(library.loadFailureAt(), at);
    if (failure != FirmwareImage::Loaded) {
        QVERIFY(!library.write(rack.path(QStringLiteral("p"))));
        QCOMPARE(library.lastError(), 4);
        QCOMPARE(panel->rowWrites(), 0);
    }
}

void TestLibrary::theWriterReports_data()
{
    QTest::addColumn<int>("fault");  // 0 none, 1 the panel gone before the erase, 2 line dropped at row 2
    QTest::addColumn<QStringList>("reports");
    QTest::addColumn<int>("lastError");
    const QString erase = QStringLiteral("library.erase() called with \"%1\" ...");
    const QString write = QStringLiteral("library.write() called with \"%1\" ...");
    QTest::newRow("erased and written")
        << 0 << QStringList{erase, "library.erase() returned true", write, "library.write() returned true"} << 0;
    QTest::newRow("erase fails") << 1 << QStringList{erase, "library.erase() returned false"} << 3;
    QTest::newRow("write fails")
        << 2 << QStringList{erase, "library.erase() returned true", write, "library.write() returned false"} << 5;
}

// Started and received as the install page does: the receiving slot deletes
// the writer.
void TestLibrary::theWriterReports()
{
    QFETCH(int, fault);
    QFETCH(QStringList, reports);
    QFETCH(int, lastError);
    PanelOptions options = PanelRack::unpaced();
    options.faults.dropLineAtRow = fault == 2 ? 2 : -1;
    PanelRack rack;
    VirtualPanel *panel = rack.add(QStringLiteral("COM3"), options);
    QVERIFY(panel);
    const QString port = rack.path(QStringLiteral("COM3"));
    QVERIFY(rack.scan({QStringLiteral("COM3")}) && library.load(m_good));
    if (fault == 1)
        panel->stop();

    LogCapture log;
    QElapsedTimer clock;
    qint64 lastWork = 0;
    library.setCallback(port, [&](int) { lastWork = clock.elapsed(); });
    QList<bool> writes;
    qint64 reportedAt = -1;
    auto *writeThread = new QThread;
    auto *writer = new Writer(port, writeThread);
    connect(writeThread, &QThread::started, writer, &Writer::process);
    connect(writer, &Writer::finished, this, [&](QObject *w, bool ok) { reportedAt = clock.elapsed(); delete w; writes << ok; });
    connect(writer, &Writer::finished, writeThread, &QThread::quit);
    const QPointer<QThread> thread = writeThread;
    clock.start();
    writeThread->start();
    QTRY_COMPARE_WITH_TIMEOUT(writes.size(), 1, 5000);
    QCOMPARE(writes.first(), fault == 0);
    QCOMPARE(library.lastError(), lastError);
    QStringList seen;
    for (const QString &line : log.lines())
        if (line.startsWith(QLatin1String("library.")))
            seen << line;
    for (QString &line : reports)
        line = line.arg(port);
    QCOMPARE(seen, reports);
    QCOMPARE(panel->inBootloader(), fault != 0);
    // The report comes the pause after the work itself ended.
    QVERIFY2(reportedAt - lastWork >= 60, qPrintable(QString::number(reportedAt - lastWork)));
    // The thread ends too, although its quit() comes after the report.
    QTRY_VERIFY(thread.isNull());
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
    library.setKeepAlive(false);
    Timings::current().keepAliveMs = Timings().keepAliveMs;
}

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"
