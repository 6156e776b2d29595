// The library on the wire, against a scripted device end on a
// pseudo-terminal: framing, escapes, resync, the inter-byte time-out, retries
// and the failures a reply can bring.
#include "picboot/picboot.h"
#include "scriptedpeer.h"

#include <QtTest>

#include <cstring>

namespace {

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}

PicRequest readRequest(quint32 address, quint16 length, quint16 retries = 0)
{
    PicRequest r{};
    r.command = 1;
    r.dataLength = length;
    r.bootAddress = address;
    r.transferUnit = 4;
    r.bytesPerAddress = 2;
    r.deviceParam1 = retries;
    r.deviceParam2 = 2;
    return r;
}

PicRequest writeRequest(quint32 address, quint16 retries = 0)
{
    PicRequest r = readRequest(address, 256, retries);
    r.command = 2;
    r.transferUnit = 256;
    return r;
}

// The reply a panel gives to a read: the request header echoed, then the data.
QByteArray readReply(quint32 address, const QByteArray &data)
{
    return bytes({1, data.size() / 4, int(address & 0xFF), int((address >> 8) & 0xFF), int((address >> 16) & 0xFF)})
        + data;
}

} // namespace

class TestWire : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_peer.reset(new ScriptedPeer);
        QVERIFY(m_peer->open());
    }

    void cleanup()
    {
        if (m_handle > 0)
            ClosePIC(m_handle);
        m_handle = -1;
        m_peer.reset();
    }

    void deviceIdReadIsTheProbe()
    {
        open();
        m_peer->run([](ScriptedPeer &p) {
            p.readFrame();
            p.send(ScriptedPeer::reply(bytes({0x01, 0x01, 0x00, 0x00, 0xFF, 0x08, 0x10, 0x00, 0x00})));
        });
        PicRequest r = readRequest(0xFF0000, 4, 2);
        unsigned char id[4] = {};
        QCOMPARE(ReadPIC(m_handle, &r, id), 4);
        m_peer->wait();
        QCOMPARE(m_peer->frames().value(0), bytes({0x55, 0x55, 0x01, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x04}));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(id), 4), bytes({0x08, 0x10, 0x00, 0x00}));
        // The reference framing agrees with the worked example's checksum.
        QVERIFY(ScriptedPeer::reply(bytes({1, 1, 0, 0, 0xFF, 8, 0x10, 0, 0})).endsWith(bytes({0xE7, 0x04})));
    }

    void checksumIsEscapedWhenItIsAControlByte_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("checksum 0x55") << bytes({0xAB}) << bytes({0x55, 0x55, 0xAB, 0x05, 0x55, 0x04});
        QTest::newRow("checksum 0x04") << bytes({0xFC}) << bytes({0x55, 0x55, 0xFC, 0x05, 0x04, 0x04});
        QTest::newRow("checksum 0x05") << bytes({0xFB}) << bytes({0x55, 0x55, 0xFB, 0x05, 0x05, 0x04});
        QTest::newRow("control bytes in the payload")
            << bytes({0x55, 0x04, 0x05, 0x00})
            << bytes({0x55, 0x55, 0x05, 0x55, 0x05, 0x04, 0x05, 0x05, 0x00, 0xA2, 0x04});
        QTest::newRow("wake-up packet") << bytes({0x00, 0x00}) << bytes({0x55, 0x55, 0x00, 0x00, 0x00, 0x04});
    }

    void checksumIsEscapedWhenItIsAControlByte()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, wire);
        open();
        m_peer->run([](ScriptedPeer &p) { p.readFrame(); });
        QCOMPARE(SendPacket(m_handle, reinterpret_cast<const uint8_t *>(payload.constData()), payload.size()),
                 payload.size());
        m_peer->wait();
        QCOMPARE(m_peer->frames().value(0), wire);

        // The same bytes coming back decode to the payload and its checksum.
        m_peer->run([wire](ScriptedPeer &p) { p.send(wire); });
        unsigned char buffer[16] = {};
        QCOMPARE(GetPacket(m_handle, buffer, sizeof buffer), payload.size() + 1);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), payload.size()), payload);
    }

    void rowWithControlBytesCrossesIntact()
    {
        open();
        QByteArray data(256, 0);
        for (int i = 0; i < 256; ++i)
            data[i] = char(i % 4 == 3 ? 0 : (i % 3 == 0 ? 0x55 : (i % 3 == 1 ? 0x04 : 0x05)));
        m_peer->run([](ScriptedPeer &p) {
            p.readFrame();
            p.send(ScriptedPeer::reply(bytes({0x02})));
        });
        PicRequest w = writeRequest(0x1280, 2);
        QCOMPARE(WritePIC(m_handle, &w, reinterpret_cast<const uint8_t *>(data.constData())), 256);
        m_peer->wait();
        const QByteArray header = bytes({0x02, 0x01, 0x80, 0x12, 0x00});
        QCOMPARE(m_peer->frames().value(0), ScriptedPeer::frame(header + data));
        QCOMPARE(ScriptedPeer::unframe(m_peer->frames().value(0)).chopped(1), header + data);

        // And back: a read whose data and checksum need escapes.
        const QByteArray readData = data.left(64);
        m_peer->run([readData](ScriptedPeer &p) {
            p.readFrame();
            p.send(ScriptedPeer::reply(readReply(0x1280, readData)));
        });
        PicRequest r = readRequest(0x1280, 64);
        unsigned char got[64] = {};
        QCOMPARE(ReadPIC(m_handle, &r, got), 64);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(got), 64), readData);
        m_peer->wait();
    }

    void resyncsAfterGarbageAndBareStx_data()
    {
        QTest::addColumn<QByteArray>("before");
        const QByteArray garbage = bytes({0x00, 0x13, 0x04, 0x05, 0x55, 0x12, 0xFF, 0x05, 0x55});
        QTest::newRow("garbage") << garbage;
        QTest::newRow("half a packet, then a bare STX") << garbage + bytes({0x55, 0x55, 0x01, 0x02});
        QTest::newRow("half a packet, then STX STX") << bytes({0x55, 0x55, 0x03, 0x07, 0x09});
        QTest::newRow("escaped STX is data, not a start") << bytes({0x55, 0x55, 0x05, 0x55, 0x05, 0x55, 0x10});
    }

    void resyncsAfterGarbageAndBareStx()
    {
        QFETCH(QByteArray, before);
        open();
        const QByteArray good = ScriptedPeer::reply(bytes({0x10, 0x20}));
        QByteArray wire = before;
        // A bare STX restarts, so the good packet may follow with its own
        // STX pair; a single extra STX must do as well.
        wire += QTest::currentDataTag() == QByteArray("half a packet, then a bare STX") ? good.mid(1) : good;
        m_peer->run([wire](ScriptedPeer &p) {
            p.readFrame();
            p.send(wire);
        });
        unsigned char buffer[8] = {0x10};
        QCOMPARE(SendGetPacket(m_handle, buffer, 1, sizeof buffer, 0), 3);
        QCOMPARE(buffer[0], 0x10);
        QCOMPARE(buffer[1], 0x20);
        m_peer->wait();
    }

    void silenceBetweenBytesIsTheTimeOut()
    {
        open(200);
        const QByteArray wire = ScriptedPeer::reply(bytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}));
        QVERIFY(wire.size() > 12);

        // Bytes keep coming within the time-out: the packet takes far longer
        // than the time-out as a whole, and still arrives.
        m_peer->run([wire](ScriptedPeer &p) {
            p.readFrame();
            p.trickle(wire, 40);
        });
        unsigned char buffer[16] = {0x01};
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(SendGetPacket(m_handle, buffer, 1, sizeof buffer, 0), 9);
        QVERIFY2(timer.elapsed() > 200, "the reply must have outlasted one time-out");
        m_peer->wait();

        // A pause longer than the time-out in the middle of a packet fails it.
        m_peer->run([wire](ScriptedPeer &p) {
            p.send(wire.left(5));
            QThread::msleep(600);
            p.send(wire.mid(5));
        });
        QCOMPARE(GetPacket(m_handle, buffer, sizeof buffer), int(PICBOOT_ERR_TIMEOUT));
        m_peer->wait();

        // Nothing at all.
        QCOMPARE(GetPacket(m_handle, buffer, sizeof buffer), int(PICBOOT_ERR_TIMEOUT));
    }

    void retriesAfterSilenceAndBadChecksumThenGivesUp()
    {
        open(150);
        const QByteArray good = ScriptedPeer::reply(bytes({0x42}));
        QByteArray corrupt = good;
        corrupt[3] = char(corrupt[3] ^ 0x01);  // the checksum byte

        // Two bad checksums, then a good reply: three tries, success.
        m_peer->run([good, corrupt](ScriptedPeer &p) {
            for (int i = 0; i < 2; ++i) {
                p.readFrame();
                p.send(corrupt);
            }
            p.readFrame();
            p.send(good);
        });
        unsigned char buffer[4] = {0x42};
        QCOMPARE(SendGetPacket(m_handle, buffer, 1, sizeof buffer, 2), 2);
        m_peer->wait();
        QCOMPARE(m_peer->frames().size(), 3);

        // Silence on every try: retries + 1 identical requests, then -5.
        m_peer->run([](ScriptedPeer &p) {
            while (!p.readFrame(800).isEmpty()) {
            }
        });
        PicRequest r = readRequest(0x400, 4, 3);
        unsigned char data[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        QCOMPARE(ReadPIC(m_handle, &r, data), int(PICBOOT_ERR_RETRIES));
        m_peer->wait();
        const QList<QByteArray> frames = m_peer->frames().mid(3);
        QCOMPARE(frames.size(), 4);
        for (const QByteArray &f : frames)
            QCOMPARE(f, ScriptedPeer::frame(bytes({0x01, 0x01, 0x00, 0x04, 0x00})));
        QCOMPARE(data[0], 0xEE);  // a failed read leaves the caller's buffer alone

        // Bad checksums only, on an erase with no retries: one try.
        m_peer->run([corrupt](ScriptedPeer &p) {
            p.readFrame();
            p.send(corrupt);
            p.readFrame(500);
        });
        QCOMPARE(ErasePIC(m_handle, 0, 1, 0), int(PICBOOT_ERR_RETRIES));
        m_peer->wait();
        QCOMPARE(m_peer->frames().size(), 3 + 4 + 1);
    }

    // Failures other than a time-out or a bad checksum are final: the
    // request is not sent again.
    void otherFailuresReturnAtOnce_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("expected");
        QTest::newRow("reply over the limit") << ScriptedPeer::reply(QByteArray(300, 0x11))
                                              << int(PICBOOT_ERR_REPLY_TOO_LONG);
        QTest::newRow("another command's reply") << ScriptedPeer::reply(bytes({0x03})) << int(PICBOOT_ERR_COMMAND);
        QTest::newRow("header of another address")
            << ScriptedPeer::reply(readReply(0x800, QByteArray(8, 0))) << int(PICBOOT_ERR_COMMAND);
        QTest::newRow("short reply") << ScriptedPeer::reply(readReply(0x400, QByteArray(4, 0)).left(9))
                                     << int(PICBOOT_ERR_COMMAND);
        QTest::newRow("line dropped") << QByteArray() << int(PICBOOT_ERR_IO);
    }

    void otherFailuresReturnAtOnce()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, expected);
        open(300);
        m_peer->run([answer](ScriptedPeer &p) {
            p.readFrame();
            if (answer.isEmpty())
                p.hangUp();
            else
                p.send(answer);
            p.readFrame(700);
        });
        PicRequest r = readRequest(0x400, 8, 5);
        unsigned char data[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        QCOMPARE(ReadPIC(m_handle, &r, data), expected);
        m_peer->wait();
        QCOMPARE(m_peer->frames().size(), 1);
        QCOMPARE(data[7], 0xEE);
    }

    void getPacketReportsWhatCameAndKeepsTheLineClean()
    {
        open(200);
        QByteArray corrupt = ScriptedPeer::reply(bytes({0x22, 0x33}));
        corrupt[2] = char(0x23);
        const QByteArray tooLong = ScriptedPeer::reply(QByteArray(40, 0x05));
        const QByteArray good = ScriptedPeer::reply(bytes({0x44}));
        m_peer->run([=](ScriptedPeer &p) { p.send(corrupt + tooLong + good); });
        unsigned char buffer[32];
        QCOMPARE(GetPacket(m_handle, buffer, sizeof buffer), int(PICBOOT_ERR_CHECKSUM));
        // The oversized packet is read to its end, so the next one is whole.
        QCOMPARE(GetPacket(m_handle, buffer, sizeof buffer), int(PICBOOT_ERR_REPLY_TOO_LONG));
        QCOMPARE(GetPacket(m_handle, buffer, sizeof buffer), 2);
        QCOMPARE(buffer[0], 0x44);
        QCOMPARE(buffer[1], 0xBC);  // the checksum is part of what GetPacket hands back
        m_peer->wait();

        // An empty packet has no checksum to be right.
        m_peer->run([](ScriptedPeer &p) { p.send(bytes({0x55, 0x55, 0x04})); });
        QCOMPARE(GetPacket(m_handle, buffer, sizeof buffer), int(PICBOOT_ERR_CHECKSUM));
        m_peer->wait();

        // A reply that stops in the middle of an oversized packet is still
        // over the limit, not a silence to retry.
        m_peer->run([](ScriptedPeer &p) { p.send(QByteArray("\x55\x55", 2) + QByteArray(40, 0x11)); });
        QCOMPARE(GetPacket(m_handle, buffer, 8), int(PICBOOT_ERR_REPLY_TOO_LONG));
        m_peer->wait();
    }

    void staleBytesAreNotTakenForTheReply()
    {
        open(200);
        // A late answer to an earlier request is still on the line when the
        // next request goes out.
        m_peer->send(ScriptedPeer::reply(bytes({0x03})));
        QTest::qWait(50);
        m_peer->run([](ScriptedPeer &p) {
            p.readFrame();
            p.send(ScriptedPeer::reply(bytes({0x02})));
        });
        PicRequest w = writeRequest(0x80, 1);
        const QByteArray data(256, 0x5A);
        QCOMPARE(WritePIC(m_handle, &w, reinterpret_cast<const uint8_t *>(data.constData())), 256);
        m_peer->wait();
    }

    void eraseWaitsForTheDeviceToFinish()
    {
        open(200);
        // Three pages: the device may be busy well past the plain time-out
        // before it says anything.
        m_peer->run([](ScriptedPeer &p) {
            p.readFrame();
            QThread::msleep(240);
            p.send(ScriptedPeer::reply(bytes({0x03})));
        });
        QVERIFY(ErasePIC(m_handle, 0x1000, 3, 0) >= 0);
        m_peer->wait();
        QCOMPARE(m_peer->frames().value(0), ScriptedPeer::frame(bytes({0x03, 0x03, 0x00, 0x10, 0x00})));
    }

private:
    void open(int timeoutMs = 1000)
    {
        m_handle = OpenPIC(m_peer->path().constData(), 115200, timeoutMs);
        QVERIFY2(m_handle > 0, "OpenPIC on the pseudo-terminal");
    }

    QScopedPointer<ScriptedPeer> m_peer;
    PicHandle m_handle = -1;
};

QTEST_GUILESS_MAIN(TestWire)
#include "tst_wire.moc"
