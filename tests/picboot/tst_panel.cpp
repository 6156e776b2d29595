// The library against the virtual panel over real pseudo-terminals: every
// export, the bootloader's own words, two panels at once. The line's faults
// and the library's answer to them are pinned against a scripted device end
// (tst_wire) and the panel's fault tests.
#include "picrequest.h"
#include "support/panelline.h"

#include <QtTest>

#include <atomic>
#include <thread>

namespace {

// A row of instructions whose bytes include every framing control byte.
QByteArray rowData(int seed)
{
    QByteArray row(256, 0);
    const char control[] = {0x55, 0x04, 0x05};
    for (int i = 0; i < 256; ++i)
        row[i] = i % 4 == 3 ? char(0) : (i % 5 == 0 ? control[(i / 5) % 3] : char((i * 7 + seed) & 0xFF));
    return row;
}

const uint8_t *u8(const QByteArray &b)
{
    return reinterpret_cast<const uint8_t *>(b.constData());
}

} // namespace

class TestPanel : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        if (m_handle > 0)
            ClosePIC(m_handle);
        m_handle = -1;
        m_panel.reset();
    }

    void everyExport()
    {
        start();

        // The device ID, as the scan's probe asks for it.
        PicRequest id = picRequest(1, 0xFF0000, 4);
        unsigned char devid[4] = {};
        QCOMPARE(ReadPIC(m_handle, &id, devid), 4);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(devid), 4), QByteArray::fromHex("08100000"));
        QCOMPARE(m_panel->packets().value(0), QByteArray::fromHex("01010000ff"));

        // The version, through the raw exchange: the reply lands in the buffer.
        unsigned char buffer[16] = {0x00, 0x02};
        QCOMPARE(SendGetPacket(m_handle, buffer, 2, sizeof buffer, 2), 5);
        QCOMPARE(buffer[0], 0x00);
        QCOMPARE(buffer[1], 0x02);

        // Erase two pages, write a row in the second one, read it back.
        m_panel->fillFlash(0x00);
        QCOMPARE(ErasePIC(m_handle, 0x400, 2, 2), 2);
        QCOMPARE(m_panel->pageErases(), 2);
        QCOMPARE(m_panel->readFlash(0x400, 2), QByteArray("\xFF\xFF\xFF\x00\xFF\xFF\xFF\x00", 8));
        QCOMPARE(m_panel->readFlash(0x0, 1), QByteArray(4, 0));

        const QByteArray row = rowData(1);
        PicRequest w = picRequest(2, 0x880);
        QCOMPARE(WritePIC(m_handle, &w, u8(row)), 256);
        QCOMPARE(m_panel->readFlash(0x880, 64), row);
        PicRequest r = picRequest(1, 0x880);
        QByteArray back(256, 0);
        QCOMPARE(ReadPIC(m_handle, &r, reinterpret_cast<uint8_t *>(back.data())), 256);
        QCOMPARE(back, row);
        QCOMPARE(VerifyPIC(m_handle, &w, u8(row)), 256);  // a write's record verifies as it stands
        QCOMPARE(VerifyPIC(m_handle, &r, u8(row)), 256);

        // Written over flash that was not erased, the row reads back wrong.
        PicRequest w0 = picRequest(2, 0x0);
        QCOMPARE(WritePIC(m_handle, &w0, u8(row)), 256);
        QCOMPARE(VerifyPIC(m_handle, &w0, u8(row)), int(PICBOOT_ERR_VERIFY));

        // Packets by hand: the verify-OK command and its answer.
        const unsigned char ok[1] = {0x08};
        QCOMPARE(SendPacket(m_handle, ok, 1), 1);
        QCOMPARE(GetPacket(m_handle, buffer, sizeof buffer), 2);
        QCOMPARE(buffer[0], 0x08);

        // The wake-up packet: the panel leaves the bootloader and says no more.
        const unsigned char wake[2] = {0x00, 0x00};
        QCOMPARE(SendPacket(m_handle, wake, 2), 2);
        QTRY_VERIFY_WITH_TIMEOUT(!m_panel->inBootloader(), 3000);

        QCOMPARE(ClosePIC(m_handle), 1);
        m_handle = -1;
    }

    void bootloaderWordsAreNotAMismatch()
    {
        start();
        QVERIFY(ErasePIC(m_handle, 0, 1, 2) >= 0);
        const QByteArray row0 = rowData(2), row2 = rowData(3);
        PicRequest w0 = picRequest(2, 0x0), w2 = picRequest(2, 0x100);
        QCOMPARE(WritePIC(m_handle, &w0, u8(row0)), 256);
        QCOMPARE(WritePIC(m_handle, &w2, u8(row2)), 256);
        // The bootloader keeps its jump at 0/2 and the application's at
        // 0x100/0x102: those words differ, nothing else does.
        QCOMPARE(VerifyPIC(m_handle, &w0, u8(row0)), 256);
        QCOMPARE(VerifyPIC(m_handle, &w2, u8(row2)), 256);

        // A corrupted byte anywhere else is a mismatch.
        PanelFaults faults;
        faults.corruptReadAddress = 0x104;
        m_panel->setFaults(faults);
        QCOMPARE(VerifyPIC(m_handle, &w2, u8(row2)), int(PICBOOT_ERR_VERIFY));
        PicRequest r2 = picRequest(1, 0x100);
        QByteArray back(256, 0);
        QCOMPARE(ReadPIC(m_handle, &r2, reinterpret_cast<uint8_t *>(back.data())), 256);
        QVERIFY(back.at(8) != row2.at(8));
    }

    void twoPanelsAtOnce()
    {
        VirtualPanel a(PanelLine::unpaced()), b(PanelLine::unpaced());
        QVERIFY(a.start() && b.start());
        const PicHandle ha = OpenPIC(a.devicePath().toLocal8Bit().constData(), 115200, 1000);
        const PicHandle hb = OpenPIC(b.devicePath().toLocal8Bit().constData(), 115200, 1000);
        QVERIFY(ha > 0 && hb > 0 && ha != hb);
        QVERIFY(ErasePIC(ha, 0x400, 2, 2) >= 0 && ErasePIC(hb, 0x400, 2, 2) >= 0);

        std::atomic<int> good{0};
        auto job = [&good](PicHandle h, int seed) {
            for (int i = 0; i < 16; ++i) {
                const QByteArray row = rowData(seed + i);
                PicRequest w = picRequest(2, 0x400 + quint32(i) * 0x80);
                if (WritePIC(h, &w, u8(row)) == 256 && VerifyPIC(h, &w, u8(row)) == 256)
                    ++good;
            }
        };
        std::thread ta(job, ha, 10), tb(job, hb, 90);
        ta.join();
        tb.join();
        QCOMPARE(good.load(), 32);
        QCOMPARE(a.readFlash(0x400 + 3 * 0x80, 64), rowData(13));
        QCOMPARE(b.readFlash(0x400 + 3 * 0x80, 64), rowData(93));

        // Closing one leaves the other working.
        QCOMPARE(ClosePIC(ha), 1);
        PicRequest w = picRequest(2, 0x400);
        QCOMPARE(VerifyPIC(hb, &w, u8(rowData(90))), 256);
        QCOMPARE(VerifyPIC(ha, &w, u8(rowData(10))), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(ClosePIC(hb), 1);
    }

private:
    void start()
    {
        m_panel.reset(new VirtualPanel(PanelLine::unpaced()));
        QVERIFY(m_panel->start());
        m_handle = OpenPIC(m_panel->devicePath().toLocal8Bit().constData(), 115200, 1000);
        QVERIFY(m_handle > 0);
    }

    QScopedPointer<VirtualPanel> m_panel;
    PicHandle m_handle = -1;
};

QTEST_GUILESS_MAIN(TestPanel)
#include "tst_panel.moc"
