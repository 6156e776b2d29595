#include "library/driverdetection.h"
#include "support/logcapture.h"

#include <QtTest>

class TestDriverDetection : public QObject
{
    Q_OBJECT

private slots:
    void findsTheBridgeDriverWhateverItsCase_data();
    void findsTheBridgeDriverWhateverItsCase();
    void namesThatOnlyResembleItAreNotTheDriver();
    void fullOrFailedListingGivesFalseWithItsLine();
    void numbersEveryDriverBeforeTheBridge();
    void unreadableNamesKeepTheirNumber();
    void liveListingAnswersWithoutFailing();
};

void TestDriverDetection::findsTheBridgeDriverWhateverItsCase_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("upper") << QStringLiteral("SILABENM.SYS");
    QTest::newRow("mixed") << QStringLiteral("SiLabEnm.sys");
    QTest::newRow("lower") << QStringLiteral("silabenm.sys");
}

void TestDriverDetection::findsTheBridgeDriverWhateverItsCase()
{
    QFETCH(QString, name);
    const QStringList drivers{QStringLiteral("ntoskrnl.exe"), QStringLiteral("serial.sys"), name,
                              QStringLiteral("usbser.sys")};
    LogCapture log;
    QVERIFY(detectDriversIn(drivers, true, drivers.size()));
    QCOMPARE(log.count(QStringLiteral("detectDrivers(): driver found.")), 1);
}

void TestDriverDetection::namesThatOnlyResembleItAreNotTheDriver()
{
    const QStringList drivers{QStringLiteral("silabenm.sys.bak"), QStringLiteral("xsilabenm.sys"),
                              QStringLiteral("silabenm"), QStringLiteral("silabenm.sy"),
                              QStringLiteral(" silabenm.sys"), QStringLiteral("silabser.sys")};
    LogCapture log;
    QVERIFY(!detectDriversIn(drivers, true, drivers.size()));
    QVERIFY(!log.contains(QStringLiteral("detectDrivers(): driver found.")));
    // Each gets its numbered line, the name as plain text.
    QCOMPARE(log.countPrefix(QStringLiteral("detectDrivers(): ")), drivers.size());
    QVERIFY(log.contains(QStringLiteral("detectDrivers(): 1 : silabenm.sys.bak")));
    QVERIFY(log.contains(QStringLiteral("detectDrivers(): 2 : xsilabenm.sys")));
    QVERIFY(!detectDriversIn({}, true, 0));
}

void TestDriverDetection::fullOrFailedListingGivesFalseWithItsLine()
{
    // 1024 entries or more fill the table: false even when the bridge driver
    // is among them, and no name is looked at.
    for (int count : {1024, 1025, 5000}) {
        QStringList drivers;
        for (int i = 0; i < qMin(count, 1024); ++i)
            drivers << QStringLiteral("drv%1.sys").arg(i);
        drivers[0] = QStringLiteral("silabenm.sys");
        LogCapture log;
        QVERIFY(!detectDriversIn(drivers, true, count));
        QCOMPARE(log.lines(),
                 QStringList{QStringLiteral("detectDrivers(): EnumDeviceDrivers failed; array size needed is %1")
                                 .arg(count)});
    }
    // Just below the limit the list is still read.
    QStringList drivers;
    for (int i = 0; i < 1023; ++i)
        drivers << QStringLiteral("drv%1.sys").arg(i);
    drivers[1022] = QStringLiteral("SILABENM.SYS");
    QVERIFY(detectDriversIn(drivers, true, 1023));

    LogCapture log;
    QVERIFY(!detectDriversIn({QStringLiteral("silabenm.sys")}, false, 0));
    QCOMPARE(log.lines(),
             QStringList{QStringLiteral("detectDrivers(): EnumDeviceDrivers failed; array size needed is 0")});
}

void TestDriverDetection::numbersEveryDriverBeforeTheBridge()
{
    const QStringList drivers{QStringLiteral("ntoskrnl.exe"), QStringLiteral("hal.dll"),
                              QStringLiteral("Serial.sys"), QStringLiteral("kbdclass.sys"),
                              QStringLiteral("silabenm.sys"), QStringLiteral("usbser.sys")};
    LogCapture log;
    QVERIFY(detectDriversIn(drivers, true, drivers.size()));
    QCOMPARE(log.lines(), (QStringList{QStringLiteral("detectDrivers(): 1 : ntoskrnl.exe"),
                                       QStringLiteral("detectDrivers(): 2 : hal.dll"),
                                       QStringLiteral("detectDrivers(): 3 : Serial.sys"),
                                       QStringLiteral("detectDrivers(): 4 : kbdclass.sys"),
                                       QStringLiteral("detectDrivers(): driver found.")}));
}

void TestDriverDetection::unreadableNamesKeepTheirNumber()
{
    const QStringList drivers{QStringLiteral("a.sys"), QString(), QStringLiteral("b.sys")};
    LogCapture log;
    QVERIFY(!detectDriversIn(drivers, true, drivers.size()));
    QCOMPARE(log.lines(), (QStringList{QStringLiteral("detectDrivers(): 1 : a.sys"),
                                       QStringLiteral("detectDrivers(): 3 : b.sys")}));
}

void TestDriverDetection::liveListingAnswersWithoutFailing()
{
    // On this system the Windows driver can never be loaded; the listing
    // itself must work wherever /proc/modules can be read.
    QStringList drivers;
    int needed = -1;
    const bool listed = listLoadedDrivers(&drivers, &needed);
    if (listed)
        QCOMPARE(needed, drivers.size());
    QVERIFY(!drivers.contains(QStringLiteral("silabenm.sys"), Qt::CaseInsensitive));
    QVERIFY(!detectDrivers());
}

QTEST_GUILESS_MAIN(TestDriverDetection)
#include "tst_driverdetection.moc"
