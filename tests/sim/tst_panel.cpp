// The virtual panel is the other end of every test: what it refuses, keeps
// and moves must be what the panel's bootloader does, or a fault in the
// wizard would pass unseen.

#include "sim/flashmodel.h"
#include "sim/framedecoder.h"
#include "support/bootframe.h"

#include <QtTest>

class TestPanel : public QObject
{
    Q_OBJECT

private slots:
    // The protected page is never erased or written; the application's jump
    // is moved to 0x100/0x102 and the bootloader's own stays at 0.
    void theBootloaderKeepsItsOwn()
    {
        FlashModel flash;
        flash.fill(0x00);
        QVERIFY(!flash.erasePage(0x15400));
        QVERIFY(!flash.writeRow(0x15780, BootFrame::pattern(64, 1)));
        QCOMPARE(flash.read(0x15400, 1) + flash.read(0x157FE, 1), QByteArray(8, '\0'));
        QVERIFY(flash.erasePage(0x15000) && flash.erasePage(0));
        QCOMPARE(flash.read(0x153FE, 1), QByteArray::fromHex("ffffff00"));
        const QByteArray row0 = BootFrame::pattern(64, 5);
        QVERIFY(flash.writeRow(0, row0));
        QCOMPARE(flash.read(0, 2), QByteArray::fromHex("0054040001000000"));
        QCOMPARE(flash.read(0x100, 2), row0.left(8));
    }

    // A packet whose checksum is off is dropped, not carried out.
    void aDamagedPacketIsDropped()
    {
        FrameDecoder decoder;
        QByteArray wire = BootFrame::frame(BootFrame::readRequest(0, 1));
        wire[wire.size() - 2] = char(wire.at(wire.size() - 2) + 1);
        int packets = 0;
        for (char byte : wire + BootFrame::frame(QByteArray::fromHex("08")))
            packets += decoder.feed(quint8(byte)) == FrameDecoder::Event::Packet;
        QCOMPARE(packets, 1);
        QCOMPARE(decoder.payload(), QByteArray::fromHex("08"));
        QCOMPARE(decoder.droppedPackets(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPanel)
#include "tst_panel.moc"
