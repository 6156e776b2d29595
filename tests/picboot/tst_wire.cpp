// The library on the wire, against a scripted device end on a
// pseudo-terminal: framing, escapes, resync, the inter-byte time-out, retries
// and the failures a reply can bring.
#include "picrequest.h"
#include "scriptedpeer.h"
#include "support/bootframe.h"

#include <QtTest>

#include <atomic>

namespace {

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}

// The reply a panel gives to a read: the request header echoed, then the data.
QByteArray readReply(quint32 address, const QByteArray &data)
{
    return BootFrame::readRequest(address, data.size() / 4) + data;
}

const QByteArray kFill(8, char(0xEE));      // a caller's buffer, to see it left alone

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
            p.send(QByteArray::fromHex("555501010000ff08100000e704"));
        });
        PicRequest r = picRequest(1, 0xFF0000, 4, 2);
        unsigned char id[4] = {};
        QCOMPARE(ReadPIC(m_handle, &r, id), 4);
        m_peer->wait();
        QCOMPARE(m_peer->frames().value(0), QByteArray::fromHex("55550101 0000ffff04"));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(id), 4), bytes({0x08, 0x10, 0x00, 0x00}));
    }

    void controlBytesAreEscaped_data()
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

    void controlBytesAreEscaped()
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

    void resyncsAfterGarbageAndBareStx_data()
    {
        QTest::addColumn<QByteArray>("wire");
        const QByteArray garbage = bytes({0x00, 0x13, 0x04, 0x05, 0x55, 0x12, 0xFF, 0x05, 0x55});
        const QByteArray good = BootFrame::frame(bytes({0x10, 0x20}));
        QTest::newRow("garbage") << garbage + good;
        QTest::newRow("half a packet, then a bare STX") << garbage + bytes({0x55, 0x55, 0x01, 0x02}) + good.mid(1);
        QTest::newRow("half a packet, then STX STX") << bytes({0x55, 0x55, 0x03, 0x07, 0x09}) + good;
        QTest::newRow("escaped STX is data, not a start")
            << bytes({0x55, 0x55, 0x05, 0x55, 0x05, 0x55, 0x10}) + good;
    }

    void resyncsAfterGarbageAndBareStx()
    {
        QFETCH(QByteArray, wire);
        open();
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
        const QByteArray wire = BootFrame::frame(bytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}));

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
        const QByteArray good = BootFrame::frame(bytes({0x42}));
        QByteArray corrupt = good;
        corrupt[3] = char(corrupt[3] ^ 0x01);  // the checksum byte

        // Two bad checksums, then a good reply: three tries, success.
        m_peer->run([good, corrupt](ScriptedPeer &p) {
            for (const QByteArray &reply : {corrupt, corrupt, good}) {
                p.readFrame();
                p.send(reply);
            }
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
        PicRequest r = picRequest(1, 0x400, 4, 3);
        QByteArray data = kFill;
        QCOMPARE(ReadPIC(m_handle, &r, reinterpret_cast<uint8_t *>(data.data())), int(PICBOOT_ERR_RETRIES));
        m_peer->wait();
        const QByteArray sent = BootFrame::frame(BootFrame::readRequest(0x400, 1));
        QCOMPARE(m_peer->frames().mid(3), QList<QByteArray>({sent, sent, sent, sent}));
        QCOMPARE(data, kFill);  // a failed read leaves the caller's buffer alone

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
        QTest::newRow("reply over the limit") << BootFrame::frame(QByteArray(300, 0x11)) << int(PICBOOT_ERR_REPLY_TOO_LONG);
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
        PicRequest r = picRequest(1, 0x400, 8, 5);
        QByteArray data = kFill;
        QCOMPARE(ReadPIC(m_handle, &r, reinterpret_cast<uint8_t *>(data.data())), expected);
        m_peer->wait();
        QCOMPARE(m_peer->frames().size(), 1);
        QCOMPARE(data, kFill);
    }

    // What cannot answer the request in hand is dropped and the link keeps
    // listening: noise, a packet cut short, a reply to another request.
    void strayBytesBeforeTheReplyAreDropped_data()
    {
        QTest::addColumn<int>("command");  // 1 ReadPIC, 3 ErasePIC
        QTest::addColumn<QByteArray>("stray");
        const QByteArray eraseReply = BootFrame::frame(bytes({0x03}));
        QTest::newRow("erase: STX STX and 3 bytes, no ETX") << 3 << bytes({0x55, 0x55, 1, 2, 3});
        QTest::newRow("erase: STX STX and 300 bytes, no ETX") << 3 << bytes({0x55, 0x55}) + QByteArray(300, 0x11);
        QTest::newRow("erase: a write's reply") << 3 << BootFrame::frame(bytes({0x02}));
        QTest::newRow("erase: a read-back's reply") << 3 << BootFrame::frame(readReply(0x400, QByteArray(256, 7)));
        QTest::newRow("erase: the same reply twice") << 3 << eraseReply + eraseReply;
        QTest::newRow("read: another command's reply") << 1 << BootFrame::frame(bytes({0x03}));
        QTest::newRow("read: header of another address") << 1 << BootFrame::frame(readReply(0x800, QByteArray(8, 0)));
        QTest::newRow("read: a shorter read of the address") << 1 << BootFrame::frame(readReply(0x400, QByteArray(4, 0)));
    }

    void strayBytesBeforeTheReplyAreDropped()
    {
        QFETCH(int, command);
        QFETCH(QByteArray, stray);
        open(300);
        const QByteArray data8 = QByteArray::fromHex("0102030004050600");
        const QByteArray reply = command == 1 ? BootFrame::frame(readReply(0x400, data8)) : BootFrame::frame(bytes({0x03}));
        m_peer->run([stray, reply](ScriptedPeer &p) {
            p.readFrame();
            p.send(stray);
            p.send(reply);
            p.readFrame(500);
        });
        if (command == 1) {
            PicRequest r = picRequest(1, 0x400, 8, 2);
            QByteArray data = kFill;
            QCOMPARE(ReadPIC(m_handle, &r, reinterpret_cast<uint8_t *>(data.data())), 8);
            QCOMPARE(data.left(8), data8);
        } else {
            QCOMPARE(ErasePIC(m_handle, 0, 1, 2), 1);
        }
        m_peer->wait();
        QCOMPARE(m_peer->frames().size(), 1);  // answered on the first try
    }

    // A line that never stops sending STX holds a request only for a
    // bounded number of bytes, not for as long as the chatter lasts.
    void endlessChatterEndsTheRead()
    {
        open(150);
        std::atomic<bool> done{false};
        m_peer->run([&done](ScriptedPeer &p) {
            p.readFrame();
            for (int i = 0; i < 800 && !done; ++i) {
                p.send(QByteArray(64, 0x55));
                QThread::msleep(5);
            }
        });
        PicRequest r = picRequest(1, 0x400, 8, 0);
        QByteArray data = kFill;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ReadPIC(m_handle, &r, reinterpret_cast<uint8_t *>(data.data())), int(PICBOOT_ERR_RETRIES));
        const qint64 took = clock.elapsed();
        done = true;
        m_peer->wait();
        // The chatter lasts 4 s at least; a bounded read ends well before.
        QVERIFY2(took < 2500, qPrintable(QString::number(took)));
    }

    void getPacketReportsWhatCameAndKeepsTheLineClean()
    {
        open(200);
        QByteArray corrupt = BootFrame::frame(bytes({0x22, 0x33}));
        corrupt[2] = char(0x23);
        const QByteArray tooLong = BootFrame::frame(QByteArray(40, 0x05));
        const QByteArray good = BootFrame::frame(bytes({0x44}));
        const QByteArray empty = bytes({0x55, 0x55, 0x04});
        m_peer->run([=](ScriptedPeer &p) { p.send(corrupt + tooLong + good + empty); });
        unsigned char buffer[32];
        QCOMPARE(GetPacket(m_handle, buffer, sizeof buffer), int(PICBOOT_ERR_CHECKSUM));
        // The oversized packet is read to its end, so the next one is whole.
        QCOMPARE(GetPacket(m_handle, buffer, sizeof buffer), int(PICBOOT_ERR_REPLY_TOO_LONG));
        QCOMPARE(GetPacket(m_handle, buffer, sizeof buffer), 2);
        QCOMPARE(buffer[0], 0x44);
        QCOMPARE(buffer[1], 0xBC);  // the checksum is part of what GetPacket hands back
        // An empty packet has no checksum to be right.
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
        m_peer->send(BootFrame::frame(bytes({0x03})));
        QTest::qWait(50);
        m_peer->run([](ScriptedPeer &p) {
            p.readFrame();
            p.send(BootFrame::frame(bytes({0x02})));
        });
        PicRequest w = picRequest(2, 0x80, 256, 1);
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
            p.send(BootFrame::frame(bytes({0x03})));
        });
        QVERIFY(ErasePIC(m_handle, 0x1000, 3, 0) >= 0);
        m_peer->wait();
        QCOMPARE(m_peer->frames().value(0), BootFrame::frame(bytes({0x03, 0x03, 0x00, 0x10, 0x00})));
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
