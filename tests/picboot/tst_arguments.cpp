// Bad arguments and handles give an error code before anything reaches the
// line; a port is held by one link at a time.
#include "picrequest.h"
#include "scriptedpeer.h"

#include <QtTest>

namespace {

PicRequest request(quint8 command)
{
    return picRequest(command, 0x400, 256, 0);
}

enum Export { Read, Write, Verify };

} // namespace

Q_DECLARE_METATYPE(PicRequest)

class TestArguments : public QObject
{
    Q_OBJECT

private:
    ScriptedPeer m_peer;

    PicHandle open() { return OpenPIC(m_peer.path().constData(), 115200, 100); }

private slots:
    void initTestCase() { QVERIFY(m_peer.open()); }

    void openRefusesWhatItCannotUse()
    {
        QCOMPARE(OpenPIC(nullptr, 115200, 1000), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(OpenPIC("", 115200, 1000), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(OpenPIC("/dev/null", 0, 1000), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(OpenPIC("/dev/null", 115200, 0), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(OpenPIC("/dev/null", 115200, -5), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(OpenPIC("/no/such/port", 115200, 1000), int(PICBOOT_ERR_IO));
        QCOMPARE(OpenPIC("/dev/null", 115200, 1000), int(PICBOOT_ERR_IO));  // not a serial line
        QCOMPARE(OpenPIC(m_peer.path().constData(), 123456, 1000), int(PICBOOT_ERR_COMMAND));
    }

    void portIsHeldExclusively()
    {
        const PicHandle first = open();
        QVERIFY(first > 0);
        // A second link on the same line would interleave packets with the first.
        QCOMPARE(open(), int(PICBOOT_ERR_IO));
        QCOMPARE(ClosePIC(first), 1);
        const PicHandle again = open();
        QVERIFY(again > 0);
        QVERIFY(again != first);  // handles are never handed out twice
        QCOMPARE(ClosePIC(again), 1);
    }

    void unknownAndClosedHandlesAreRefused()
    {
        const PicHandle closed = open();
        QVERIFY(closed > 0);
        QCOMPARE(ClosePIC(closed), 1);

        unsigned char buffer[300] = {};
        for (PicHandle h : {closed, PicHandle(0), PicHandle(-1), PicHandle(4242)}) {
            PicRequest read = request(1), write = request(2);
            QCOMPARE(ClosePIC(h), 0);  // 0, never negative: callers take any non-zero as success
            QCOMPARE(SendPacket(h, buffer, 2), int(PICBOOT_ERR_COMMAND));
            QCOMPARE(GetPacket(h, buffer, 10), int(PICBOOT_ERR_COMMAND));
            QCOMPARE(SendGetPacket(h, buffer, 2, 10, 1), int(PICBOOT_ERR_COMMAND));
            QCOMPARE(ReadPIC(h, &read, buffer), int(PICBOOT_ERR_COMMAND));
            QCOMPARE(WritePIC(h, &write, buffer), int(PICBOOT_ERR_COMMAND));
            QCOMPARE(VerifyPIC(h, &write, buffer), int(PICBOOT_ERR_COMMAND));
            QCOMPARE(ErasePIC(h, 0, 1, 1), int(PICBOOT_ERR_COMMAND));
        }
    }

    void requestChecks_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<PicRequest>("req");
        QTest::addColumn<bool>("nullData");
        QTest::addColumn<int>("expected");

        auto row = [](const char *name, Export which, PicRequest r, int expected, bool nullData = false) {
            QTest::newRow(name) << int(which) << r << nullData << expected;
        };
        PicRequest r;
        row("read: no buffer", Read, request(1), PICBOOT_ERR_COMMAND, true);
        row("write: no data", Write, request(2), PICBOOT_ERR_COMMAND, true);
        row("read: a write record", Read, request(2), PICBOOT_ERR_COMMAND);
        r = request(1); r.command = 3;
        row("verify: unknown command", Verify, r, PICBOOT_ERR_COMMAND);
        r = request(1); r.transferUnit = 0;
        row("read: transfer unit 0", Read, r, PICBOOT_ERR_BLOCK_SMALL);
        r = request(1); r.dataLength = 0;
        row("read: nothing to read", Read, r, PICBOOT_ERR_BLOCK_SMALL);
        r = request(1); r.dataLength = 2;
        row("read: half an instruction", Read, r, PICBOOT_ERR_LENGTH);
        r = request(1); r.transferUnit = 256;
        row("read counted in rows", Read, r, PICBOOT_ERR_LENGTH);
        r = request(2); r.dataLength = 128;
        row("write: half a row", Write, r, PICBOOT_ERR_LENGTH);
        r = request(1); r.dataLength = 260;
        row("read: reply over a packet", Read, r, PICBOOT_ERR_PACKET_BIG);
        r = request(1); r.bootAddress = 0x401;
        row("read: odd address", Read, r, PICBOOT_ERR_ADDRESS);
        r = request(2); r.bootAddress = 0x440;
        row("write: address inside a row", Write, r, PICBOOT_ERR_ADDRESS);
        r = request(2); r.bytesPerAddress = 1;
        row("write: one byte per address", Write, r, PICBOOT_ERR_BPA_SMALL);
        r = request(2); r.bytesPerAddress = 3;
        row("verify: three bytes per address", Verify, r, PICBOOT_ERR_BPA_BIG);
    }

    void requestChecks()
    {
        QFETCH(int, which);
        QFETCH(PicRequest, req);
        QFETCH(bool, nullData);
        QFETCH(int, expected);

        const PicHandle h = open();
        QVERIFY(h > 0);
        unsigned char buffer[600] = {};
        unsigned char *data = nullData ? nullptr : buffer;
        int result = 0;
        switch (which) {
        case Read: result = ReadPIC(h, &req, data); break;
        case Write: result = WritePIC(h, &req, data); break;
        case Verify: result = VerifyPIC(h, &req, data); break;
        }
        QCOMPARE(result, expected);
        QVERIFY2(m_peer.readAny(50).isEmpty(), "a refused request must not reach the line");
        QCOMPARE(ClosePIC(h), 1);
    }

    void packetAndEraseChecks()
    {
        const PicHandle h = open();
        QVERIFY(h > 0);
        unsigned char buffer[300] = {};

        QCOMPARE(ReadPIC(h, nullptr, buffer), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(WritePIC(h, nullptr, buffer), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(VerifyPIC(h, nullptr, buffer), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(SendPacket(h, nullptr, 2), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(SendPacket(h, buffer, 0), int(PICBOOT_ERR_BLOCK_SMALL));
        QCOMPARE(SendPacket(h, buffer, 262), int(PICBOOT_ERR_PACKET_BIG));
        QCOMPARE(GetPacket(h, nullptr, 10), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(GetPacket(h, buffer, 0), int(PICBOOT_ERR_BLOCK_SMALL));
        QCOMPARE(SendGetPacket(h, nullptr, 2, 10, 0), int(PICBOOT_ERR_COMMAND));
        QCOMPARE(SendGetPacket(h, buffer, 0, 10, 0), int(PICBOOT_ERR_BLOCK_SMALL));
        QCOMPARE(SendGetPacket(h, buffer, 2, 0, 0), int(PICBOOT_ERR_BLOCK_SMALL));
        QCOMPARE(SendGetPacket(h, buffer, 262, 300, 0), int(PICBOOT_ERR_PACKET_BIG));
        // Zero pages would go out as LEN 0: the device would leave the bootloader.
        QCOMPARE(ErasePIC(h, 0, 0, 1), int(PICBOOT_ERR_BLOCK_SMALL));
        QCOMPARE(ErasePIC(h, 0x200, 1, 1), int(PICBOOT_ERR_ADDRESS));
        QCOMPARE(ErasePIC(h, 0x1000000, 1, 1), int(PICBOOT_ERR_ADDRESS));
        QVERIFY2(m_peer.readAny(50).isEmpty(), "a refused call must not reach the line");

        // The largest packet that fits goes out whole.
        m_peer.run([](ScriptedPeer &p) { p.readFrame(); });
        QCOMPARE(SendPacket(h, buffer, 261), 261);
        m_peer.wait();
        QCOMPARE(m_peer.frames().value(0).size(), 2 + 261 + 1 + 1);
        QCOMPARE(ClosePIC(h), 1);
    }
};

QTEST_GUILESS_MAIN(TestArguments)
#include "tst_arguments.moc"
