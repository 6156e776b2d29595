#include "library/driverdetection.h"
#include "support/logcapture.h"

#include <QtTest>

class TestDriverDetection : public QObject
{
    Q_OBJECT

private slots:
    void decidesOnTheListing_data();
    void decidesOnTheListing();
    void liveListingAnswersWithoutFailing();
};

void TestDriverDetection::decidesOnTheListing_data()
{
    QTest::addColumn<QStringList>("drivers");
    QTest::addColumn<bool>("listed");  // the listing call succeeded
    QTest::addColumn<int>("needed");   // the entries it says there are
    QTest::addColumn<bool>("found");
    QTest::addColumn<QStringList>("log");

    // Every driver before the bridge gets its numbered line.
    auto numbered = [](const QStringList &drivers) {
        QStringList lines;
        for (int i = 0; i < drivers.size(); ++i)
            if (!drivers[i].isEmpty())
                lines << QStringLiteral("detectDrivers(): %1 : %2").arg(i + 1).arg(drivers[i]);
        return lines;
    };
    const QString found = QStringLiteral("detectDrivers(): driver found.");
    auto failed = [](int needed) {
        return QStringList{QStringLiteral("detectDrivers(): EnumDeviceDrivers failed; array size needed is %1")
                               .arg(needed)};
    };

    const QStringList before{"ntoskrnl.exe", "hal.dll", "Serial.sys", "kbdclass.sys"};
    QTest::newRow("fifth place") << before + QStringList{"silabenm.sys", "usbser.sys"} << true << 6 << true
                                 << numbered(before) + QStringList{found};
    QTest::newRow("upper case") << QStringList{"SILABENM.SYS", "x.sys"} << true << 2 << true << QStringList{found};
    QTest::newRow("mixed case") << QStringList{"SiLabEnm.sys"} << true << 1 << true << QStringList{found};

    const QStringList resembling{"silabenm.sys.bak", "xsilabenm.sys", "silabenm", "silabenm.sy", " silabenm.sys",
                                 "silabser.sys"};
    QTest::newRow("names that only resemble it") << resembling << true << 6 << false << numbered(resembling);
    QTest::newRow("nothing loaded") << QStringList() << true << 0 << false << QStringList();
    const QStringList unreadable{"a.sys", QString(), "b.sys"};
    QTest::newRow("an unreadable name keeps its number") << unreadable << true << 3 << false << numbered(unreadable);

    // 1024 entries or more fill the table: false even when the bridge driver
    // is among them, and no name is looked at. Just below, the list is read.
    QStringList full;
    for (int i = 0; i < 1024; ++i)
        full << QStringLiteral("drv%1.sys").arg(i);
    full[0] = QStringLiteral("silabenm.sys");
    for (int needed : {1024, 1025, 5000})
        QTest::addRow("%d drivers", needed) << full << true << needed << false << failed(needed);
    QStringList below = full.mid(1, 1022);
    QTest::newRow("1023 drivers") << below + QStringList{"SILABENM.SYS"} << true << 1023 << true
                                  << numbered(below) + QStringList{found};
    QTest::newRow("listing failed") << QStringList{"silabenm.sys"} << false << 0 << false << failed(0);
}

void TestDriverDetection::decidesOnTheListing()
{
    QFETCH(QStringList, drivers);
    QFETCH(bool, listed);
    QFETCH(int, needed);
    QFETCH(bool, found);
    QFETCH(QStringList, log);
    LogCapture capture;
    QCOMPARE(detectDriversIn(drivers, listed, needed), found);
    QCOMPARE(capture.lines(), log);
}

void TestDriverDetection::liveListingAnswersWithoutFailing()
{
    // On this system the Windows driver can never be loaded; the listing
    // itself must work wherever /proc/modules can be read.
    QStringList drivers;
    int needed = -1;
    if (listLoadedDrivers(&drivers, &needed))
        QCOMPARE(needed, drivers.size());
    QVERIFY(!drivers.contains(QStringLiteral("silabenm.sys"), Qt::CaseInsensitive));
    QVERIFY(!detectDrivers());
}

QTEST_GUILESS_MAIN(TestDriverDetection)
#include "tst_driverdetection.moc"
