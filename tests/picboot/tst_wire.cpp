// The library against a scripted device end on a pseudo-terminal: what each
// export puts on the wire and makes of the device's replies, and the calls it
// refuses before anything reaches the line. Expected frames come from the
// test support's own framing, written apart from the library's.
#include "picboot/picboot.h"
#include "support/bootframe.h"
#include "support/rawport.h"

#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>

namespace {

using Call = std::function<int(PicHandle, uint8_t *)>;

const QByteArray kHangUp("hang up");

PicRequest request(uint8_t command, uint32_t address, uint16_t length, uint16_t retries = 0)
{
    PicRequest r{};
    r.command = command;
    r.dataLength = length;
    r.bootAddress = address;
    r.transferUnit = command == 1 ? 4 : 256;
    r.bytesPerAddress = 2;
    r.deviceParam1 = retries;
    r.deviceParam2 = 2;
    return r;
}

// ReadPIC, or VerifyPIC with verify set, on a request record as given.
Call reading(PicRequest r, bool verify = false)
{
    return [=](PicHandle h, uint8_t *b) { return verify ? VerifyPIC(h, &r, b) : ReadPIC(h, &r, b); };
}

Call writing(PicRequest r)
{
    return [=](PicHandle h, uint8_t *b) { return WritePIC(h, &r, b); };
}

// A row with STX, ETX and DLE in its data, whose write packet at 0x400 also
// has DLE for a checksum.
QByteArray rowData()
{
    QByteArray d(256, 0);
    for (int i = 0; i < 256; ++i)
        d[i] = i % 4 == 3 ? char(0) : "\x55\x04\x05\x11\x22\x33\x44\xA0\xB1"[i % 9];
    d[254] = char(d[254] + BootFrame::checksum(BootFrame::writeRequest(0x400, d)) - 0x05);
    return d;
}
const QByteArray kData = rowData();  // also the caller's buffer before each call

QByteArray readReply(quint32 address, const QByteArray &data)
{
    return BootFrame::frame(BootFrame::readRequest(address, data.size() / 4) + data);
}

QByteArray flipped(QByteArray data, std::initializer_list<int> at)
{
    for (int i : at)
        data[i] = char(data[i] ^ 0x40);
    return data;
}

struct Row {
    Call call;
    QByteArrayList replies;  // the device's answer to each request in turn
    int rc;
    QByteArrayList sent{};   // the frames that must go out, as they come off the line
    QByteArray out{};        // the caller's buffer must start so afterwards
    int timeoutMs = 1000;
    int delayMs = 0;         // the device works this long before each answer
    QByteArray before{};     // already waiting on the line when the call starts
    int minMs = 0;
};

// Collects request frames as they come off the line and answers each in turn.
void serve(RawPort &device, const Row &row, QByteArrayList &sent, const std::atomic<bool> &done)
{
    QByteArray frame;
    int stx = 0;
    bool escaped = false;
    for (;;) {
        const QByteArray got = device.read(1, 5);
        if (got.isEmpty() && (done || device.fd() < 0))
            break;
        if (got.isEmpty())
            continue;
        frame += got;
        const auto c = quint8(got[0]);
        if (stx < 2) {
            stx = c == 0x55 ? stx + 1 : 0;
            if (!stx)
                frame.clear();
        } else if (escaped) {
            escaped = false;
        } else if (c == 0x05) {
            escaped = true;
        } else if (c == 0x04) {
            const QByteArray reply = row.replies.value(sent.size());
            sent << frame;
            frame.clear();
            stx = 0;
            QThread::msleep(row.delayMs);
            if (reply == kHangUp)
                device.close();
            else
                device.write(reply);
        }
    }
    if (!frame.isEmpty())
        sent << frame;  // a frame the device could not make out
}

} // namespace

Q_DECLARE_METATYPE(Row)

class TestWire : public QObject
{
    Q_OBJECT

private slots:
    void wire_data()
    {
        QTest::addColumn<Row>("row");
        const QByteArray fresh = QByteArray::fromHex("0102030004050600");
        const QByteArray readAt400 = BootFrame::frame(BootFrame::readRequest(0x400, 2));
        const QByteArray reply = readReply(0x400, fresh);
        const QByteArray write = BootFrame::frame(BootFrame::writeRequest(0x400, kData));
        const QByteArray verify = BootFrame::frame(BootFrame::readRequest(0x100, 3));
        const PicRequest read8 = request(1, 0x400, 8), write256 = request(2, 0x400, 256);
        const auto exchange = [](uint16_t limit, uint16_t retries) {
            return [=](PicHandle h, uint8_t *b) { b[0] = 0x08; return SendGetPacket(h, b, 1, limit, retries); };
        };
        QTest::newRow("device ID") << Row{reading(request(1, 0xFF0000, 4)),
            {QByteArray::fromHex("555501010000ff08100000e704")}, 4,
            {QByteArray::fromHex("555501010000ffff04")}, QByteArray::fromHex("08100000")};
        QTest::newRow("erase answered after the time-out, within its allowance a page") << Row{
            [](PicHandle h, uint8_t *) { SetTimeoutPIC(h, -1, 50); return ErasePIC(h, 0x400, 2, 0); },
            {BootFrame::frame("\x03")}, 2, {BootFrame::frame(BootFrame::eraseRequest(0x400, 2))}, {}, 40, 90};
        QTest::newRow("write: control bytes escaped in data and checksum") << Row{writing(write256),
            {BootFrame::frame("\x02")}, 256, {write}};
        QTest::newRow("verify: the bootloader's own words differ") << Row{reading(request(1, 0x100, 12), true),
            {readReply(0x100, flipped(kData.left(12), {0, 6}))}, 12, {verify}};
        QTest::newRow("verify: an upper byte differs") << Row{reading(request(1, 0x100, 12), true),
            {readReply(0x100, flipped(kData.left(12), {10}))}, PICBOOT_ERR_VERIFY, {verify}};
        QTest::newRow("read: reply shorter than asked") << Row{reading(read8),
            {BootFrame::frame(BootFrame::readRequest(0x400, 2) + fresh.left(4))}, PICBOOT_ERR_RETRIES, {readAt400},
            kData.left(8), 25};
        QTest::newRow("write: reply with another command byte") << Row{writing(write256),
            {BootFrame::frame("\x03")}, PICBOOT_ERR_RETRIES, {write}, {}, 25};
        QTest::newRow("no reply: every try times out") << Row{reading(request(1, 0x400, 8, 2)), {},
            PICBOOT_ERR_RETRIES, {readAt400, readAt400, readAt400}, kData.left(8), 25, 0, {}, 75};
        QByteArray corrupt = reply;
        corrupt[8] = char(0x12);
        QTest::newRow("bad checksum, then good: retried") << Row{reading(request(1, 0x400, 8, 1)),
            {corrupt, reply}, 8, {readAt400, readAt400}, fresh};
        QTest::newRow("empty packet is a bad checksum: retried") << Row{exchange(16, 1),
            {QByteArray::fromHex("555504"), BootFrame::frame("\x08")}, 2,
            {BootFrame::frame("\x08"), BootFrame::frame("\x08")}, QByteArray::fromHex("08f8")};
        QTest::newRow("noise, another address's reply and half a packet first") << Row{reading(read8),
            {QByteArray::fromHex("00130455ff") + readReply(0x800, fresh) + QByteArray::fromHex("5555010200") + reply},
            8, {readAt400}, fresh};
        QTest::newRow("noise that starts a frame too long for any packet, then the reply") << Row{reading(read8),
            {QByteArray::fromHex("5555") + QByteArray(300, '\x11') + QByteArray::fromHex("04") + reply}, 8, {readAt400},
            fresh};
        QTest::newRow("a late reply to an earlier read is not this one's") << Row{reading(read8), {reply}, 8,
            {readAt400}, fresh, 1000, 0, readReply(0x400, QByteArray(8, 0x77))};
        QTest::newRow("reply one byte over the limit, then silence") << Row{exchange(4, 0),
            {QByteArray::fromHex("55550811223344")}, PICBOOT_ERR_REPLY_TOO_LONG, {BootFrame::frame("\x08")}, {}, 25};
        QTest::newRow("reply over the limit with an escaped ETX, read to its end") << Row{exchange(4, 0),
            {QByteArray::fromHex("5555081122334405040004")}, PICBOOT_ERR_REPLY_TOO_LONG, {BootFrame::frame("\x08")}};
        QTest::newRow("an over-long packet cut short by the reply") << Row{exchange(4, 0), {QByteArray::fromHex(
            "555508112233445555") + BootFrame::frame("\x08")}, 2, {BootFrame::frame("\x08")}, QByteArray::fromHex("08f8")};
        QTest::newRow("chatter that never starts a packet") << Row{exchange(16, 0), {QByteArray(1100, '\x11')},
            PICBOOT_ERR_RETRIES, {BootFrame::frame("\x08")}, {}, 25};
        QTest::newRow("get: a packet, nothing sent") << Row{[](PicHandle h, uint8_t *b) { return GetPacket(h, b, 16); },
            {}, 2, {}, QByteArray::fromHex("08f8"), 1000, 0, BootFrame::frame("\x08")};
        QTest::newRow("line dropped: not retried") << Row{reading(request(1, 0x400, 8, 3)), {kHangUp},
            PICBOOT_ERR_IO, {readAt400}, kData.left(8)};
    }

    void wire()
    {
        QFETCH(Row, row);
        RawPort device;
        QByteArray path;
        QVERIFY(device.openDeviceEnd(&path));
        const PicHandle h = OpenPIC(path.constData(), 115200, row.timeoutMs);
        QVERIFY(h > 0);
        if (!row.before.isEmpty()) {
            device.write(row.before);
            QThread::msleep(20);
        }
        std::atomic<bool> done{false};
        QByteArrayList sent;
        std::thread peer([&]() { serve(device, row, sent, done); });
        QByteArray buffer = kData + QByteArray(44, 0);
        QElapsedTimer clock;
        clock.start();
        const int rc = row.call(h, reinterpret_cast<uint8_t *>(buffer.data()));
        const qint64 took = clock.elapsed();
        done = true;
        peer.join();
        // Every request sent again is counted, and nothing else.
        QCOMPARE(RetriesPIC(h), qMax(0, row.sent.size() - 1));
        ClosePIC(h);
        QCOMPARE(rc, row.rc);
        QCOMPARE(sent, row.sent);
        QCOMPARE(buffer.left(row.out.size()), row.out);
        // The link's own time-out, not a default of seconds.
        QVERIFY2(took >= row.minMs && took < 400, qPrintable(QString::number(took)));
    }

    // A LEN of 0 would make the panel leave the bootloader mid-update.
    void refusedBeforeTheLine()
    {
        RawPort device;
        QByteArray path;
        QVERIFY(device.openDeviceEnd(&path));
        const PicHandle h = OpenPIC(path.constData(), 115200, 20);
        QVERIFY(h > 0);
        uint8_t b[300] = {};
        PicRequest unit0 = request(1, 0x400, 8), wrongUnit = request(1, 0x400, 8);
        PicRequest bpa1 = request(1, 0x400, 8), bpa3 = bpa1;
        unit0.transferUnit = 0;
        wrongUnit.transferUnit = 256;
        bpa1.bytesPerAddress = 1;
        bpa3.bytesPerAddress = 3;
        const struct {
            const char *name;
            int got, want;
        } rows[] = {
            {"second open of a held port", OpenPIC(path.constData(), 115200, 20), PICBOOT_ERR_IO},
            {"open: no port", OpenPIC(nullptr, 115200, 20), PICBOOT_ERR_COMMAND},
            {"open: a bit rate the line has not", OpenPIC(path.constData(), 12345, 20), PICBOOT_ERR_COMMAND},
            {"open: no such device", OpenPIC("/dev/no-such-port", 115200, 20), PICBOOT_ERR_IO},
            {"read: 1 byte an address", reading(bpa1)(h, b), PICBOOT_ERR_BPA_SMALL},
            {"read: 3 bytes an address", reading(bpa3)(h, b), PICBOOT_ERR_BPA_BIG},
            {"exchange: no buffer", SendGetPacket(h, nullptr, 1, 4, 0), PICBOOT_ERR_COMMAND},
            {"exchange: more than a packet holds", SendGetPacket(h, b, 262, 4, 0), PICBOOT_ERR_PACKET_BIG},
            {"read: more than a packet holds", reading(request(1, 0x400, 260))(h, b), PICBOOT_ERR_PACKET_BIG},
            {"send: more than a packet holds", SendPacket(h, b, 262), PICBOOT_ERR_PACKET_BIG},
            {"get: no room", GetPacket(h, b, 0), PICBOOT_ERR_BLOCK_SMALL},
            {"verify: no record", VerifyPIC(h, nullptr, b), PICBOOT_ERR_COMMAND},
            {"read: no record", ReadPIC(h, nullptr, b), PICBOOT_ERR_COMMAND},
            {"read: no buffer", reading(request(1, 0x400, 8))(h, nullptr), PICBOOT_ERR_COMMAND},
            {"write: no data", writing(request(2, 0x400, 256))(h, nullptr), PICBOOT_ERR_COMMAND},
            {"verify: no data", reading(request(1, 0x400, 8), true)(h, nullptr), PICBOOT_ERR_COMMAND},
            {"send: no payload", SendPacket(h, nullptr, 2), PICBOOT_ERR_COMMAND},
            {"get: no buffer", GetPacket(h, nullptr, 4), PICBOOT_ERR_COMMAND},
            {"send: nothing", SendPacket(h, b, 0), PICBOOT_ERR_BLOCK_SMALL},
            {"exchange: nothing", SendGetPacket(h, b, 0, 4, 0), PICBOOT_ERR_BLOCK_SMALL},
            {"read: LEN 0", reading(request(1, 0x400, 0))(h, b), PICBOOT_ERR_BLOCK_SMALL},
            {"write: LEN 0", writing(request(2, 0x400, 0))(h, b), PICBOOT_ERR_BLOCK_SMALL},
            {"read: transfer unit 0", reading(unit0)(h, b), PICBOOT_ERR_BLOCK_SMALL},
            {"read counted in rows", reading(wrongUnit)(h, b), PICBOOT_ERR_LENGTH},
            {"erase: no pages", ErasePIC(h, 0x400, 0, 0), PICBOOT_ERR_BLOCK_SMALL},
            {"erase: a row, not a page, boundary", ErasePIC(h, 0x80, 1, 0), PICBOOT_ERR_ADDRESS},
            {"read: odd address", reading(request(1, 0x401, 8))(h, b), PICBOOT_ERR_ADDRESS},
            {"read: a write's record", reading(request(2, 0x400, 256))(h, b), PICBOOT_ERR_COMMAND},
            {"read: unknown handle", reading(request(1, 0x400, 8))(4242, b), PICBOOT_ERR_COMMAND},
            {"close: unknown handle, 0 as callers read any other value as success", ClosePIC(4242), 0},
        };
        for (const auto &r : rows)
            QVERIFY2(r.got == r.want, qPrintable(QStringLiteral("%1: %2").arg(r.name).arg(r.got)));
        QCOMPARE(ClosePIC(h), 1);
        QCOMPARE(ClosePIC(h), 0);
        QVERIFY2(device.read(1, 20).isEmpty(), "a refused call reached the line");
    }
};

QTEST_GUILESS_MAIN(TestWire)
#include "tst_wire.moc"
