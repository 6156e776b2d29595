#include "device/connection.h"
#include "device/connectionfactory.h"
#include "device/devicepath.h"
#include "device/picboot.h"
#include "device/portlister.h"
#include "device/portprobe.h"
#include "device/timings.h"
#include "sim/virtualpanel.h"
#include "support/bootframe.h"
#include "support/fixtures.h"
#include "support/intelhex.h"
#include "support/logcapture.h"

#include <QSerialPort>
#include <QtTest>

#include <memory>

#include <unistd.h>

// Finding a panel on a port and the link to it, against the virtual panel:
// every identification result with its debug lines, the port left closed on
// every path, the protected page and a closed link.
class TestDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { PortLister::clearOverride(); }
    void theProgramKeepsItsOwnWaits();
    void identification_data();
    void identification();
    void portsThatCannotBeUsed();
    void aPortTheUserMayNotOpen();
    void aPortWhoseDriverNeverReturns();
    void theProtectedPageAndAClosedLink();

private:
    std::unique_ptr<VirtualPanel> startPanel(const PanelFaults &faults = PanelFaults(), int modelByte = 1);
    // The factory's result; -100 when the port was left open.
    int identify();
    QString m_location;
};

Q_DECLARE_METATYPE(PanelFaults)

namespace {
const QByteArray kProbeReply = QByteArray::fromHex("555501010000ff08100000e704");
QString quoted(const QString &text) { return QLatin1Char('"') + text + QLatin1Char('"'); }
} // namespace

void TestDevice::initTestCase()
{
    Timings::current().answerMs = 300;
    Timings::current().linkTimeoutMs = 150;
    Timings::current().probeGraceMs = 200;
    QVERIFY(ConnectionFactory::start());
}

// Every test shortens these; the program must still wait as long as the
// panel and the technician need.
void TestDevice::theProgramKeepsItsOwnWaits()
{
    const Timings program;
    QCOMPARE(QList<int>({program.answerMs, program.probeGraceMs, program.linkTimeoutMs, program.keepAliveMs,
                         program.keepAliveAnswerMs, program.scanDisplayMs, program.wakeUpPauseMs}),
             QList<int>({2000, 1000, 3000, 10000, 300, 2000, 1000}));
}

std::unique_ptr<VirtualPanel> TestDevice::startPanel(const PanelFaults &faults, int modelByte)
{
    PanelOptions options;
    options.paced = false;
    options.faults = faults;
    options.modelByte = modelByte;
    auto panel = std::make_unique<VirtualPanel>(options);
    if (!panel->start())
        return nullptr;
    m_location = panel->devicePath();
    PortLister::setOverride({{DevicePath::nameFromLocation(m_location), m_location}});
    return panel;
}

int TestDevice::identify()
{
    ConnectionFactory factory;
    const int result = factory.getConnectionID(m_location);
    QSerialPort again;
    again.setPortName(m_location);
    return again.open(QIODevice::ReadWrite) ? result : -100;
}

void TestDevice::identification_data()
{
    QTest::addColumn<PanelFaults>("faults");
    QTest::addColumn<int>("modelByte");
    QTest::addColumn<int>("result");
    QTest::addColumn<QList<int>>("answers");  // the size of each answer to a probe, as logged
    auto probeReply = [](int at, char value, int size = 13) {
        PanelFaults faults;
        faults.probeReplyOverride = kProbeReply + QByteArray(1, '\0');
        faults.probeReplyOverride[at] = value;
        faults.probeReplyOverride.resize(size);
        return faults;
    };
    // An answer that came but is not the reply gets one more probe.
    QTest::newRow("healthy panel") << PanelFaults() << 2 << 2 << QList<int>{13};
    QTest::newRow("probe reply: first byte") << probeReply(0, 0x54) << 1 << -7 << QList<int>{13, 13};
    QTest::newRow("probe reply: device id") << probeReply(8, 0x11) << 1 << -7 << QList<int>{13, 13};
    QTest::newRow("probe reply: short") << probeReply(0, 0x55, 12) << 1 << -7 << QList<int>{12, 12};
    QTest::newRow("probe reply: over-long") << probeReply(0, 0x55, 14) << 1 << -7 << QList<int>{14, 14};
    QTest::newRow("the first probe reply spoilt by a stray byte: asked again")
        << with([](PanelFaults &f) { f.probeNoiseByte = true; }) << 2 << 2 << QList<int>{13, 13};
    QTest::newRow("no model byte") << with([](PanelFaults &f) { f.idMissing = true; }) << 1 << -1 << QList<int>{13};
    QTest::newRow("two model bytes") << with([](PanelFaults &f) { f.idTwoBytes = true; }) << 1 << -1 << QList<int>{13};
    QTest::newRow("model byte 0") << PanelFaults() << 0 << 0 << QList<int>{13};
    QTest::newRow("probe reply in two parts")
        << with([](PanelFaults &f) { f.probeSplit = true; f.probeSplitPauseMs = 100; }) << 2 << 2 << QList<int>{13};
    QTest::newRow("probe reply past the answer time")
        << with([](PanelFaults &f) { f.probeDelayed = true; f.probeDelayMs = 450; }) << 1 << -7 << QList<int>{0};
}

// One probe, the model request only after a right reply, and a link exactly
// when the identification succeeded.
void TestDevice::identification()
{
    QFETCH(PanelFaults, faults);
    QFETCH(int, modelByte);
    QFETCH(int, result);
    QFETCH(QList<int>, answers);
    auto panel = startPanel(faults, modelByte);
    QVERIFY(panel);
    LogCapture log;
    QCOMPARE(identify(), result);
    const QString name = "[ " + quoted(DevicePath::nameFromLocation(m_location)) + " ]: ";
    QStringList expected;
    for (int size : answers)
        expected << name + "wrote 9 bytes" << name + "response size is " + QString::number(size);
    if (result != -7)
        expected << name + "wrote 2 bytes";
    QCOMPARE(log.lines(), expected);
    if (faults.probeDelayed)
        return;  // its late reply would meet the next probe
    ConnectionFactory factory;
    std::unique_ptr<Connection> connection(factory.getConnection(m_location));
    QCOMPARE(bool(connection), result >= 0);
    QVERIFY(log.contains("getConnectionID: " + quoted(m_location) + " returned " + QString::number(result)));
    if (connection) {
        QCOMPARE(connection->id(), result);
        QCOMPARE(connection->readDeviceId(connection->handle()), 0x1008);
        QVERIFY(connection->close());
    }
}

// A port another program holds, one our own link holds, one not listed:
// nothing is sent.
void TestDevice::portsThatCannotBeUsed()
{
    auto panel = startPanel();
    QVERIFY(panel);
    ConnectionFactory factory;
    LogCapture log;
    const QString unusable = "Port \"" + DevicePath::nameFromLocation(m_location) + "\" (" + m_location
            + ") could not be opened: held by this program (pid " + QString::number(QCoreApplication::applicationPid());
    {
        QSerialPort holder;
        holder.setPortName(m_location);
        QVERIFY(holder.open(QIODevice::ReadWrite));
        QCOMPARE(factory.getConnectionID(m_location), -2);
    }
    std::unique_ptr<Connection> link(factory.getConnection(m_location));
    QVERIFY(link);
    panel->clearPackets();
    QCOMPARE(factory.getConnectionID(m_location), -2);
    QCOMPARE(log.countPrefix(unusable), 2);
    QVERIFY(panel->packets().isEmpty());
    QVERIFY(link->close());
    PortLister::setOverride({{"pts/999", "/dev/pts/999"}});
    QCOMPARE(ConnectionFactory().getConnectionID(m_location), -5);
    QVERIFY(panel->packets().isEmpty());
}

// Said apart from a port where nothing answered, with the fix. Root opens
// any device, so as root the check runs again as nobody.
void TestDevice::aPortTheUserMayNotOpen()
{
    if (::geteuid() == 0) {
        // From a copy in a folder open to all: the build folder may not be.
        QTemporaryDir open;
        const QString copy = open.filePath("tst_device"), library = "/" + PicBoot::libraryFileName();
        QVERIFY(QFile::setPermissions(open.path(), QFileDevice::Permissions(0x7755))
                && QFile::copy(QCoreApplication::applicationFilePath(), copy)
                && QFile::copy(QCoreApplication::applicationDirPath() + library, open.path() + library));
        QProcess child;
        child.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", copy, "aPortTheUserMayNotOpen"});
        QVERIFY(child.waitForFinished(30000));
        QVERIFY2(child.exitCode() == 0, child.readAll().constData());
        return;
    }
    auto panel = startPanel();
    QVERIFY(panel && QFile::setPermissions(m_location, {}));
    LogCapture log;
    QCOMPARE(ConnectionFactory().getConnectionID(m_location), -2);
    QVERIFY(log.containsPrefix("Port \"" + DevicePath::nameFromLocation(m_location) + "\" (" + m_location
                               + ") could not be opened: permission denied. Install the bootloader-wizard package"));
}

// A driver that does not return from the port (a Bluetooth port paging its
// device) is given up once three answers and the grace have passed, the next
// port is probed as ever, and the stalled probe ending later harms nothing.
void TestDevice::aPortWhoseDriverNeverReturns()
{
    auto panel = startPanel();
    QVERIFY(panel);
    const QString stalled = QStringLiteral("/dev/stalled-port");
    auto release = std::make_shared<QSemaphore>();
    PortProbe::setStallForTests([release, stalled](const QString &location) {
        if (location == stalled)
            release->acquire();
    });
    PortLister::setOverride({{"stalled-port", stalled}, {DevicePath::nameFromLocation(m_location), m_location}});
    ConnectionFactory factory;
    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    const ConnectionFactory::Identification hung = factory.identify(stalled);
    QVERIFY2(clock.elapsed() >= 1100 && clock.elapsed() < 1800, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(hung.result == -2 && hung.problem.cause == PortAccess::NotResponding);
    QVERIFY(log.containsPrefix("Port \"stalled-port\" (" + stalled + ") could not be opened: not responding. The "
                               "system did not finish with it within 1100 ms; the search went on"));
    // Asked again while it still hangs: at once, with no second thread stranded.
    clock.restart();
    QVERIFY(factory.getConnectionID(stalled) == -2 && clock.elapsed() < 200);
    QCOMPARE(factory.getConnectionID(m_location), 1);
    release->release();
    QTRY_VERIFY(log.containsPrefix("Port \"stalled-port\" (" + stalled + ") could not be opened: no such device"));
    PortProbe::setStallForTests({});
}

// The last page holds the bootloader and the configuration words: a write
// leaves it as it was and says so. After close() nothing reaches the
// bootloader library on the link's behalf, whichever link now has its handle.
void TestDevice::theProtectedPageAndAClosedLink()
{
    auto first = startPanel();
    QVERIFY(first);
    std::unique_ptr<Connection> link(ConnectionFactory().getConnection(m_location));
    QVERIFY(link);
    QCOMPARE(link->protectedStart(), VirtualPanel::kProtectedStart);
    const QByteArray top = first->fileBytes().mid(int(VirtualPanel::kProtectedStart * 2));
    QVector<QByteArray> image;
    for (quint32 at : {0x2A7F0u, 0x2A800u, 0x2A900u, 0x2AFF0u})
        image << intelhex::imageLine(at, intelhex::counting(16, 1));
    LogCapture log;
    QVERIFY(link->erase());
    // One request for all but the last page.
    QCOMPARE(first->packets().count(BootFrame::eraseRequest(0, 85)), 1);
    QVERIFY(link->write(image));
    QCOMPARE(first->rowWrites(), 1);
    QCOMPARE(first->rejectedRequests(), 0);
    QCOMPARE(first->fileBytes().mid(int(VirtualPanel::kProtectedStart * 2)), top);
    QVERIFY(log.contains("Connection::write() skipped the protected block at 0x 15400"));
    // A malformed line, or two lines that disagree, stop the write before any block goes out.
    for (const char *bad : {"  ", "0040g 01", "123456789 01", "0400 1", "0400 0G", "0400 123", "0400 AC"})
        QVERIFY2(!link->write({"000400 AB", bad}), bad);
    QTemporaryDir dir;
    QVERIFY(intelhex::writeFile(dir.filePath("image.txt"), "000400 01\n0400 1\n"));
    QVERIFY(!link->writeFile(dir.filePath("image.txt")) && !link->writeFile(dir.filePath("none.txt")));
    QCOMPARE(log.countPrefix("Connection::write(): the image is not valid, nothing written:"), 8);
    QVERIFY(log.containsPrefix("Could not open"));
    QCOMPARE(first->rowWrites(), 1);
    QVERIFY(link->close());

    auto second = startPanel();
    QVERIFY(second);
    std::unique_ptr<Connection> other(ConnectionFactory().getConnection(m_location));
    QVERIFY(other);
    second->clearPackets();
    QVERIFY(!link->erase() && !link->write(image) && link->close());
    QVERIFY(second->packets().isEmpty());
    QVERIFY(other->close() && other->location() == m_location);
}

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
