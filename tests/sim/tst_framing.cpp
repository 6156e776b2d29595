// The panel's side of the framing: the bytes it puts on the line, what it
// takes as a packet and what it drops.

#include "support/bootframe.h"
#include "sim/framedecoder.h"
#include "sim/frameencoder.h"

#include <QtTest>

using Packets = QList<QByteArray>;

class TestFraming : public QObject
{
    Q_OBJECT

private slots:
    void encoderEscapesDataAndChecksum_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("stx etx dle in data") << QByteArray::fromHex("01550405aa")
                                             << QByteArray::fromHex("5555 01 0555 0504 0505 aa f7 04");
        QTest::newRow("checksum 0x55") << QByteArray::fromHex("ab") << QByteArray::fromHex("5555 ab 0555 04");
        QTest::newRow("checksum 0x04") << QByteArray::fromHex("fc") << QByteArray::fromHex("5555 fc 0504 04");
        QTest::newRow("checksum 0x05") << QByteArray::fromHex("fb") << QByteArray::fromHex("5555 fb 0505 04");
        QTest::newRow("probe reply") << QByteArray::fromHex("01010000ff08100000")
                                     << QByteArray::fromHex("555501010000ff08100000e704");
    }

    void encoderEscapesDataAndChecksum()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, wire);
        QCOMPARE(FrameEncoder::encode(payload), wire);
        FrameDecoder decoder;
        QCOMPARE(feed(decoder, wire).packets, Packets{payload});
    }

    void decoder_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<Packets>("packets");
        QTest::addColumn<int>("idRequests");
        QTest::addColumn<int>("dropped");
        const QByteArray verifyOk = BootFrame::frame(QByteArray::fromHex("0801"));
        QByteArray badChecksum = BootFrame::frame(QByteArray::fromHex("0102030405"));
        badChecksum[badChecksum.size() - 2] = char(badChecksum.at(badChecksum.size() - 2) + 1);
        const QByteArray largest = BootFrame::header(0x02, 1, 0x200) + BootFrame::pattern(64, 9);

        QTest::newRow("garbage, lone STX and ETX before a packet")
            << QByteArray::fromHex("00ff5504aa0555ee04") + verifyOk << Packets{QByteArray::fromHex("0801")} << 0 << 0;
        QTest::newRow("a bare STX starts the packet over")
            << QByteArray::fromHex("5555 0203 55 0801f7 04") << Packets{QByteArray::fromHex("0801")} << 0 << 0;
        QTest::newRow("an escaped STX is data")
            << BootFrame::frame(QByteArray::fromHex("085555")) << Packets{QByteArray::fromHex("085555")} << 0 << 0;
        QTest::newRow("bad checksum dropped, the next packet taken")
            << badChecksum + verifyOk << Packets{QByteArray::fromHex("0801")} << 0 << 1;
        QTest::newRow("the panel's own corrupted reply")
            << FrameEncoder::encode("\x02", true) << Packets{} << 0 << 1;
        QTest::newRow("largest packet") << BootFrame::frame(largest) << Packets{largest} << 0 << 0;
        QTest::newRow("runaway packet dropped, the bytes after it too")
            << QByteArray("\x55\x55", 2) + QByteArray(300, '\x11') + '\x04' + verifyOk
            << Packets{QByteArray::fromHex("0801")} << 0 << 1;
        QTest::newRow("empty packets") << QByteArray::fromHex("555504 55550004") << Packets{} << 0 << -1;
        QTest::newRow("id request") << QByteArray::fromHex("55aa") << Packets{} << 1 << 0;
        QTest::newRow("55 AA inside a packet is not one") << QByteArray::fromHex("5555 01 55aa") << Packets{} << 0 << -1;
        QTest::newRow("id requests after garbage, back to back")
            << QByteArray::fromHex("04 00 55aa 55aa") << Packets{} << 2 << 0;
    }

    void decoder()
    {
        QFETCH(QByteArray, wire);
        QFETCH(Packets, packets);
        QFETCH(int, idRequests);
        QFETCH(int, dropped);
        FrameDecoder decoder;
        const Fed fed = feed(decoder, wire);
        QCOMPARE(fed.packets, packets);
        QCOMPARE(fed.idRequests, idRequests);
        if (dropped >= 0)
            QCOMPARE(decoder.droppedPackets(), dropped);
    }

private:
    struct Fed
    {
        Packets packets;
        int idRequests = 0;
    };

    static Fed feed(FrameDecoder &decoder, const QByteArray &bytes)
    {
        Fed fed;
        for (char c : bytes) {
            const FrameDecoder::Event event = decoder.feed(quint8(c));
            if (event == FrameDecoder::Event::Packet)
                fed.packets.append(decoder.payload());
            else if (event == FrameDecoder::Event::IdRequest)
                ++fed.idRequests;
        }
        return fed;
    }
};

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
