// The panel's side of the framing: what it takes as a packet, what it drops,
// and the bytes it puts on the line.

#include "support/bootframe.h"
#include "sim/framedecoder.h"
#include "sim/frameencoder.h"

#include <QtTest>

namespace {
struct Fed
{
    QList<QByteArray> packets;
    int idRequests = 0;
};

Fed feed(FrameDecoder &decoder, const QByteArray &bytes)
{
    Fed fed;
    for (char c : bytes) {
        switch (decoder.feed(quint8(c))) {
        case FrameDecoder::Event::Packet:
            fed.packets.append(decoder.payload());
            break;
        case FrameDecoder::Event::IdRequest:
            ++fed.idRequests;
            break;
        case FrameDecoder::Event::None:
            break;
        }
    }
    return fed;
}
} // namespace

class TestFraming : public QObject
{
    Q_OBJECT

private slots:
    void encodesTheProbeAndItsReply()
    {
        QCOMPARE(FrameEncoder::encode(QByteArray::fromHex("010100 00ff")),
                 QByteArray::fromHex("55550101 0000ffff04"));
        QCOMPARE(FrameEncoder::encode(QByteArray::fromHex("01010000ff08100000")),
                 QByteArray::fromHex("555501010000ff08100000e704"));
    }

    void escapesSpecialBytesInPayloadAndChecksum_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("stx etx dle in data") << QByteArray::fromHex("01550405aa");
        QTest::newRow("checksum 0x55") << QByteArray::fromHex("ab");        // -0xab = 0x55
        QTest::newRow("checksum 0x04") << QByteArray::fromHex("fc");
        QTest::newRow("checksum 0x05") << QByteArray::fromHex("fb");
        QTest::newRow("dle then stx") << QByteArray::fromHex("020555");
    }

    void escapesSpecialBytesInPayloadAndChecksum()
    {
        QFETCH(QByteArray, payload);
        const QByteArray wire = FrameEncoder::encode(payload);
        // Matches the fixture's framing, built independently.
        QCOMPARE(wire, BootFrame::frame(payload));
        // Between the STX pair and the ETX, every special byte follows a DLE.
        const QByteArray body = wire.mid(2, wire.size() - 3);
        for (int i = 0; i < body.size(); ++i) {
            const auto b = quint8(body.at(i));
            if (b == 0x05) {
                ++i;
                continue;
            }
            QVERIFY2(b != 0x55 && b != 0x04, qPrintable(wire.toHex(' ')));
        }
        FrameDecoder decoder;
        const Fed fed = feed(decoder, wire);
        QCOMPARE(fed.packets, QList<QByteArray>{payload});
    }

    void badChecksumDropsThePacketOnly()
    {
        FrameDecoder decoder;
        QByteArray bad = BootFrame::frame(QByteArray::fromHex("0102030405"));
        bad[bad.size() - 2] = char(bad.at(bad.size() - 2) + 1);
        const QByteArray good = BootFrame::frame(QByteArray::fromHex("0801"));
        const Fed fed = feed(decoder, bad + good);
        QCOMPARE(fed.packets, QList<QByteArray>{QByteArray::fromHex("0801")});
        QCOMPARE(decoder.droppedPackets(), 1);
        // Corrupted via FrameEncoder too: the decoder rejects what the
        // panel's bad-checksum fault sends.
        QVERIFY(feed(decoder, FrameEncoder::encode("\x02", true)).packets.isEmpty());
    }

    void resynchronisesOnTwoStx()
    {
        FrameDecoder decoder;
        const QByteArray payload = QByteArray::fromHex("01010000ff");
        // Garbage, lone STX bytes and a stray ETX before the real packet.
        const QByteArray garbage = QByteArray::fromHex("00ff5504aa0555ee04");
        const Fed fed = feed(decoder, garbage + BootFrame::frame(payload));
        QCOMPARE(fed.packets, QList<QByteArray>{payload});
    }

    void bareStxStartsThePacketOver()
    {
        FrameDecoder decoder;
        // A packet cut short by a bare STX: the bytes before it are forgotten
        // and the rest is taken as a packet of its own.
        QByteArray wire = QByteArray::fromHex("5555 0203");
        wire += QByteArray::fromHex("55") + QByteArray::fromHex("0801f7") + QByteArray::fromHex("04");
        QCOMPARE(feed(decoder, wire).packets, QList<QByteArray>{QByteArray::fromHex("0801")});
        // An escaped STX is data and does not restart anything.
        QCOMPARE(feed(decoder, BootFrame::frame(QByteArray::fromHex("085555"))).packets,
                 QList<QByteArray>{QByteArray::fromHex("085555")});
    }

    void longestPacketPassesLongerIsDropped()
    {
        FrameDecoder decoder;
        const QByteArray largest = BootFrame::header(0x02, 1, 0x200) + BootFrame::pattern(64, 9);
        QCOMPARE(largest.size(), 261);
        QCOMPARE(feed(decoder, BootFrame::frame(largest)).packets, QList<QByteArray>{largest});

        // 300 bytes without an ETX: dropped once the buffer is full, and the
        // bytes that follow (no STX pair) are not taken as a packet either.
        QByteArray runaway("\x55\x55", 2);
        runaway += QByteArray(300, '\x11');
        runaway += '\x04';
        const Fed fed = feed(decoder, runaway + BootFrame::frame(QByteArray::fromHex("0801")));
        QCOMPARE(fed.packets, QList<QByteArray>{QByteArray::fromHex("0801")});
        QCOMPARE(decoder.droppedPackets(), 1);
    }

    void idRequestOnlyOutsidePackets()
    {
        FrameDecoder decoder;
        Fed fed = feed(decoder, QByteArray::fromHex("55aa"));
        QCOMPARE(fed.idRequests, 1);
        QVERIFY(fed.packets.isEmpty());
        // Inside a packet 55 restarts it and AA is data.
        fed = feed(decoder, QByteArray::fromHex("5555 01 55aa"));
        QCOMPARE(fed.idRequests, 0);
        // After garbage, and back to back.
        fed = feed(decoder, QByteArray::fromHex("04 00 55aa 55aa"));
        QCOMPARE(fed.idRequests, 2);
    }

    void emptyPacketsAreDropped()
    {
        FrameDecoder decoder;
        const Fed fed = feed(decoder, QByteArray::fromHex("555504 55550004"));
        QVERIFY(fed.packets.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
