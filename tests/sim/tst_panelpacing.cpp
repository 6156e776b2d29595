// Pacing, roughly: answers never come sooner than the line and the flash
// allow, and not grossly later. Exact figures are the benchmark's business.

#include "support/bootframe.h"
#include "support/panelline.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {
constexpr double kSlackMs = 400;        // generous: machines under load
} // namespace

class TestPanelPacing : public QObject
{
    Q_OBJECT

private:
    PanelLine m_line;

    // Milliseconds from writing the request to the end of its answer.
    double timedExchange(const QByteArray &request, QByteArray *answer)
    {
        QElapsedTimer timer;
        timer.start();
        m_line.port.write(request);
        *answer = m_line.port.readFrame(PanelLine::kWaitMs);
        return timer.nsecsElapsed() / 1e6;
    }

private slots:
    void cleanup() { m_line.stop(); }

    void pacedByLineAndFlash_data()
    {
        QTest::addColumn<int>("bitRate");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("answerSize");
        QTest::addColumn<int>("flashMs");
        QTest::newRow("read at 115200") << 115200 << BootFrame::readRequest(0x800, 64) << 5 + 256 << 0;
        QTest::newRow("read at 19200") << 19200 << BootFrame::readRequest(0x800, 64) << 5 + 256 << 0;
        QTest::newRow("erase 5 pages") << 115200 << BootFrame::eraseRequest(0x400, 5) << 1 << 5 * 30;
        QTest::newRow("write a row") << 115200 << BootFrame::writeRequest(0x400, BootFrame::pattern(64, 1)) << 1 << 25;
    }

    void pacedByLineAndFlash()
    {
        QFETCH(int, bitRate);
        QFETCH(QByteArray, payload);
        QFETCH(int, answerSize);
        QFETCH(int, flashMs);
        PanelOptions options;
        options.bitRate = bitRate;
        options.pageEraseMs = 30;
        options.rowWriteMs = 25;
        QVERIFY(m_line.start(options));
        const QByteArray request = BootFrame::frame(payload);
        QByteArray answer;
        const double ms = timedExchange(request, &answer);
        QCOMPARE(BootFrame::unframe(answer).size(), answerSize);
        const double floor = (request.size() + answer.size()) * 10.0 * 1000.0 / bitRate + flashMs;
        QVERIFY2(ms >= floor * 0.99 && ms < floor + kSlackMs,
                 qPrintable(QStringLiteral("%1 ms, floor %2 ms").arg(ms).arg(floor)));
    }
};

QTEST_GUILESS_MAIN(TestPanelPacing)
#include "tst_panelpacing.moc"
