#pragma once

#include <QByteArray>
#include <QtGlobal>

// The device side of the line: turns the bytes the host sends into packets,
// the way the panel's bootloader reads them. Bytes are skipped until two STX
// in a row; inside a packet a DLE makes the next byte data, a bare STX starts
// the packet over, and ETX ends it. A packet whose checksum does not add up,
// or that grows past the bootloader's buffer before its ETX, is dropped
// without a word: the host is expected to time out and send it again.
//
// The panel's identification request (STX followed by 0xAA outside a packet)
// is reported as an event of its own.
class FrameDecoder
{
public:
    enum class Event { None, Packet, IdRequest };

    // Largest content between the STX pair and ETX (payload and checksum,
    // unescaped) that the bootloader's buffer holds.
    static constexpr int kMaxContent = 263;

    Event feed(quint8 byte);
    QByteArray payload() const { return m_payload; }   // of the last Packet, checksum removed
    int droppedPackets() const { return m_dropped; }
    void reset();

private:
    enum class State { Idle, OneStx, InPacket, AfterDle };

    void append(quint8 byte);

    State m_state = State::Idle;
    QByteArray m_content;
    QByteArray m_payload;
    int m_dropped = 0;
};
