// Finding and identifying a panel on a port, against the virtual panel on a
// pseudo-terminal: every result code, the exact debug lines, and the port
// left closed on every path.
#include "device/connection.h"
#include "device/connectionfactory.h"
#include "device/devicepath.h"
#include "device/picboot.h"
#include "device/portlister.h"
#include "support/logcapture.h"
#include "sim/virtualpanel.h"

#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const QByteArray kProbeReply = QByteArray::fromHex("555501010000ff08100000e704");

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}
} // namespace

class TestIdentification : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void identifiesAPanel();
    void unknownLocationOpensNothing();
    void locationMatchesWithoutCaseAndFirstEntryWins();
    void heldPortDoesNotOpen();
    void wrongProbeReply_data();
    void wrongProbeReply();
    void missingOrDoubleIdReply();
    void idByteZeroStillConnects();
    void replyInTwoPartsIsCollected();
    void replyPastTheTimeLimitFails();
    void linkThatDoesNotOpenGivesNull();

private:
    // A running panel, listed (alone) as the factory's only port.
    std::unique_ptr<VirtualPanel> startPanel(const PanelFaults &faults = PanelFaults(), int modelByte = 1);
    int identify(VirtualPanel &panel);
    QString m_location;
};

void TestIdentification::initTestCase()
{
    QVERIFY(ConnectionFactory::start());
}

void TestIdentification::cleanup()
{
    PortLister::clearOverride();
}

std::unique_ptr<VirtualPanel> TestIdentification::startPanel(const PanelFaults &faults, int modelByte)
{
    PanelOptions options;
    options.faults = faults;
    options.modelByte = modelByte;
    auto panel = std::make_unique<VirtualPanel>(options);
    if (!panel->start())
        return nullptr;
    m_location = panel->devicePath();
    PortLister::setOverride({{DevicePath::nameFromLocation(m_location), m_location}});
    return panel;
}

int TestIdentification::identify(VirtualPanel &panel)
{
    Q_UNUSED(panel);
    ConnectionFactory factory;
    const int result = factory.getConnectionID(m_location);
    // Closed on every path: the port opens again at once.
    QSerialPort again;
    again.setPortName(m_location);
    if (!again.open(QIODevice::ReadWrite))
        return -100;
    return result;
}

void TestIdentification::identifiesAPanel()
{
    auto panel = startPanel(PanelFaults(), 2);
    QVERIFY(panel);
    LogCapture log;
    ConnectionFactory factory;
    std::unique_ptr<Connection> connection(factory.getConnection(m_location));
    QVERIFY(connection);
    QCOMPARE(connection->id(), 2);
    QCOMPARE(connection->location(), m_location);
    QCOMPARE(connection->portName(), DevicePath::nameFromLocation(m_location));
    QVERIFY(connection->handle() >= 0);

    const QString name = quoted(DevicePath::nameFromLocation(m_location));
    QCOMPARE(log.lines().mid(0, 4),
             (QStringList{"[ " + name + " ]: wrote 9 bytes", "[ " + name + " ]: response size is 13",
                          "[ " + name + " ]: wrote 2 bytes",
                          "getConnectionID: " + quoted(m_location) + " returned 2"}));
    // The bootloader library has the port now and speaks to the panel.
    QCOMPARE(connection->readDeviceId(connection->handle()), 0x1008);
    QVERIFY(connection->close());
}

void TestIdentification::unknownLocationOpensNothing()
{
    auto panel = startPanel();
    QVERIFY(panel);
    // The panel's port exists but was not listed when the factory listed.
    PortLister::setOverride({{"pts/999", "/dev/pts/999"}});
    ConnectionFactory factory;
    LogCapture log;
    QCOMPARE(factory.getConnectionID(m_location), -5);
    QVERIFY(log.lines().isEmpty());
    QVERIFY(panel->packets().isEmpty());
    QVERIFY(!factory.getConnection(m_location));
    QVERIFY(log.contains("getConnectionID: " + quoted(m_location) + " returned -5"));
}

void TestIdentification::locationMatchesWithoutCaseAndFirstEntryWins()
{
    auto panel = startPanel();
    QVERIFY(panel);
    PortLister::setOverride({{"first", m_location.toUpper()}, {"second", m_location}});
    ConnectionFactory factory;
    LogCapture log;
    // The first entry matches without regard to case; a port that does not
    // open there is the answer, the second entry is never tried.
    QCOMPARE(factory.getConnectionID(m_location), -2);
    PortLister::setOverride({{"first", m_location}, {"second", m_location}});
    factory.refreshPorts();
    QCOMPARE(factory.getConnectionID(m_location.toUpper()), 1);
    QVERIFY(log.contains("[ \"first\" ]: wrote 9 bytes"));
    QVERIFY(!log.containsPrefix("[ \"second\" ]"));
}

void TestIdentification::heldPortDoesNotOpen()
{
    auto panel = startPanel();
    QVERIFY(panel);
    ConnectionFactory factory;
    {
        // Another program holds the port (root ignores the terminal's
        // exclusive mode, so this is the lock serial programs take).
        QSerialPort holder;
        holder.setPortName(m_location);
        QVERIFY(holder.open(QIODevice::ReadWrite));
        QCOMPARE(factory.getConnectionID(m_location), -2);
    }
    QVERIFY(panel->packets().isEmpty());

    // Our own bootloader library holds it: the probe must not cut into the
    // open link.
    std::unique_ptr<Connection> link(factory.getConnection(m_location));
    QVERIFY(link);
    panel->clearPackets();
    QCOMPARE(factory.getConnectionID(m_location), -2);
    QVERIFY(panel->packets().isEmpty());
    QCOMPARE(link->readDeviceId(link->handle()), 0x1008);
    QVERIFY(link->close());
    QCOMPARE(identify(*panel), 1);
}

void TestIdentification::wrongProbeReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("size");
    QByteArray first = kProbeReply;
    first[0] = 0x54;
    QByteArray last = kProbeReply;
    last[12] = 0x05;
    QByteArray middle = kProbeReply;
    middle[8] = 0x11;
    QTest::newRow("first byte") << first << 13;
    QTest::newRow("last byte") << last << 13;
    QTest::newRow("device id") << middle << 13;
    QTest::newRow("short") << kProbeReply.left(12) << 12;
    QTest::newRow("over-long") << kProbeReply + QByteArray(1, '\x00') << 14;
}

void TestIdentification::wrongProbeReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, size);
    PanelFaults faults;
    faults.probeReplyOverride = reply;
    auto panel = startPanel(faults);
    QVERIFY(panel);
    LogCapture log;
    QCOMPARE(identify(*panel), -7);
    QVERIFY(log.contains("[ " + quoted(DevicePath::nameFromLocation(m_location))
                         + " ]: response size is " + QString::number(size)));
    // No second exchange after a wrong probe reply.
    QVERIFY(!log.contains("[ " + quoted(DevicePath::nameFromLocation(m_location)) + " ]: wrote 2 bytes"));
}

void TestIdentification::missingOrDoubleIdReply()
{
    PanelFaults faults;
    faults.idMissing = true;
    auto panel = startPanel(faults);
    QVERIFY(panel);
    QCOMPARE(identify(*panel), -1);

    faults = PanelFaults();
    faults.idTwoBytes = true;
    panel = startPanel(faults);
    QVERIFY(panel);
    QCOMPARE(identify(*panel), -1);
    ConnectionFactory factory;
    QVERIFY(!factory.getConnection(m_location));
}

void TestIdentification::idByteZeroStillConnects()
{
    auto panel = startPanel(PanelFaults(), 0);
    QVERIFY(panel);
    ConnectionFactory factory;
    std::unique_ptr<Connection> connection(factory.getConnection(m_location));
    QVERIFY(connection);
    QCOMPARE(connection->id(), 0);
    QVERIFY(connection->close());
}

void TestIdentification::replyInTwoPartsIsCollected()
{
    PanelFaults faults;
    faults.probeSplit = true;
    faults.probeSplitPauseMs = 300;
    auto panel = startPanel(faults, 2);
    QVERIFY(panel);
    QCOMPARE(identify(*panel), 2);
}

void TestIdentification::replyPastTheTimeLimitFails()
{
    PanelFaults faults;
    faults.probeDelayed = true;
    faults.probeDelayMs = 2600;
    auto panel = startPanel(faults);
    QVERIFY(panel);
    LogCapture log;
    QCOMPARE(identify(*panel), -7);
    QVERIFY(log.contains("[ " + quoted(DevicePath::nameFromLocation(m_location)) + " ]: response size is 0"));
}

void TestIdentification::linkThatDoesNotOpenGivesNull()
{
    // Identified, but the bootloader library is not there to open the link.
    auto panel = startPanel();
    QVERIFY(panel);
    QTemporaryDir empty;
    PicBoot::setLibraryFolder(empty.path());
    ConnectionFactory factory;
    LogCapture log;
    const Connection *connection = factory.getConnection(m_location);
    PicBoot::setLibraryFolder(QString());
    QVERIFY(!connection);
    QCOMPARE(log.lines().mid(3), (QStringList{"getConnectionID: " + quoted(m_location) + " returned 1",
                                              "Unable to connect to " + quoted(m_location)}));
    QCOMPARE(identify(*panel), 1);
}

QTEST_GUILESS_MAIN(TestIdentification)
#include "tst_identification.moc"
