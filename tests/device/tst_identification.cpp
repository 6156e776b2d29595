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

Q_DECLARE_METATYPE(PanelFaults)

class TestIdentification : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void unknownLocationOpensNothing();
    void heldPortDoesNotOpen();
    void answersOfEveryKind_data();
    void answersOfEveryKind();
    void linkThatDoesNotOpenGivesNull();

private:
    // A running panel, listed (alone) as the factory's only port.
    std::unique_ptr<VirtualPanel> startPanel(const PanelFaults &faults = PanelFaults(), int modelByte = 1);
    // The factory's result; -100 when the port was left open.
    int identify();
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

int TestIdentification::identify()
{
    ConnectionFactory factory;
    const int result = factory.getConnectionID(m_location);
    // Closed on every path: the port opens again at once.
    QSerialPort again;
    again.setPortName(m_location);
    if (!again.open(QIODevice::ReadWrite))
        return -100;
    return result;
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
    QCOMPARE(identify(), 1);
}

void TestIdentification::answersOfEveryKind_data()
{
    QTest::addColumn<PanelFaults>("faults");
    QTest::addColumn<int>("modelByte");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("probeReplySize");  // as logged

    auto probeReply = [](int at, char value, int size = 13) {
        PanelFaults faults;
        faults.probeReplyOverride = kProbeReply + QByteArray(1, '\0');
        faults.probeReplyOverride[at] = value;
        faults.probeReplyOverride.resize(size);
        return faults;
    };
    QTest::newRow("healthy panel") << PanelFaults() << 2 << 2 << 13;
    QTest::newRow("probe reply: first byte") << probeReply(0, 0x54) << 1 << -7 << 13;
    QTest::newRow("probe reply: last byte") << probeReply(12, 0x05) << 1 << -7 << 13;
    QTest::newRow("probe reply: device id") << probeReply(8, 0x11) << 1 << -7 << 13;
    QTest::newRow("probe reply: short") << probeReply(0, 0x55, 12) << 1 << -7 << 12;
    QTest::newRow("probe reply: over-long") << probeReply(0, 0x55, 14) << 1 << -7 << 14;

    PanelFaults faults;
    faults.idMissing = true;
    QTest::newRow("no identification byte") << faults << 1 << -1 << 13;
    faults = PanelFaults();
    faults.idTwoBytes = true;
    QTest::newRow("two identification bytes") << faults << 1 << -1 << 13;
    QTest::newRow("identification byte 0") << PanelFaults() << 0 << 0 << 13;

    faults = PanelFaults();
    faults.probeSplit = true;
    faults.probeSplitPauseMs = 300;
    QTest::newRow("probe reply in two parts") << faults << 2 << 2 << 13;
    faults = PanelFaults();
    faults.probeDelayed = true;
    faults.probeDelayMs = 2600;
    QTest::newRow("probe reply past 2 s") << faults << 1 << -7 << 0;
}

void TestIdentification::answersOfEveryKind()
{
    QFETCH(PanelFaults, faults);
    QFETCH(int, modelByte);
    QFETCH(int, result);
    QFETCH(int, probeReplySize);
    auto panel = startPanel(faults, modelByte);
    QVERIFY(panel);
    LogCapture log;
    QCOMPARE(identify(), result);
    // One probe, then the identification request only after a right reply.
    const QString name = "[ " + quoted(DevicePath::nameFromLocation(m_location)) + " ]: ";
    QStringList expected{name + "wrote 9 bytes", name + "response size is " + QString::number(probeReplySize)};
    if (result != -7)
        expected << name + "wrote 2 bytes";
    QCOMPARE(log.lines(), expected);
    if (faults.probeDelayed)
        return;  // its late reply would meet the next probe

    // getConnection gives a link exactly when the identification succeeded,
    // and the bootloader library then speaks to the panel through it.
    ConnectionFactory factory;
    std::unique_ptr<Connection> connection(factory.getConnection(m_location));
    QCOMPARE(bool(connection), result >= 0);
    QVERIFY(log.contains("getConnectionID: " + quoted(m_location) + " returned " + QString::number(result)));
    if (connection) {
        QCOMPARE(connection->id(), result);
        QCOMPARE(connection->location(), m_location);
        QCOMPARE(connection->portName(), DevicePath::nameFromLocation(m_location));
        QCOMPARE(connection->readDeviceId(connection->handle()), 0x1008);
        QVERIFY(connection->close());
    }
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
    QCOMPARE(identify(), 1);
}

QTEST_GUILESS_MAIN(TestIdentification)
#include "tst_identification.moc"
