#include "device/connection.h"

#include "device/blockassembler.h"
#include "device/devicepath.h"
#include "device/picboot.h"
#include "firmware/hexparser.h"

#include <QDebug>
#include <QFile>

#include <cstring>
#include <vector>

namespace {
// ReadPIC places as many bytes as the panel sent; a misbehaving panel could
// send more than was asked for, so the buffer is far larger than any packet
// the bootloader framing allows.
constexpr int kReadBufferBytes = 4096;
constexpr quint32 kDeviceIdAddress = 0xFF0000;
constexpr quint8 kEraseRetries = 5;
} // namespace

Connection::Connection(const QString &location, int handle, int id)
    : m_location(location)
    , m_portName(DevicePath::nameFromLocation(location))
    , m_handle(handle)
    , m_id(id)
{
}

QVector<QByteArray> *Connection::parseHexFile(const QString &path)
{
    return parseHexImage(path);
}

bool Connection::linkOpen(const char *operation) const
{
    if (!m_open)
        qDebug() << operation << "called on a closed connection to" << m_location;
    return m_open;
}

void Connection::report(int value) const
{
    if (m_callback)
        m_callback(value);
}

quint32 Connection::protectedStart() const
{
    return m_profile.programEnd + 1 - m_profile.eraseBlockBytes / m_profile.bytesPerAddress;
}

bool Connection::close()
{
    if (!m_open) {
        // A second close must not close whatever link now has this handle.
        m_handle = 0;
        return true;
    }
    qDebug() << "Closing the connection...";
    const int result = PicBoot::ClosePIC(m_handle);
    m_handle = 0;
    m_open = false;
    return result != 0;
}

bool Connection::erase()
{
    if (!linkOpen("Connection::erase()"))
        return false;
    quint32 first = m_profile.programStart;
    // The last erase block holds the bootloader and the configuration words.
    const quint32 last = m_profile.programEnd - 0x400;
    const quint8 blocks =
        quint8(((last - first + 1) * m_profile.bytesPerAddress) / m_profile.eraseBlockBytes);
    if (first > last)
        return true;
    const quint32 step = (m_profile.eraseBlockBytes / m_profile.bytesPerAddress) * blocks;
    if (step == 0)
        return false;
    for (;;) {
        const int result = PicBoot::ErasePIC(m_handle, first, blocks, kEraseRetries);
        qDebug() << "Erasing from" << "0x" << Qt::hex << first << "to" << "0x" << first + step << "returned"
                 << Qt::dec << result;
        if (result < 0)
            return false;
        first += step;
        if (first > last)
            return true;
    }
}

bool Connection::write(const QVector<QByteArray> &image)
{
    if (!linkOpen("Connection::write()")) {
        report(WriteFailed);
        return false;
    }
    const int blockBytes = int(m_profile.writeBlockBytes);
    BlockAssembler assembler(blockBytes);
    if (!assembler.assemble(image)) {
        // Checked before the first block goes out: a bad image leaves the
        // erased panel erased rather than half written with guesses.
        qDebug() << "Connection::write(): the image is not valid, nothing written:" << assembler.error();
        report(WriteFailed);
        return false;
    }

    const quint64 protectedByte = quint64(protectedStart()) * m_profile.bytesPerAddress;
    const int lines = image.size();
    bool allGood = true;
    PicRequest request;
    std::memset(&request, 0, sizeof request);
    for (const ImageBlock &block : assembler.blocks()) {
        const int progress = int(qint64(block.lastLine) * 100 / lines);
        if (block.byteAddress >= protectedByte) {
            qDebug() << "Connection::write() skipped the protected block at" << "0x" << Qt::hex
                     << block.byteAddress / m_profile.bytesPerAddress;
            report(progress);
            continue;
        }
        if (block.blank) {
            // The erase left these bytes 0xFF already.
            report(progress);
            continue;
        }
        request.command = 2;
        request.transferUnit = quint16(m_profile.writeBlockBytes);
        request.bytesPerAddress = quint8(m_profile.bytesPerAddress);
        request.deviceParam1 = quint16(m_profile.deviceParam1);
        request.deviceParam2 = quint16(m_profile.deviceParam2);
        request.dataLength = quint16(blockBytes);
        request.bootAddress = quint32(block.byteAddress / m_profile.bytesPerAddress);
        qDebug() << "BootAddress:" << request.bootAddress << 0;

        const auto *data = reinterpret_cast<const unsigned char *>(block.data.constData());
        if (PicBoot::WritePIC(m_handle, &request, data) < 0) {
            qDebug() << "PicBoot:writePic() got error";
            report(WriteFailed);
            return false;
        }
        qDebug() << "PicBoot:writePic() OK";
        const bool verified = verifyWrite(request, data);
        report(progress);
        allGood = allGood && verified;
    }
    if (!allGood)
        report(VerifyFailed);
    report(Ended);
    return true;
}

bool Connection::verifyWrite(PicRequest &request, const unsigned char *data)
{
    if (!linkOpen("Connection::verifyWrite()"))
        return false;
    request.command = 1;
    request.transferUnit = quint16(m_profile.readUnitBytes);
    std::vector<unsigned char> readBack(kReadBufferBytes, 0);
    const int count = PicBoot::ReadPIC(m_handle, &request, readBack.data());
    if (count < 0) {
        qDebug() << "PicBoot:readPic() got error.";
        return false;
    }
    qDebug() << "PicBoot:readPic() got:" << count;

    // A read-back shorter than the block leaves bytes unchecked; that is not a
    // verified block. A longer one is compared over the block only.
    const int expected = request.dataLength;
    if (count < expected) {
        qDebug() << "verifyWrite() got a short read-back:" << count << "of" << expected << "bytes";
        return false;
    }

    bool result = true;
    for (int offset = 0; offset < expected; offset += 4) {
        const quint32 address = request.bootAddress + quint32(offset) / m_profile.bytesPerAddress;
        const unsigned char *got = readBack.data() + offset;
        const unsigned char *want = data + offset;
        // The phantom byte (the fourth) is not stored in flash and always
        // reads back 0, whatever was sent for it.
        if (got[0] == want[0] && got[1] == want[1] && got[2] == want[2])
            continue;
        // The bootloader keeps its own jump at 0 and 2 and moves the
        // application's reset jump to 0x100 and 0x102.
        if (address == 0 || address == 2 || address == m_profile.ignoreAddress1
            || address == m_profile.ignoreAddress2)
            continue;
        qDebug() << "verifyWrite() got a mismatch at" << Qt::hex << address << ":" << Qt::dec << int(got[0])
                 << "x" << int(want[0]) << "," << int(got[1]) << "x" << int(want[1]) << "," << int(got[2]) << "x"
                 << int(want[2]) << "," << int(got[3]) << "x" << int(want[3]);
        result = false;
    }
    return result;
}

void Connection::wakeUp()
{
    if (!linkOpen("Connection::wakeUp()"))
        return;
    std::vector<unsigned char> buffer;
    qDebug() << "picboot::wakeUp() returned" << readDeviceIdArea(m_handle, &buffer);
}

bool Connection::sendWakeUpPacket()
{
    if (!linkOpen("Connection::sendWakeUpPacket()"))
        return false;
    const unsigned char packet[2] = {0x00, 0x00};
    // The library answers with the count sent or a negative error; a negative
    // result is a failure too, not only 0.
    const bool ok = PicBoot::SendPacket(m_handle, packet, 2) > 0;
    qDebug() << "picboot::wakeUp() returned" << ok;
    return ok;
}

void Connection::setCallback(const Callback &callback)
{
    m_callback = callback;
}

QString Connection::portName() const
{
    return m_portName;
}

int Connection::id() const
{
    return m_id;
}

int Connection::handle() const
{
    return m_handle;
}

QString Connection::location() const
{
    return m_location;
}

bool Connection::writeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "Could not open" << path << "for reading.";
        return false;
    }
    // Lines are taken whole, whatever their length: cutting one would drop
    // its last bytes.
    QVector<QByteArray> lines;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!line.isEmpty())
            lines.append(line);
    }
    return write(lines);
}

// The keep-alive pass and the identification read the same four bytes.
int Connection::readDeviceIdArea(int handle, std::vector<unsigned char> *buffer) const
{
    PicRequest request;
    std::memset(&request, 0, sizeof request);
    request.command = 1;
    request.dataLength = 4;
    request.bootAddress = kDeviceIdAddress;
    request.transferUnit = 4;
    request.bytesPerAddress = quint8(m_profile.bytesPerAddress);
    request.deviceParam1 = quint16(m_profile.deviceParam1);
    buffer->assign(kReadBufferBytes, 0);
    return PicBoot::ReadPIC(handle, &request, buffer->data());
}

int Connection::readDeviceId(int handle)
{
    std::vector<unsigned char> buffer;
    const int result = readDeviceIdArea(handle, &buffer);
    if (result > 0)
        return buffer[1] * 256 + buffer[0];
    return result;
}
