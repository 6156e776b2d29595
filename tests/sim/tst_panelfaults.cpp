// The faults the virtual panel can be told to show, as a client on the line
// sees them. Every wait is on a condition (a packet taken, a counter moved,
// bytes arrived): under load the panel's thread may lag any fixed pause.

#include "support/bootframe.h"
#include "support/panelline.h"

#include <QElapsedTimer>
#include <QtTest>

Q_DECLARE_METATYPE(PanelFaults)

namespace {
const QByteArray kWriteAck = QByteArray::fromHex("02");
const QByteArray kErasedWord = QByteArray::fromHex("ffffff00");
} // namespace

class TestPanelFaults : public QObject
{
    Q_OBJECT

private:
    PanelLine m_line;

    void start(const PanelFaults &faults)
    {
        PanelOptions options = PanelLine::unpaced();
        options.faults = faults;
        QVERIFY(m_line.start(options));
    }

    QByteArray writeRow(quint32 address, quint8 seed)
    {
        return m_line.exchange(BootFrame::writeRequest(address, BootFrame::pattern(64, seed)));
    }

private slots:
    void cleanup() { m_line.stop(); }

    // The faulty exchange, then the other exchange of the pair, unaffected.
    void identificationFaults_data()
    {
        QTest::addColumn<PanelFaults>("faults");
        QTest::addColumn<bool>("probe");
        QTest::addColumn<QByteArray>("answer");
        PanelFaults f;
        for (const char *reply : {"56550101 0000ff08 100000e7 04", "55550101 0000ff08 100000e7 05",
                                  "55550101 0000ff08", "55550101 0000ff08 100000e7 0400"}) {
            f.probeReplyOverride = QByteArray::fromHex(reply);
            QTest::newRow(reply) << f << true << f.probeReplyOverride;
        }
        f = PanelFaults();
        f.probeSplit = true;
        f.probeSplitPauseMs = 600;
        QTest::newRow("probe reply split") << f << true << PanelLine::kProbeReply;
        f = PanelFaults();
        f.probeDelayed = true;
        f.probeDelayMs = 400;
        QTest::newRow("probe reply delayed") << f << true << PanelLine::kProbeReply;
        f = PanelFaults();
        f.idMissing = true;
        QTest::newRow("identification missing") << f << false << QByteArray();
        f = PanelFaults();
        f.idTwoBytes = true;
        QTest::newRow("identification doubled") << f << false << QByteArray::fromHex("0101");
    }

    void identificationFaults()
    {
        QFETCH(PanelFaults, faults);
        QFETCH(bool, probe);
        QFETCH(QByteArray, answer);
        start(faults);
        RawPort &port = m_line.port;
        QElapsedTimer timer;
        timer.start();
        port.write(probe ? PanelLine::kProbe : PanelLine::kIdRequest);
        QByteArray got;
        if (answer.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(m_line.panel->idRequests(), 1, PanelLine::kWaitMs);
        } else {
            got = port.read(1, PanelLine::kWaitMs);
            if (faults.probeDelayed)
                QVERIFY2(timer.elapsed() >= faults.probeDelayMs, qPrintable(QString::number(timer.elapsed())));
            if (faults.probeSplit) {
                // What is there along with the first byte: the first part only.
                got += port.read(answer.size(), 100);
                QVERIFY2(got.size() < answer.size(), got.toHex(' ').constData());
            }
        }
        got += port.read(answer.size() - got.size(), PanelLine::kWaitMs);
        QCOMPARE(got + port.readUntilSilent(PanelLine::kSilenceMs), answer);

        if (probe)
            QCOMPARE(m_line.rawExchange(PanelLine::kIdRequest, 1), QByteArray(1, '\x01'));
        else
            QCOMPARE(m_line.rawExchange(PanelLine::kProbe, PanelLine::kProbeReply.size()), PanelLine::kProbeReply);
    }

    void eraseWithoutReply()
    {
        PanelFaults faults;
        faults.eraseNoReply = true;
        start(faults);
        m_line.panel->fillFlash(0);
        QVERIFY(m_line.noAnswerTo(BootFrame::eraseRequest(0x400, 1)));
        QCOMPARE(m_line.panel->readFlash(0x400, 1), QByteArray(4, '\0'));
        QCOMPARE(m_line.panel->pageErases(), 0);
        m_line.panel->setFaults(PanelFaults());
        QCOMPARE(m_line.exchange(BootFrame::eraseRequest(0x400, 1)), QByteArray::fromHex("03"));
    }

    void rowWriteWithoutReplyOnEveryTry()
    {
        PanelFaults faults;
        faults.writeNoReplyAtRow = 2;
        start(faults);
        QCOMPARE(writeRow(0x000, 1), kWriteAck);
        // Row 2 and the host's retries of it: silence, nothing written.
        for (int attempt = 0; attempt < 3; ++attempt)
            QVERIFY(m_line.noAnswerTo(BootFrame::writeRequest(0x80, BootFrame::pattern(64, 2))));
        QCOMPARE(m_line.panel->readFlash(0x80, 1), kErasedWord);
        QCOMPARE(m_line.panel->rowWrites(), 4);
        // The host moves on to another row: answered again.
        QCOMPARE(writeRow(0x100, 3), kWriteAck);
        QCOMPARE(writeRow(0x80, 2), kWriteAck);
    }

    void rowWriteWithWrongReply()
    {
        PanelFaults faults;
        faults.writeWrongReplyAtRow = 1;
        start(faults);
        const QByteArray reply = writeRow(0x400, 5);
        QCOMPARE(reply.size(), 1);
        QVERIFY(reply != kWriteAck);
        QCOMPARE(writeRow(0x480, 6), kWriteAck);
    }

    void corruptedByteInReadBacks()
    {
        PanelFaults faults;
        faults.corruptReadAddress = 0x482;
        start(faults);
        const QByteArray row = BootFrame::pattern(64, 7);
        QCOMPARE(writeRow(0x480, 7), kWriteAck);
        QByteArray expected = row;
        expected[4] = char(~row.at(4));     // address 0x482's low byte
        QCOMPARE(m_line.exchange(BootFrame::readRequest(0x480, 64)).mid(5), expected);
        // The flash itself holds the right value.
        QCOMPARE(m_line.panel->readFlash(0x480, 64), row);
    }

    void lineDroppedAtRow()
    {
        PanelFaults faults;
        faults.dropLineAtRow = 2;
        start(faults);
        QCOMPARE(writeRow(0, 1), kWriteAck);
        m_line.port.write(BootFrame::frame(BootFrame::writeRequest(0x80, BootFrame::pattern(64, 2))));
        QVERIFY(m_line.port.hungUp(PanelLine::kWaitMs));
        QVERIFY(m_line.panel->lineDropped());
        QCOMPARE(m_line.panel->readFlash(0x80, 1), kErasedWord);

        // Plugged back in: a new terminal, the flash as it was.
        m_line.panel->setFaults(PanelFaults());
        QVERIFY(m_line.panel->start());
        QVERIFY(!m_line.panel->lineDropped());
        QVERIFY(m_line.port.open(m_line.panel->devicePath()));
        QCOMPARE(m_line.exchange(BootFrame::readRequest(0x100, 1)).mid(5), BootFrame::pattern(1, 1));
    }

    void repliesWithBadChecksum()
    {
        PanelFaults faults;
        faults.badChecksumReplies = 2;
        start(faults);
        bool ok = true;
        QCOMPARE(m_line.exchange(QByteArray::fromHex("08"), &ok), QByteArray::fromHex("08"));
        QVERIFY(!ok);
        QCOMPARE(m_line.exchange(BootFrame::readRequest(0xFF0000, 1), &ok).mid(5), QByteArray::fromHex("08100000"));
        QVERIFY(!ok);
        QCOMPARE(m_line.exchange(QByteArray::fromHex("08"), &ok), QByteArray::fromHex("08"));
        QVERIFY(ok);
    }
};

QTEST_GUILESS_MAIN(TestPanelFaults)
#include "tst_panelfaults.moc"
