#pragma once

#include "sim/flashmodel.h"
#include "sim/panelreply.h"
#include "sim/virtualpanel.h"

#include <QByteArray>
#include <QList>

// The panel's bootloader commands on top of the flash model, and the faults
// it can be told to show. It decides what to answer; the serving loop takes
// care of the line and of time. Not thread-safe: the panel guards it.
//
// Requests the bootloader cannot carry out get no answer at all, as a packet
// lost on the line would, and are counted as rejected: a read of more than
// 64 instructions (the answer would not fit the bootloader's buffer) or at an
// odd address; a write that is not one whole row (LEN 1, 256 data bytes), is
// off a row boundary or lies past the end of program memory; an erase off a
// page boundary or reaching past the end of program memory; a command the
// part does not have; a request too short to hold its header. Nothing is
// ever written outside program memory.
class PanelProtocol
{
public:
    static constexpr quint8 kMajorVersion = 1;
    static constexpr quint8 kMinorVersion = 0;
    static constexpr int kMaxReadInstructions = 64;

    explicit PanelProtocol(const PanelOptions &options);

    PanelReply handlePacket(const QByteArray &payload);
    PanelReply handleIdRequest();

    void setFaults(const PanelFaults &faults);
    void setModelByte(int modelByte) { m_options.modelByte = modelByte; }
    void resetBootloader() { m_inBootloader = true; }
    bool inBootloader() const { return m_inBootloader; }

    FlashModel &flash() { return m_flash; }
    const FlashModel &flash() const { return m_flash; }

    QList<QByteArray> packets() const { return m_packets; }
    void clearPackets() { m_packets.clear(); }
    int rowWrites() const { return m_rowWrites; }
    int pageErases() const { return m_pageErases; }
    int rejectedRequests() const { return m_rejected; }
    int idRequests() const { return m_idRequests; }

private:
    PanelReply framed(const QByteArray &payload);
    PanelReply reject();
    QByteArray noise(int count);
    PanelReply readFlash(const QByteArray &payload, quint32 address, int count);
    PanelReply writeRow(const QByteArray &payload, quint32 address, int count);
    PanelReply erasePages(quint32 address, int count);

    PanelOptions m_options;
    FlashModel m_flash;
    bool m_inBootloader = true;
    QList<QByteArray> m_packets;
    int m_rowWrites = 0;
    int m_pageErases = 0;
    int m_rejected = 0;
    int m_idRequests = 0;
    int m_badChecksumsLeft = 0;
    qint64 m_silentRowAddress = -1;     // the row that no longer gets answers
    int m_oddReplySeen = 0;             // requests of the odd-reply command so far
    int m_delayNextMs = 0;              // added to the next reply (a late reply's retry)
    bool m_identified = false;          // 55 AA has been answered (silentAfterId)
    bool m_probeNoiseLeft = false;
    quint32 m_noiseSeed = 1;
};
