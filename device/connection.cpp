#include "device/connection.h"

#include "device/devicepath.h"
#include "device/picboot.h"
#include "device/timings.h"
#include "firmware/crc32.h"
#include "firmware/firmwareimage.h"
#include "firmware/hexparser.h"

#include <QDebug>
#include <QFile>
#include <QSet>

#include <cstring>
#include <vector>

namespace {
// ReadPIC places as many bytes as the panel sent; a misbehaving panel could
// send more than was asked for, so the buffer is far larger than any packet
// the bootloader framing allows.
constexpr int kReadBufferBytes = 4096;
} // namespace

Connection::Connection(const QString &location, int handle, int id, const DeviceProfile &profile)
    : m_location(location)
    , m_portName(DevicePath::nameFromLocation(location))
    , m_handle(handle)
    , m_profile(profile)
    , m_id(id)
{
}

QVector<QByteArray> *Connection::parseHexFile(const QString &path, int *failedLine)
{
    return parseHexImage(path, Timings::current().fileIdleMs, failedLine);
}

bool Connection::linkOpen(const char *operation) const
{
    if (!m_open)
        qDebug() << operation << "called on a closed connection to" << m_location;
    return m_open;
}

PicRequest Connection::makeRequest(quint8 command, quint32 address, int bytes) const
{
    PicRequest request;
    std::memset(&request, 0, sizeof request);
    request.command = command;
    request.dataLength = quint16(bytes);
    request.bootAddress = address;
    request.transferUnit = quint16(command == PICBOOT_COMMAND_WRITE ? m_profile.writeBlockBytes : m_profile.readUnitBytes);
    request.bytesPerAddress = quint8(m_profile.bytesPerAddress);
    request.deviceParam1 = quint16(m_profile.deviceParam1);
    request.deviceParam2 = quint16(m_profile.deviceParam2);
    return request;
}

void Connection::report(int value) const
{
    if (m_callback)
        m_callback(value);
    if (m_progress && value >= 0)
        m_progress(value);
}

int Connection::retries() const
{
    return m_open ? PicBoot::RetriesPIC(m_handle) : -1;
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
    const quint32 last = m_profile.protectedStart() - 1;
    const quint8 blocks =
        quint8(((last - first + 1) * m_profile.bytesPerAddress) / m_profile.eraseBlockBytes);
    if (first > last)
        return true;
    const quint32 step = (m_profile.eraseBlockBytes / m_profile.bytesPerAddress) * blocks;
    if (step == 0)
        return false;
    for (int tries = 0;;) {
        // One try a call: a panel that went silent after the search would
        // cost a whole erase's wait on every try. Between tries the panel is
        // asked something it answers in milliseconds.
        const int result = PicBoot::ErasePIC(m_handle, first, blocks, 0);
        qDebug() << "Erasing from" << "0x" << Qt::hex << first << "to" << "0x" << first + step << "returned"
                 << Qt::dec << result;
        m_libraryError = result;
        if (result < 0) {
            if (++tries > m_profile.eraseRetries)
                return false;
            if (quickRead() < 0) {
                qDebug() << "Connection::erase(): the panel on" << m_portName
                         << "no longer answers; the erase is not tried again.";
                return false;
            }
            continue;
        }
        first += step;
        if (first > last)
            return true;
    }
}

bool Connection::write(const QVector<QByteArray> &image)
{
    QString error;
    const std::unique_ptr<FirmwareImage> blocks =
        FirmwareImage::fromLines(image, int(m_profile.writeBlockBytes), &error);
    if (!blocks) {
        // Checked before the first block goes out: a bad image leaves the
        // erased panel erased rather than half written with guesses.
        m_transfer = Transfer();
        qDebug() << "Connection::write(): the image is not valid, nothing written:" << error;
        report(WriteFailed);
        return false;
    }
    return write(*blocks);
}

bool Connection::write(const FirmwareImage &image)
{
    return transfer(image, true);
}

bool Connection::verify(const FirmwareImage &image)
{
    return transfer(image, false);
}

// Writes each block and reads it back, or, for a verification alone, only
// reads back and compares.
bool Connection::transfer(const FirmwareImage &image, bool writing)
{
    m_transfer = Transfer();
    m_libraryError = 0;
    if (!linkOpen("Connection::write()")) {
        report(WriteFailed);
        return false;
    }
    const int blockBytes = int(m_profile.writeBlockBytes);
    const quint64 protectedByte = quint64(protectedStart()) * m_profile.bytesPerAddress;
    const int lines = image.lineCount();
    bool allGood = true;
    qint64 firstMismatch = -1;
    noteResetJump(image);
    // Where the image has no row of its own at 0x100, the row holding the
    // moved reset jump is read back all the same: without that jump the
    // panel does not start the new firmware.
    bool resetJumpRead = m_resetJump.isEmpty();
    for (const ImageBlock &block : image.blocks()) {
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
        PicRequest request =
            makeRequest(PICBOOT_COMMAND_WRITE, quint32(block.byteAddress / m_profile.bytesPerAddress), blockBytes);
        if (m_stop && *m_stop) {
            m_transfer.interrupted = true;
            m_transfer.failedAt = request.bootAddress;
            return false;
        }
        qDebug() << "BootAddress:" << request.bootAddress << 0;
        const auto *data = reinterpret_cast<const unsigned char *>(block.data.constData());
        if (writing && (m_libraryError = PicBoot::WritePIC(m_handle, &request, data)) < 0) {
            qDebug() << "PicBoot:writePic() got error";
            m_transfer.failedAt = request.bootAddress;
            report(WriteFailed);
            return false;
        }
        if (writing) {
            qDebug() << "PicBoot:writePic() OK";
            ++m_transfer.blocksWritten;
        }
        quint32 mismatch = request.bootAddress;
        const bool verified = verifyBlock(request, data, &mismatch);
        // A panel that stopped answering would cost every later block a
        // read's whole wait, to end in a failure all the same.
        if (m_transfer.readFailed) {
            report(WriteFailed);
            return false;
        }
        resetJumpRead = resetJumpRead || request.bootAddress == m_profile.ignoreAddress1;
        report(progress);
        if (!verified && firstMismatch < 0)
            firstMismatch = mismatch;
        m_transfer.blocksVerified += verified ? 1 : 0;
        allGood = allGood && verified;
    }
    if (!resetJumpRead) {
        PicRequest request = makeRequest(PICBOOT_COMMAND_READ, m_profile.ignoreAddress1, blockBytes);
        const QByteArray erased(blockBytes, char(0xFF));
        quint32 mismatch = request.bootAddress;
        if (!verifyBlock(request, reinterpret_cast<const unsigned char *>(erased.constData()), &mismatch)) {
            if (m_transfer.readFailed) {
                report(WriteFailed);
                return false;
            }
            allGood = false;
            if (firstMismatch < 0)
                firstMismatch = mismatch;
        }
    }
    if (!allGood) {
        // A block that did not verify leaves the panel without the firmware
        // as surely as one that could not be written.
        qDebug().noquote() << QStringLiteral("Connection::write(): verification failed; the first address that "
                                             "differed is 0x%1.")
                                  .arg(firstMismatch, 0, 16);
        m_transfer.failedAt = firstMismatch;
        m_transfer.verifyFailed = true;
        report(VerifyFailed);
        report(Ended);
        return false;
    }
    report(Ended);
    return true;
}

QByteArray Connection::read(quint32 address, int instructions)
{
    if (!linkOpen("Connection::read()") || instructions <= 0 || instructions > m_profile.readInstructions())
        return QByteArray();
    PicRequest request = makeRequest(PICBOOT_COMMAND_READ, address, instructions * int(m_profile.readUnitBytes));
    std::vector<unsigned char> buffer(kReadBufferBytes, 0);
    const int count = PicBoot::ReadPIC(m_handle, &request, buffer.data());
    if (count < request.dataLength) {
        m_libraryError = count < 0 ? count : int(PICBOOT_ERR_COMMAND);
        return QByteArray();
    }
    return QByteArray(reinterpret_cast<const char *>(buffer.data()), request.dataLength);
}

bool Connection::verifyWrite(PicRequest &request, const unsigned char *data)
{
    quint32 mismatch = 0;
    return verifyBlock(request, data, &mismatch);
}

bool Connection::verifyBlock(PicRequest &request, const unsigned char *data, quint32 *firstMismatch)
{
    *firstMismatch = request.bootAddress;
    if (!linkOpen("Connection::verifyWrite()"))
        return false;
    request.command = PICBOOT_COMMAND_READ;
    request.transferUnit = quint16(m_profile.readUnitBytes);
    std::vector<unsigned char> readBack(kReadBufferBytes, 0);
    const int count = PicBoot::ReadPIC(m_handle, &request, readBack.data());
    if (count < 0) {
        m_libraryError = count;
        m_transfer.readFailed = true;
        m_transfer.failedAt = request.bootAddress;
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
    ++m_transfer.blocksReadBack;
    m_transfer.readBackCrc = crc32(QByteArray::fromRawData(reinterpret_cast<const char *>(readBack.data()), expected),
                                   m_transfer.readBackCrc);

    return matches(QByteArray::fromRawData(reinterpret_cast<const char *>(readBack.data()), expected), data,
                   request.bootAddress, firstMismatch);
}

bool Connection::matches(const QByteArray &read, const unsigned char *expected, quint32 rowAddress,
                         quint32 *firstMismatch) const
{
    // The phantom byte (the fourth) is not stored in flash and always reads
    // back 0, whatever was sent for it.
    const auto sameWord = [](const unsigned char *a, const unsigned char *b) {
        return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
    };
    bool result = true;
    for (int offset = 0; offset + 3 < read.size(); offset += 4) {
        const quint32 address = rowAddress + quint32(offset) / m_profile.bytesPerAddress;
        const auto *got = reinterpret_cast<const unsigned char *>(read.constData()) + offset;
        const unsigned char *want = expected + offset;
        // The bootloader keeps its own jump at 0 and 2.
        if (address == m_profile.bootloaderJump || address == m_profile.bootloaderJump + 2)
            continue;
        // It moves the application's reset jump to 0x100 and 0x102: there the
        // file's jump is as good as the file's own words, but erased cells
        // are not, or the panel would not start the new firmware.
        if ((address == m_profile.ignoreAddress1 || address == m_profile.ignoreAddress2)
            && m_resetJump.size() == m_profile.resetJumpBytes) {
            const auto *jump = reinterpret_cast<const unsigned char *>(m_resetJump.constData())
                    + (address == m_profile.ignoreAddress1 ? 0 : m_profile.readUnitBytes);
            const bool erased = want[0] == 0xFF && want[1] == 0xFF && want[2] == 0xFF;
            if (sameWord(got, jump) || (sameWord(got, want) && !erased))
                continue;
        } else if (sameWord(got, want)) {
            continue;
        }
        qDebug() << "verifyWrite() got a mismatch at" << Qt::hex << address << ":" << Qt::dec << int(got[0])
                 << "x" << int(want[0]) << "," << int(got[1]) << "x" << int(want[1]) << "," << int(got[2]) << "x"
                 << int(want[2]) << "," << int(got[3]) << "x" << int(want[3]);
        if (result)
            *firstMismatch = address;
        result = false;
    }
    return result;
}

void Connection::noteResetJump(const FirmwareImage &image)
{
    m_resetJump.clear();
    if (!image.blocks().isEmpty() && image.blocks().first().byteAddress == 0 && !image.blocks().first().blank)
        m_resetJump = image.blocks().first().data.left(m_profile.resetJumpBytes);
}

// Where the file writes nothing, the panel must hold erased flash: an erase
// that missed a cell there would leave old code the new firmware does not
// expect. Every row below the protected page that the image does not write
// is read, as `read` reads it, and compared with erased flash.
bool Connection::verifyErased(const FirmwareImage &image)
{
    m_transfer = Transfer();
    m_libraryError = 0;
    noteResetJump(image);
    const quint32 rowAddresses = m_profile.rowAddresses();
    QSet<quint32> written;
    for (const ImageBlock &block : image.blocks())
        if (!block.blank)
            written.insert(quint32(block.byteAddress / m_profile.bytesPerAddress));
    const QByteArray erased(int(m_profile.writeBlockBytes), char(0xFF));
    const auto *expected = reinterpret_cast<const unsigned char *>(erased.constData());
    const quint32 end = protectedStart();
    qint64 firstMismatch = -1;
    for (quint32 row = m_profile.programStart; row < end; row += rowAddresses) {
        if (written.contains(row))
            continue;
        if (m_stop && *m_stop) {
            m_transfer.interrupted = true;
            m_transfer.failedAt = row;
            return false;
        }
        const QByteArray got = read(row, m_profile.readInstructions());
        if (got.size() != int(m_profile.writeBlockBytes)) {
            m_transfer.readFailed = true;
            m_transfer.failedAt = row;
            return false;
        }
        ++m_transfer.blocksReadBack;
        m_transfer.readBackCrc = crc32(got, m_transfer.readBackCrc);
        quint32 mismatch = row;
        if (matches(got, expected, row, &mismatch))
            ++m_transfer.blocksVerified;
        else if (firstMismatch < 0)
            firstMismatch = mismatch;
        if (m_progress)
            m_progress(int(qint64(row - m_profile.programStart) * 100 / (end - m_profile.programStart)));
    }
    if (firstMismatch < 0)
        return true;
    m_transfer.failedAt = firstMismatch;
    m_transfer.verifyFailed = true;
    return false;
}

bool Connection::wakeUp()
{
    if (!linkOpen("Connection::wakeUp()") || !m_answersKeepAlive)
        return false;
    const int result = quickRead();
    qDebug() << "picboot::wakeUp() returned" << result;
    if (result < 0) {
        m_answersKeepAlive = false;
        qDebug() << "Connection::wakeUp(): the panel on" << m_portName
                 << "did not answer the keep-alive read; it is not woken again.";
    }
    return result >= 0;
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

// One read with a short answer time: a panel that answers at all answers in
// milliseconds, and the window (or an erase) waits while this runs.
int Connection::quickRead()
{
    const int before = PicBoot::SetTimeoutPIC(m_handle, Timings::current().keepAliveAnswerMs, -1);
    std::vector<unsigned char> buffer;
    const int result = readDeviceIdArea(m_handle, &buffer, 0);
    if (before > 0)
        PicBoot::SetTimeoutPIC(m_handle, before, -1);
    return result;
}

// The keep-alive pass and the identification read the same four bytes.
int Connection::readDeviceIdArea(int handle, std::vector<unsigned char> *buffer, int retries) const
{
    PicRequest request = makeRequest(PICBOOT_COMMAND_READ, m_profile.deviceIdAddress, int(m_profile.readUnitBytes));
    request.deviceParam1 = quint16(retries);
    request.deviceParam2 = 0;
    buffer->assign(kReadBufferBytes, 0);
    return PicBoot::ReadPIC(handle, &request, buffer->data());
}

int Connection::readDeviceId(int handle)
{
    std::vector<unsigned char> buffer;
    const int result = readDeviceIdArea(handle, &buffer, int(m_profile.deviceParam1));
    if (result > 0)
        return buffer[1] << 8 | buffer[0];
    return result;
}
