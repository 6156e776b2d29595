// The bootloader library's Windows transport, for real: PICBOOT.dll, built
// with mingw-w64, driven by a Windows program under wine through COM ports
// that wine maps to virtual panels' pseudo-terminals. The prefix is the
// build's own.
#include "sim/pseudoterminal.h"
#include "sim/virtualpanel.h"
#include "support/wine.h"

#include <QRegularExpression>
#include <QtTest>

class TestWine : public QObject
{
    Q_OBJECT

private slots:
    void theWindowsTransportSpeaksTheProtocol();
};

void TestWine::theWindowsTransportSpeaksTheProtocol()
{
    const QString client = QStringLiteral(WIZARD_WINDOWS_BIN "/picboot-wine-client.exe");
    if (!Wine::missing().isEmpty())
        QSKIP(qPrintable(Wine::missing()));
    if (QStringLiteral(WIZARD_WINDOWS_BIN).isEmpty())
        QSKIP("mingw-w64 is not installed: there is no Windows build to run");
    QVERIFY2(QFile::exists(client), qPrintable(client));
    const QString prefix = QStringLiteral(WIZARD_WINE_PREFIX);
    Wine wine(prefix);
    QVERIFY(wine.prepare());

    PanelOptions hangsUp;
    hangsUp.faults.dropLineAtRow = 1;
    VirtualPanel panel, dropping(hangsUp);
    PseudoTerminal silent;
    QVERIFY(panel.start() && dropping.start() && silent.open());
    const QStringList paths{panel.devicePath(), silent.slavePath(), dropping.devicePath()};
    for (int i = 0; i < 3; ++i) {
        const QString link = prefix + QStringLiteral("/dosdevices/com%1").arg(5 + i);
        QFile::remove(link);
        QVERIFY(QFile::link(paths[i], link));
    }
    const QString output = wine.run(client, {QStringLiteral("COM5"), QStringLiteral("COM6"), QStringLiteral("COM7")},
                                    60000).out;
    // Result and, where it matters, the milliseconds allowed: a reply is taken
    // as soon as it is in although the link waits 3 s for one; three tries
    // of 100 ms on the silent port.
    const QStringList expected{"id 4 0 100", "erase 1", "write 256", "verify 256", "mismatch -12", "close 1",
                               "no-reply -5 290 700", "hang-up -1"};
    for (const QString &row : expected) {
        const QStringList want = row.split(' ');
        const QRegularExpression line(QStringLiteral("^%1 %2 ([0-9.]+)$").arg(want[0], want[1]),
                                      QRegularExpression::MultilineOption);
        const QRegularExpressionMatch got = line.match(output);
        QVERIFY2(got.hasMatch(), qPrintable(row + " in:\n" + output));
        QVERIFY2(want.size() < 4 || (got.captured(1).toDouble() >= want[2].toDouble()
                                     && got.captured(1).toDouble() < want[3].toDouble()), qPrintable(output));
    }
    QVERIFY2(output.contains(QLatin1String("id-bytes 08100000")), qPrintable(output));
    QByteArray row;
    for (int i = 0; i < 256; ++i)
        row.append(char(i % 4 == 3 ? 0 : i * 7 + 1));
    QCOMPARE(panel.readFlash(0x400, 64), row);
}

QTEST_GUILESS_MAIN(TestWine)
#include "tst_wine.moc"
