#include "picboot/framing.h"

namespace picboot {

uint8_t checksumOf(const uint8_t *payload, size_t count)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum = uint8_t(sum + payload[i]);
    return uint8_t(-sum);
}

static size_t putEscaped(uint8_t byte, uint8_t *out)
{
    if (byte == kStx || byte == kEtx || byte == kDle) {
        out[0] = kDle;
        out[1] = byte;
        return 2;
    }
    out[0] = byte;
    return 1;
}

size_t encodeFrame(const uint8_t *payload, size_t count, uint8_t *out)
{
    size_t n = 0;
    out[n++] = kStx;
    out[n++] = kStx;
    for (size_t i = 0; i < count; ++i)
        n += putEscaped(payload[i], out + n);
    n += putEscaped(checksumOf(payload, count), out + n);
    out[n++] = kEtx;
    return n;
}

FrameDecoder::FrameDecoder(uint8_t *buffer, size_t limit)
    : m_buffer(buffer), m_limit(limit)
{
}

void FrameDecoder::restart()
{
    m_length = 0;
    m_sum = 0;
    m_state = InPacket;
}

FrameDecoder::Status FrameDecoder::feed(uint8_t byte)
{
    if (++m_fed > kMaxBytes)
        return overflowed() ? TooLong : NoStart;
    switch (m_state) {
    case Hunting:
        if (byte == kStx)
            m_state = HuntingSecondStx;
        else if (++m_skipped > kMaxSkipped)
            return NoStart;
        return NeedMore;
    case HuntingSecondStx:
        if (byte == kStx) {
            restart();
            return NeedMore;
        }
        m_state = Hunting;
        m_skipped += 2;
        return m_skipped > kMaxSkipped ? NoStart : NeedMore;
    case InPacket:
        if (byte == kStx) {
            restart();
            return NeedMore;
        }
        if (byte == kDle) {
            m_state = AfterDle;
            return NeedMore;
        }
        if (byte == kEtx) {
            // A packet holds at least its checksum byte.
            if (m_length == 0 || m_sum != 0)
                return BadChecksum;
            return Complete;
        }
        break;
    case AfterDle:
        m_state = InPacket;
        break;
    case Overflow:
    case OverflowAfterDle:
        // Read the rest of the oversized packet off the line so that the
        // next request does not meet it. A bare STX starts a packet over,
        // whatever came before it: the real reply may follow noise.
        if (m_state == OverflowAfterDle)
            m_state = Overflow;
        else if (byte == kDle)
            m_state = OverflowAfterDle;
        else if (byte == kStx)
            restart();
        else if (byte == kEtx)
            return TooLong;
        return NeedMore;
    }
    // A data byte.
    if (m_length >= m_limit) {
        m_state = Overflow;
        return NeedMore;
    }
    m_buffer[m_length++] = byte;
    m_sum = uint8_t(m_sum + byte);
    return NeedMore;
}

} // namespace picboot
