// The virtual panel is the other end of every test: what it refuses, keeps
// and moves must be what the panel's bootloader does, or a fault in the
// wizard would pass unseen.

#include "support/bootframe.h"
#include "support/panelline.h"

#include <QtTest>

class TestPanel : public QObject
{
    Q_OBJECT

private:
    PanelLine m_line;

private slots:
    void init() { QVERIFY(m_line.start()); }
    void cleanup() { m_line.stop(); }

    // The protected page is acknowledged and left alone; the application's
    // jump is read back at 0x100/0x102, the bootloader's own stays at 0.
    void theBootloaderKeepsItsOwn()
    {
        VirtualPanel &panel = *m_line.panel;
        panel.fillFlash(0x00);
        QCOMPARE(m_line.exchange(BootFrame::eraseRequest(0, 85)), QByteArray::fromHex("03"));
        QCOMPARE(panel.pageErases(), 85);
        QCOMPARE(m_line.exchange(BootFrame::eraseRequest(0x15400, 1)), QByteArray::fromHex("03"));
        QCOMPARE(m_line.exchange(BootFrame::writeRequest(0x15780, BootFrame::pattern(64, 1))), QByteArray::fromHex("02"));
        QCOMPARE(panel.readFlash(0x15400, 1) + panel.readFlash(0x157FE, 1), QByteArray(8, '\0'));
        const QByteArray row0 = BootFrame::pattern(64, 5);
        QCOMPARE(m_line.exchange(BootFrame::writeRequest(0, row0)), QByteArray::fromHex("02"));
        QCOMPARE(m_line.exchange(BootFrame::readRequest(0, 2)),
                 BootFrame::readRequest(0, 2) + QByteArray::fromHex("0054040001000000"));
        QCOMPARE(m_line.exchange(BootFrame::readRequest(0x100, 2)), BootFrame::readRequest(0x100, 2) + row0.left(8));
    }

    void badRequestsGetNoAnswer_data()
    {
        QTest::addColumn<QByteArray>("wire");
        const QByteArray row = BootFrame::pattern(64, 3);
        QByteArray badSum = BootFrame::frame(BootFrame::readRequest(0, 1));
        badSum[badSum.size() - 2] = char(badSum.at(badSum.size() - 2) + 1);
        QTest::newRow("bad checksum") << badSum;
        QTest::newRow("write off a row boundary") << BootFrame::frame(BootFrame::writeRequest(0x440, row));
        QTest::newRow("write past the end") << BootFrame::frame(BootFrame::writeRequest(0x15800, row));
        QTest::newRow("erase off a page boundary") << BootFrame::frame(BootFrame::eraseRequest(0x200, 1));
        QTest::newRow("read 65 instructions") << BootFrame::frame(BootFrame::readRequest(0, 65));
    }

    void badRequestsGetNoAnswer()
    {
        QFETCH(QByteArray, wire);
        m_line.panel->fillFlash(0x00);
        const QByteArray before = m_line.panel->fileBytes();
        QVERIFY(m_line.port.write(wire));
        QVERIFY(m_line.port.readUntilSilent(PanelLine::kSilenceMs).isEmpty());
        QVERIFY(m_line.panel->fileBytes() == before);
        QCOMPARE(m_line.exchange(QByteArray::fromHex("08")), QByteArray::fromHex("08"));  // still serving
    }

    void lenZeroLeavesTheBootloaderUntilReset()
    {
        QVERIFY(m_line.noAnswerTo(QByteArray::fromHex("0200000000")));
        QVERIFY(!m_line.panel->inBootloader());
        m_line.port.write(PanelLine::kProbe);
        QVERIFY(m_line.port.readUntilSilent(PanelLine::kSilenceMs).isEmpty());
        m_line.panel->resetBootloader();
        QCOMPARE(m_line.rawExchange(PanelLine::kProbe, PanelLine::kProbeReply.size()), PanelLine::kProbeReply);
    }
};

QTEST_GUILESS_MAIN(TestPanel)
#include "tst_panel.moc"
