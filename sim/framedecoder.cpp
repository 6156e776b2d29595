#include "sim/framedecoder.h"

#include "sim/frameencoder.h"

FrameDecoder::Event FrameDecoder::feed(quint8 byte)
{
    switch (m_state) {
    case State::Idle:
        if (byte == FrameEncoder::kStx)
            m_state = State::OneStx;
        return Event::None;

    case State::OneStx:
        if (byte == FrameEncoder::kStx) {
            m_content.clear();
            m_state = State::InPacket;
        } else {
            m_state = State::Idle;
            if (byte == 0xAA)
                return Event::IdRequest;
        }
        return Event::None;

    case State::InPacket:
        if (byte == FrameEncoder::kStx) {
            m_content.clear();
        } else if (byte == FrameEncoder::kDle) {
            m_state = State::AfterDle;
        } else if (byte == FrameEncoder::kEtx) {
            m_state = State::Idle;
            quint8 sum = 0;
            for (char c : qAsConst(m_content))
                sum = quint8(sum + quint8(c));
            // A payload needs at least its command byte besides the checksum.
            if (m_content.size() < 2 || sum != 0) {
                ++m_dropped;
                return Event::None;
            }
            m_payload = m_content.left(m_content.size() - 1);
            return Event::Packet;
        } else {
            append(byte);
        }
        return Event::None;

    case State::AfterDle:
        m_state = State::InPacket;
        append(byte);
        return Event::None;
    }
    return Event::None;
}

void FrameDecoder::append(quint8 byte)
{
    m_content.append(char(byte));
    if (m_content.size() > kMaxContent) {
        // The buffer is full and still no ETX: give up on this packet and
        // wait for the next STX pair, as the bootloader does.
        ++m_dropped;
        m_content.clear();
        m_state = State::Idle;
    }
}

void FrameDecoder::reset()
{
    m_state = State::Idle;
    m_content.clear();
}
