#include "sim/panelprotocol.h"

#include "sim/frameencoder.h"

namespace {
enum Command : quint8 {
    ReadVersion = 0x00,
    ReadFlash = 0x01,
    WriteFlash = 0x02,
    EraseFlash = 0x03,
    VerifyOk = 0x08,
};
constexpr int kHeaderSize = 5;          // CMD LEN ADDR_L ADDR_H ADDR_U
} // namespace

PanelProtocol::PanelProtocol(const PanelOptions &options)
    : m_options(options)
{
    setFaults(options.faults);
}

void PanelProtocol::setFaults(const PanelFaults &faults)
{
    m_options.faults = faults;
    m_badChecksumsLeft = qMax(0, faults.badChecksumReplies);
    m_silentRowAddress = -1;
    m_oddReplySeen = 0;
    m_delayNextMs = 0;
    m_identified = false;
    m_probeNoiseLeft = faults.probeNoiseByte;
    m_flash.setStuckAddress(faults.stuckAddress);
    m_flash.setEraseMissAddress(faults.eraseMissAddress);
}

PanelReply PanelProtocol::framed(const QByteArray &payload)
{
    PanelReply reply;
    const bool corrupt = m_badChecksumsLeft > 0;
    if (corrupt)
        --m_badChecksumsLeft;
    reply.bytes = FrameEncoder::encode(payload, corrupt);
    return reply;
}

PanelReply PanelProtocol::reject()
{
    ++m_rejected;
    return PanelReply();
}

PanelReply PanelProtocol::handleIdRequest()
{
    PanelReply reply;
    if (!m_inBootloader)
        return reply;
    ++m_idRequests;
    if (m_options.faults.idMissing)
        return reply;
    m_identified = true;
    const char model = char(quint8(m_options.modelByte));
    reply.bytes.append(model);
    if (m_options.faults.idTwoBytes)
        reply.bytes.append(model);
    return reply;
}

PanelReply PanelProtocol::handlePacket(const QByteArray &payload)
{
    m_packets.append(payload);
    if (!m_inBootloader || payload.isEmpty() || (m_identified && m_options.faults.silentAfterId))
        return PanelReply();

    const auto command = quint8(payload.at(0));
    if (payload.size() >= 2 && payload.at(1) == 0) {
        // LEN 0: the bootloader hands over to the application, which does
        // not speak this protocol.
        m_inBootloader = false;
        return PanelReply();
    }
    if (command == VerifyOk)
        return framed(QByteArray(1, char(VerifyOk)));
    if (command == ReadVersion) {
        if (payload.size() < 2)
            return reject();
        QByteArray answer;
        answer.append(char(ReadVersion));
        answer.append(payload.at(1));
        answer.append(char(kMinorVersion));
        answer.append(char(kMajorVersion));
        return framed(answer);
    }
    if (payload.size() < kHeaderSize)
        return reject();

    const int count = quint8(payload.at(1));
    const quint32 address = quint32(quint8(payload.at(2))) | quint32(quint8(payload.at(3))) << 8
            | quint32(quint8(payload.at(4))) << 16;
    PanelReply reply;
    switch (command) {
    case ReadFlash:
        reply = readFlash(payload, address, count);
        break;
    case WriteFlash:
        reply = writeRow(payload, address, count);
        break;
    case EraseFlash:
        reply = erasePages(address, count);
        break;
    default:
        return reject();
    }
    // The second copy, or the retry's own reply, comes a little later, as a
    // panel busy with its flash would send it: after the host has moved on to
    // its next request, which must not take it for its answer.
    constexpr int kStragglerMs = 30;
    if (m_delayNextMs > 0 && !reply.bytes.isEmpty()) {
        reply.delayMs += m_delayNextMs;
        m_delayNextMs = 0;
    }
    const PanelFaults &faults = m_options.faults;
    const bool deviceId = command == ReadFlash && address == FlashModel::kDeviceIdAddress;
    if (faults.noiseBytes > 0 && !reply.bytes.isEmpty() && !deviceId)
        reply.bytes.prepend(noise(faults.noiseBytes));
    if (faults.noiseBeforeEveryReply && !reply.bytes.isEmpty() && !deviceId)
        reply.bytes.prepend(char(0xAA));
    if (command == faults.oddReplyCommand && address != FlashModel::kDeviceIdAddress
            && ++m_oddReplySeen == faults.oddReplyOccurrence && !reply.bytes.isEmpty()) {
        if (faults.lateReplyMs > 0) {
            reply.delayMs += faults.lateReplyMs;
            m_delayNextMs = kStragglerMs;
        }
        if (faults.doubledReply) {
            reply.splitAt = reply.bytes.size();
            reply.splitPauseMs = kStragglerMs;
            reply.bytes += reply.bytes;
        }
    }
    return reply;
}

// Line noise: random bytes, a few of them 0x55, now and then two in a row,
// which looks like the start of a packet.
QByteArray PanelProtocol::noise(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        m_noiseSeed = m_noiseSeed * 1103515245u + 12345u;
        const quint32 r = m_noiseSeed >> 8;
        bytes.append(r % 300 == 0 ? char(0x55) : char(r % 251 == 0x55 ? 0x56 : r % 251));
        if (r % 3000 == 0)
            bytes.append(char(0x55));
    }
    return bytes;
}

PanelReply PanelProtocol::readFlash(const QByteArray &payload, quint32 address, int count)
{
    if (count > kMaxReadInstructions || address % 2 != 0)
        return reject();
    QByteArray answer = payload.left(kHeaderSize);
    QByteArray data = m_flash.read(address, count);
    const PanelFaults &faults = m_options.faults;
    if (faults.corruptReadAddress >= 0) {
        const qint64 offset = faults.corruptReadAddress - qint64(address);
        if (offset >= 0 && offset < 2 * qint64(count))
            data[int(offset / 2) * 4] = char(quint8(data.at(int(offset / 2) * 4)) ^ 0xFF);
    }
    answer += data;

    if (address != FlashModel::kDeviceIdAddress)
        return framed(answer);

    // The identification probe reads the device ID; its faults live here.
    PanelReply reply = faults.probeReplyOverride.isEmpty() ? framed(answer) : PanelReply();
    if (!faults.probeReplyOverride.isEmpty())
        reply.bytes = faults.probeReplyOverride;
    if (m_probeNoiseLeft && !reply.bytes.isEmpty()) {
        m_probeNoiseLeft = false;
        reply.bytes[0] = char(0xAA);
    }
    if (faults.noiseBeforeEveryReply && !reply.bytes.isEmpty())
        reply.bytes.prepend(char(0xAA));
    if (faults.probeDelayed)
        reply.delayMs = qMax(0, faults.probeDelayMs);
    if (faults.probeSplit && reply.bytes.size() > 1) {
        reply.splitAt = reply.bytes.size() / 2;
        reply.splitPauseMs = qMax(0, faults.probeSplitPauseMs);
    }
    return reply;
}

PanelReply PanelProtocol::writeRow(const QByteArray &payload, quint32 address, int count)
{
    if (count != 1 || payload.size() != kHeaderSize + FlashModel::kRowDataBytes
            || address % FlashModel::kRowSize != 0 || address >= FlashModel::kProgramEnd)
        return reject();

    const int row = ++m_rowWrites;
    const PanelFaults &faults = m_options.faults;
    if (row == faults.dropLineAtRow) {
        PanelReply reply;
        reply.dropLine = true;
        return reply;
    }
    // The row that went silent stays silent for every try the host makes;
    // a write elsewhere means the host has moved on.
    if (row == faults.writeNoReplyAtRow)
        m_silentRowAddress = address;
    else if (m_silentRowAddress >= 0 && qint64(address) != m_silentRowAddress)
        m_silentRowAddress = -1;
    if (m_silentRowAddress >= 0)
        return PanelReply();

    const bool written = m_flash.writeRow(address, payload.mid(kHeaderSize));
    PanelReply reply = framed(QByteArray(1, char(row == faults.writeWrongReplyAtRow ? ~WriteFlash : WriteFlash)));
    reply.flashMs = written ? m_options.rowWriteMs : 0;
    return reply;
}

PanelReply PanelProtocol::erasePages(quint32 address, int count)
{
    if (address % FlashModel::kPageSize != 0
            || quint64(address) + quint64(count) * FlashModel::kPageSize > FlashModel::kProgramEnd)
        return reject();
    if (m_options.faults.eraseNoReply)
        return PanelReply();

    int erased = 0;
    for (int page = 0; page < count; ++page) {
        if (m_flash.erasePage(address + quint32(page) * FlashModel::kPageSize))
            ++erased;
    }
    m_pageErases += erased;
    PanelReply reply = framed(QByteArray(1, char(EraseFlash)));
    reply.flashMs = erased * m_options.pageEraseMs;
    return reply;
}
