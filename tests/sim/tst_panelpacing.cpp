// Pacing, roughly: answers never come sooner than the line and the flash
// allow, and not grossly later. Exact figures are the benchmark's business.

#include "sim/virtualpanel.h"
#include "support/bootframe.h"
#include "support/rawport.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {
constexpr int kWaitMs = 3000;
constexpr double kSlackMs = 400;        // generous: machines under load

double wireMs(int bytes, int bitRate)
{
    return bytes * 10.0 * 1000.0 / bitRate;
}
} // namespace

class TestPanelPacing : public QObject
{
    Q_OBJECT

private:
    // Milliseconds from writing the request to the end of its answer.
    static double timedExchange(RawPort &port, const QByteArray &request, QByteArray *answer)
    {
        QElapsedTimer timer;
        timer.start();
        port.write(request);
        *answer = port.readFrame(kWaitMs);
        return timer.nsecsElapsed() / 1e6;
    }

private slots:
    void readPacedAtTheBitRate_data()
    {
        QTest::addColumn<int>("bitRate");
        QTest::newRow("115200") << 115200;
        QTest::newRow("19200") << 19200;
    }

    void readPacedAtTheBitRate()
    {
        QFETCH(int, bitRate);
        PanelOptions options;
        options.bitRate = bitRate;
        VirtualPanel panel(options);
        QVERIFY(panel.start());
        RawPort port;
        QVERIFY(port.open(panel.devicePath()));

        const QByteArray request = BootFrame::frame(BootFrame::readRequest(0x800, 64));
        QByteArray answer;
        const double ms = timedExchange(port, request, &answer);
        QCOMPARE(BootFrame::unframe(answer).size(), 5 + 256);
        const double floor = wireMs(request.size() + answer.size(), bitRate);
        QVERIFY2(ms >= floor * 0.99, qPrintable(QStringLiteral("%1 ms < %2 ms").arg(ms).arg(floor)));
        QVERIFY2(ms < floor + kSlackMs, qPrintable(QStringLiteral("%1 ms, floor %2 ms").arg(ms).arg(floor)));
    }

    void flashOperationsTakeTheirTime()
    {
        PanelOptions options;
        options.pageEraseMs = 30;
        options.rowWriteMs = 25;
        VirtualPanel panel(options);
        QVERIFY(panel.start());
        RawPort port;
        QVERIFY(port.open(panel.devicePath()));

        QByteArray answer;
        QByteArray request = BootFrame::frame(BootFrame::eraseRequest(0x400, 5));
        double ms = timedExchange(port, request, &answer);
        QCOMPARE(BootFrame::unframe(answer), QByteArray::fromHex("03"));
        double floor = wireMs(request.size() + answer.size(), 115200) + 5 * 30;
        QVERIFY2(ms >= floor * 0.99 && ms < floor + kSlackMs, qPrintable(QString::number(ms)));

        request = BootFrame::frame(BootFrame::writeRequest(0x400, BootFrame::pattern(64, 1)));
        ms = timedExchange(port, request, &answer);
        QCOMPARE(BootFrame::unframe(answer), QByteArray::fromHex("02"));
        floor = wireMs(request.size() + answer.size(), 115200) + 25;
        QVERIFY2(ms >= floor * 0.99 && ms < floor + kSlackMs, qPrintable(QString::number(ms)));

        // The protected page is skipped, so it costs no flash time.
        request = BootFrame::frame(BootFrame::eraseRequest(0x15400, 1));
        ms = timedExchange(port, request, &answer);
        QVERIFY2(ms < 30, qPrintable(QString::number(ms)));
    }

    void unpacedAnswersAtOnce()
    {
        PanelOptions options;
        options.paced = false;
        options.pageEraseMs = 1000;
        VirtualPanel panel(options);
        QVERIFY(panel.start());
        RawPort port;
        QVERIFY(port.open(panel.devicePath()));
        QByteArray answer;
        const double ms = timedExchange(port, BootFrame::frame(BootFrame::eraseRequest(0, 85)), &answer);
        QCOMPARE(BootFrame::unframe(answer), QByteArray::fromHex("03"));
        QVERIFY2(ms < 500, qPrintable(QString::number(ms)));
    }

    void manyExchangesDoNotDrift()
    {
        // Back-to-back exchanges: the total stays near the sum of wire times.
        PanelOptions options;
        VirtualPanel panel(options);
        QVERIFY(panel.start());
        RawPort port;
        QVERIFY(port.open(panel.devicePath()));
        const QByteArray request = BootFrame::frame(BootFrame::readRequest(0x1000, 64));
        QElapsedTimer timer;
        timer.start();
        int bytes = 0;
        for (int i = 0; i < 20; ++i) {
            port.write(request);
            const QByteArray answer = port.readFrame(kWaitMs);
            QCOMPARE(BootFrame::unframe(answer).size(), 5 + 256);
            bytes += request.size() + answer.size();
        }
        const double ms = timer.nsecsElapsed() / 1e6;
        const double floor = wireMs(bytes, 115200);
        QVERIFY2(ms >= floor * 0.99 && ms < floor * 1.5 + 100, qPrintable(QStringLiteral("%1 ms, floor %2 ms").arg(ms).arg(floor)));
        qInfo("20 paced reads: %.1f ms against a floor of %.1f ms (ratio %.3f)", ms, floor, ms / floor);
    }
};

QTEST_GUILESS_MAIN(TestPanelPacing)
#include "tst_panelpacing.moc"
