// The faults the virtual panel can be told to show, as a client on the line
// sees them.

#include "sim/virtualpanel.h"
#include "support/bootframe.h"
#include "support/rawport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

namespace {
const QByteArray kProbe = QByteArray::fromHex("55550101 0000ffff04");
const QByteArray kProbeReply = QByteArray::fromHex("55550101 0000ff08 100000e7 04");
const QByteArray kWriteAck = QByteArray::fromHex("02");
constexpr int kWaitMs = 2000;
constexpr int kSilenceMs = 150;
} // namespace

class TestPanelFaults : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<VirtualPanel> m_panel;
    RawPort m_port;

    void startPanel(const PanelFaults &faults)
    {
        PanelOptions options;
        options.paced = false;
        options.faults = faults;
        m_port.close();
        m_panel.reset(new VirtualPanel(options));
        QVERIFY(m_panel->start());
        QVERIFY(m_port.open(m_panel->devicePath()));
    }

    QByteArray exchange(const QByteArray &payload, bool *checksumOk = nullptr)
    {
        m_port.write(BootFrame::frame(payload));
        return BootFrame::unframe(m_port.readFrame(kWaitMs), checksumOk);
    }

    bool noAnswerTo(const QByteArray &payload)
    {
        m_port.write(BootFrame::frame(payload));
        return m_port.readUntilSilent(kSilenceMs).isEmpty();
    }

    QByteArray writeRow(quint32 address, quint8 seed)
    {
        return exchange(BootFrame::writeRequest(address, BootFrame::pattern(64, seed)));
    }

private slots:
    void cleanup()
    {
        m_port.close();
        m_panel.reset();
    }

    void probeReplyInTwoParts()
    {
        PanelFaults faults;
        faults.probeSplit = true;
        faults.probeSplitPauseMs = 300;
        startPanel(faults);
        m_port.write(kProbe);
        const QByteArray first = m_port.readUntilSilent(100);
        QVERIFY(!first.isEmpty());
        QVERIFY(first.size() < kProbeReply.size());
        const QByteArray rest = m_port.read(kProbeReply.size() - first.size(), kWaitMs);
        QCOMPARE(first + rest, kProbeReply);
        // Other reads are not split.
        QCOMPARE(exchange(BootFrame::readRequest(0, 1)).size(), 9);
    }

    void probeReplyDelayed()
    {
        PanelFaults faults;
        QVERIFY(faults.probeDelayMs > 2000);    // past the wizard's wait by default
        faults.probeDelayed = true;
        faults.probeDelayMs = 400;
        startPanel(faults);
        QElapsedTimer timer;
        timer.start();
        m_port.write(kProbe);
        QVERIFY(m_port.read(1, 250).isEmpty());
        QCOMPARE(m_port.read(kProbeReply.size(), kWaitMs), kProbeReply);
        QVERIFY(timer.elapsed() >= 400);
    }

    void probeReplyReplaced_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("wrong first byte") << QByteArray::fromHex("56550101 0000ff08 100000e7 04");
        QTest::newRow("wrong last byte") << QByteArray::fromHex("55550101 0000ff08 100000e7 05");
        QTest::newRow("short") << QByteArray::fromHex("55550101 0000ff08");
        QTest::newRow("over-long") << kProbeReply + QByteArray::fromHex("00");
    }

    void probeReplyReplaced()
    {
        QFETCH(QByteArray, reply);
        PanelFaults faults;
        faults.probeReplyOverride = reply;
        startPanel(faults);
        m_port.write(kProbe);
        QCOMPARE(m_port.read(reply.size(), kWaitMs), reply);
        QVERIFY(m_port.readUntilSilent(50).isEmpty());
        // The identification byte is unaffected.
        m_port.write(QByteArray::fromHex("55aa"));
        QCOMPARE(m_port.read(1, kWaitMs), QByteArray(1, '\x01'));
    }

    void identificationReplyMissingOrDoubled()
    {
        PanelFaults faults;
        faults.idMissing = true;
        startPanel(faults);
        m_port.write(QByteArray::fromHex("55aa"));
        QVERIFY(m_port.readUntilSilent(kSilenceMs).isEmpty());
        QCOMPARE(m_panel->idRequests(), 1);

        faults = PanelFaults();
        faults.idTwoBytes = true;
        m_panel->setFaults(faults);
        m_panel->setModelByte(2);
        m_port.write(QByteArray::fromHex("55aa"));
        QCOMPARE(m_port.readUntilSilent(kSilenceMs), QByteArray::fromHex("0202"));
        // The probe is answered normally meanwhile.
        m_port.write(kProbe);
        QCOMPARE(m_port.read(kProbeReply.size(), kWaitMs), kProbeReply);
    }

    void eraseWithoutReply()
    {
        PanelFaults faults;
        faults.eraseNoReply = true;
        startPanel(faults);
        m_panel->fillFlash(0);
        QVERIFY(noAnswerTo(BootFrame::eraseRequest(0x400, 1)));
        QCOMPARE(m_panel->readFlash(0x400, 1), QByteArray(4, '\0'));
        QCOMPARE(m_panel->pageErases(), 0);
        m_panel->setFaults(PanelFaults());
        QCOMPARE(exchange(BootFrame::eraseRequest(0x400, 1)), QByteArray::fromHex("03"));
    }

    void rowWriteWithoutReplyOnEveryTry()
    {
        PanelFaults faults;
        faults.writeNoReplyAtRow = 2;
        startPanel(faults);
        QCOMPARE(writeRow(0x000, 1), kWriteAck);
        // Row 2 and the host's retries of it: silence, nothing written.
        for (int attempt = 0; attempt < 3; ++attempt)
            QVERIFY(noAnswerTo(BootFrame::writeRequest(0x80, BootFrame::pattern(64, 2))));
        QCOMPARE(m_panel->readFlash(0x80, 1), QByteArray::fromHex("ffffff00"));
        QCOMPARE(m_panel->rowWrites(), 4);
        // The host moves on to another row: answered again.
        QCOMPARE(writeRow(0x100, 3), kWriteAck);
        QCOMPARE(writeRow(0x80, 2), kWriteAck);
    }

    void rowWriteWithWrongReply()
    {
        PanelFaults faults;
        faults.writeWrongReplyAtRow = 1;
        startPanel(faults);
        const QByteArray reply = writeRow(0x400, 5);
        QCOMPARE(reply.size(), 1);
        QVERIFY(reply != kWriteAck);
        QCOMPARE(writeRow(0x480, 6), kWriteAck);
    }

    void corruptedByteInReadBacks()
    {
        PanelFaults faults;
        faults.corruptReadAddress = 0x482;
        startPanel(faults);
        const QByteArray row = BootFrame::pattern(64, 7);
        QCOMPARE(exchange(BootFrame::writeRequest(0x480, row)), kWriteAck);
        const QByteArray data = exchange(BootFrame::readRequest(0x480, 64)).mid(5);
        QCOMPARE(data.size(), row.size());
        for (int i = 0; i < row.size(); ++i) {
            if (i == 4)     // address 0x482's low byte
                QVERIFY(data.at(i) != row.at(i));
            else
                QCOMPARE(data.at(i), row.at(i));
        }
        // The flash itself holds the right value, and other reads are clean.
        QCOMPARE(m_panel->readFlash(0x480, 64), row);
        QCOMPARE(exchange(BootFrame::readRequest(0x484, 1)).mid(5), row.mid(8, 4));
    }

    void lineDroppedAtRow()
    {
        PanelFaults faults;
        faults.dropLineAtRow = 2;
        startPanel(faults);
        QCOMPARE(writeRow(0, 1), kWriteAck);
        m_port.write(BootFrame::frame(BootFrame::writeRequest(0x80, BootFrame::pattern(64, 2))));
        QVERIFY(m_port.hungUp(kWaitMs));
        QVERIFY(m_panel->lineDropped());
        QCOMPARE(m_panel->readFlash(0x80, 1), QByteArray::fromHex("ffffff00"));

        // Plugged back in: a new terminal, the flash as it was.
        m_panel->setFaults(PanelFaults());
        QVERIFY(m_panel->start());
        QVERIFY(!m_panel->lineDropped());
        QVERIFY(m_port.open(m_panel->devicePath()));
        QCOMPARE(exchange(BootFrame::readRequest(0, 2)).mid(5), m_panel->readFlash(0, 2));
        QCOMPARE(m_panel->readFlash(0x100, 1), BootFrame::pattern(1, 1));
    }

    void repliesWithBadChecksum()
    {
        PanelFaults faults;
        faults.badChecksumReplies = 2;
        startPanel(faults);
        bool ok = true;
        QCOMPARE(exchange(QByteArray::fromHex("08"), &ok), QByteArray::fromHex("08"));
        QVERIFY(!ok);
        QCOMPARE(exchange(BootFrame::readRequest(0xFF0000, 1), &ok).mid(5), QByteArray::fromHex("08100000"));
        QVERIFY(!ok);
        QCOMPARE(exchange(QByteArray::fromHex("08"), &ok), QByteArray::fromHex("08"));
        QVERIFY(ok);
    }
};

QTEST_GUILESS_MAIN(TestPanelFaults)
#include "tst_panelfaults.moc"
