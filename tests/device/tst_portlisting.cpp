// Port names and locations, and the port list the factory works from.
#include "device/connectionfactory.h"
#include "device/devicepath.h"
#include "device/portlister.h"

#include <QtTest>

class TestPortListing : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { PortLister::clearOverride(); }

    void nameAndLocationRoundTrip_data();
    void nameAndLocationRoundTrip();
    void overrideReplacesTheSystemList();
};

void TestPortListing::nameAndLocationRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("location");
#ifdef Q_OS_WIN
    QTest::newRow("COM3") << "COM3" << "\\\\.\\COM3";
    QTest::newRow("COM12") << "COM12" << "\\\\.\\COM12";
#else
    QTest::newRow("usb bridge") << "ttyUSB0" << "/dev/ttyUSB0";
    QTest::newRow("pseudo-terminal") << "pts/3" << "/dev/pts/3";
#endif
}

void TestPortListing::nameAndLocationRoundTrip()
{
    QFETCH(QString, name);
    QFETCH(QString, location);
    QCOMPARE(DevicePath::locationFromName(name), location);
    QCOMPARE(DevicePath::nameFromLocation(location), name);
    // A location given where a name is expected stays as it is.
    QCOMPARE(DevicePath::locationFromName(location), location);
}

void TestPortListing::overrideReplacesTheSystemList()
{
    const QList<SerialPortEntry> fake = {{"pts/90", "/dev/pts/90"}, {"pts/91", "/dev/pts/91"}};
    PortLister::setOverride(fake);
    QCOMPARE(PortLister::availablePorts().size(), 2);
    QCOMPARE(PortLister::availablePorts().at(1).systemLocation, QString("/dev/pts/91"));

    ConnectionFactory factory;
    QCOMPARE(factory.ports().size(), 2);
    QCOMPARE(factory.ports().at(0).portName, QString("pts/90"));

    // The factory keeps its list until it is told to list again.
    PortLister::setOverride({});
    QCOMPARE(factory.ports().size(), 2);
    factory.refreshPorts();
    QVERIFY(factory.ports().isEmpty());
}

QTEST_APPLESS_MAIN(TestPortListing)
#include "tst_portlisting.moc"
