// The virtual-panel program: options reach the panel, it stops cleanly on a
// signal and leaves its flash behind as Intel HEX.

#include "support/bootframe.h"
#include "support/rawport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {
constexpr int kWaitMs = 3000;
}

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    static QString program()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/virtual-panel");
    }

    // Starts the program and returns the terminal path it prints.
    static QString startPanel(QProcess &process, const QStringList &arguments)
    {
        process.start(program(), arguments);
        if (!process.waitForStarted(kWaitMs) || !process.waitForReadyRead(kWaitMs))
            return QString();
        return QString::fromLocal8Bit(process.readLine()).trimmed();
    }

    static int stopPanel(QProcess &process, int signal)
    {
        ::kill(pid_t(process.processId()), signal);
        if (!process.waitForFinished(kWaitMs))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

private slots:
    void initTestCase()
    {
        if (!QFileInfo(program()).isExecutable())
            QSKIP("virtual-panel is not built beside the tests");
    }

    void servesAndDumpsOnSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }

    void servesAndDumpsOnSignal()
    {
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString hexPath = dir.filePath(QStringLiteral("flash.hex"));
        const QString linkPath = dir.filePath(QStringLiteral("panel"));
        QProcess process;
        const QString path = startPanel(process, {QStringLiteral("--model"), QStringLiteral("7"), QStringLiteral("--no-pacing"),
                                                  QStringLiteral("--dump-hex"), hexPath, QStringLiteral("--link"), linkPath});
        QVERIFY(path.startsWith(QStringLiteral("/dev/")));
        QCOMPARE(QFileInfo(linkPath).symLinkTarget(), path);

        RawPort port;
        QVERIFY(port.open(linkPath));
        port.write(QByteArray::fromHex("55aa"));
        QCOMPARE(port.read(1, kWaitMs), QByteArray(1, '\x07'));
        port.write(BootFrame::frame(BootFrame::writeRequest(0x200, BootFrame::pattern(64, 3))));
        QCOMPARE(BootFrame::unframe(port.readFrame(kWaitMs)), QByteArray::fromHex("02"));
        port.close();

        QCOMPARE(stopPanel(process, signal), 0);
        QFile hex(hexPath);
        QVERIFY(hex.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = hex.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 1 + 16 + 1);
        QVERIFY(!QFileInfo::exists(linkPath));
        QVERIFY(process.readAllStandardError().contains("1 row writes"));
    }

    void faultOptionsReachThePanel()
    {
        QProcess process;
        const QString path = startPanel(process, {QStringLiteral("--no-pacing"),
                                                  QStringLiteral("--probe-reply"), QStringLiteral("55 55 01"),
                                                  QStringLiteral("--id-two-bytes"), QStringLiteral("--corrupt-read-at"),
                                                  QStringLiteral("0x400")});
        QVERIFY(!path.isEmpty());
        RawPort port;
        QVERIFY(port.open(path));
        port.write(QByteArray::fromHex("55550101 0000ffff04"));
        QCOMPARE(port.readUntilSilent(200), QByteArray::fromHex("555501"));
        port.write(QByteArray::fromHex("55aa"));
        QCOMPARE(port.readUntilSilent(200), QByteArray::fromHex("0101"));
        port.write(BootFrame::frame(BootFrame::readRequest(0x400, 1)));
        QCOMPARE(BootFrame::unframe(port.readFrame(kWaitMs)).mid(5), QByteArray::fromHex("00ffff00"));
        QCOMPARE(stopPanel(process, SIGTERM), 0);
    }

    void badOptionsAreRefused_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::newRow("model out of range") << QStringLiteral("--model 256");
        QTest::newRow("bit rate not a number") << QStringLiteral("--bit-rate fast");
        QTest::newRow("probe reply not hex") << QStringLiteral("--probe-reply 5x");
        QTest::newRow("row 0") << QStringLiteral("--drop-line-at-row 0");
    }

    void badOptionsAreRefused()
    {
        QFETCH(QString, arguments);
        QProcess process;
        process.start(program(), arguments.split(' '));
        QVERIFY(process.waitForFinished(kWaitMs));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardOutput().isEmpty());    // no terminal was offered
        QVERIFY(!process.readAllStandardError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
