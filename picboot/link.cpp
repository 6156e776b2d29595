#include "picboot/link.h"

#include "picboot/picboot.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace picboot {
namespace {

// Packets dropped in one try before the try counts as unanswered, so that a
// line repeating a wrong reply cannot hold a request for ever.
constexpr int kMaxDropped = 8;
// How long the rest of a burst of noise may keep the reply behind it waiting.
constexpr int kNoiseGapMs = 20;

// The slowest page erase a PIC24F is rated for is in the tens of ms (the
// flash's own erase cycle, with the bootloader's loop around it); 100 ms a
// page gives room for the slowest part and a cold chip. The whole program
// memory, 85 pages, may then take 85 x 100 = 8500 ms before the device
// answers, on top of the 3000 ms the wizard allows for silence: 11.5 s.
constexpr int kEraseMsPerPage = 100;

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

Link::Link(std::unique_ptr<Transport> transport, int32_t bitRate, int timeoutMs)
    : m_transport(std::move(transport)), m_bitRate(bitRate), m_timeoutMs(timeoutMs),
      m_eraseMsPerPage(kEraseMsPerPage)
{
}

Link::~Link()
{
    close();
}

void Link::close()
{
    if (!m_open)
        return;
    m_transport->close();
    m_open = false;
}

// A line that failed (the adaptor unplugged) is let go at once: a handle
// kept open on a port that went away can keep the system from giving the
// port back cleanly when the cable goes in again.
int Link::fail()
{
    close();
    m_failed = true;
    return PICBOOT_ERR_IO;
}

int Link::sendFrame(const uint8_t *frame, size_t length)
{
    if (!m_open)
        return PICBOOT_ERR_IO;
    // Whatever is still waiting on the line answers nothing we are about to
    // ask; it would only be taken for the reply.
    m_rxPos = m_rxEnd = 0;
    m_transport->discardInput();
    // The driver may hold a long frame for its wire time before the last
    // byte leaves; the device cannot answer before that.
    const int64_t wireMs = (int64_t(length) * 10 * 1000 + m_bitRate - 1) / m_bitRate;
    if (m_transport->write(frame, length, m_timeoutMs + int(wireMs)) < 0)
        return fail();
    m_sentAt = nowMs() + wireMs;
    return int(length);
}

int Link::send(const uint8_t *payload, size_t count)
{
    uint8_t frame[2 * (kMaxPayload + 1) + 3];
    if (count > kMaxPayload)
        return PICBOOT_ERR_PACKET_BIG;
    const int r = sendFrame(frame, encodeFrame(payload, count, frame));
    return r < 0 ? r : int(count);
}

int Link::receive(uint8_t *buffer, size_t limit, int extraFirstByteMs)
{
    if (!m_open)
        return PICBOOT_ERR_IO;
    FrameDecoder decoder(buffer, limit);
    // Silence is counted from when the request has left the line.
    int64_t lastByte = std::max(nowMs(), m_sentAt);
    int64_t allowed = int64_t(m_timeoutMs) + extraFirstByteMs;
    for (;;) {
        while (m_rxPos < m_rxEnd) {
            switch (decoder.feed(m_rx[m_rxPos++])) {
            case FrameDecoder::NeedMore:
                continue;
            case FrameDecoder::Complete:
                return int(decoder.length());
            case FrameDecoder::BadChecksum:
                return PICBOOT_ERR_CHECKSUM;
            case FrameDecoder::TooLong:
                return PICBOOT_ERR_REPLY_TOO_LONG;
            case FrameDecoder::NoStart:
                // A line that chatters without ever starting a packet has
                // not answered.
                return PICBOOT_ERR_TIMEOUT;
            }
        }
        const int64_t left = lastByte + allowed - nowMs();
        const int n = left > 0 ? m_transport->read(m_rx, sizeof m_rx, int(left)) : PICBOOT_ERR_TIMEOUT;
        m_rxPos = 0;
        m_rxEnd = 0;
        if (n == PICBOOT_ERR_TIMEOUT && nowMs() < lastByte + allowed) {
            // A driver that ends a read early and empty (some ignore the
            // time-outs they were given) has not waited the silence out:
            // the wait goes on to its own deadline, without spinning.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (n == PICBOOT_ERR_TIMEOUT)
            return decoder.overflowed() ? PICBOOT_ERR_REPLY_TOO_LONG : PICBOOT_ERR_TIMEOUT;
        if (n < 0)
            return fail();
        m_rxEnd = size_t(n);
        // The time-out bounds the silence between bytes, not the packet.
        lastByte = nowMs();
        allowed = m_timeoutMs;
    }
}

int Link::exchange(const uint8_t *request, size_t count, uint8_t *reply, size_t limit, unsigned retries,
                   int extraFirstByteMs, Matcher answers)
{
    if (count > kMaxPayload)
        return PICBOOT_ERR_PACKET_BIG;
    uint8_t frame[2 * (kMaxPayload + 1) + 3];
    const size_t frameLength = encodeFrame(request, count, frame);
    // A packet that does not answer may be longer than the reply awaited (a
    // read-back's reply arriving twice, on a write): it is read whole, then
    // dropped.
    const size_t capacity = answers ? std::max(limit, kMaxPayload + 1) : limit;
    std::vector<uint8_t> received(capacity);
    for (unsigned attempt = 0; attempt <= retries; ++attempt) {
        m_resent += attempt > 0 ? 1 : 0;
        const int sent = sendFrame(frame, frameLength);
        if (sent < 0)
            return sent;
        int r = 0;
        int firstByteExtraMs = extraFirstByteMs;
        for (int dropped = 0;; ++dropped) {
            r = receive(received.data(), capacity, firstByteExtraMs);
            // Noise that happened to start a packet (one too long for any, or
            // with a bad checksum) is no reply, nor is a good packet that
            // answers another request: the reply may still follow. After
            // noise it follows at once or not at all (a reply spoilt on the
            // line), and then the request goes again.
            const bool noise = answers && (r == PICBOOT_ERR_REPLY_TOO_LONG || r == PICBOOT_ERR_CHECKSUM);
            if (!noise && (r <= 0 || !answers || answers(request, count, received.data(), size_t(r))))
                break;
            if (dropped == kMaxDropped) {
                r = PICBOOT_ERR_TIMEOUT;
                break;
            }
            if (noise)
                firstByteExtraMs = kNoiseGapMs - m_timeoutMs;
        }
        if (r == PICBOOT_ERR_TIMEOUT || r == PICBOOT_ERR_CHECKSUM)
            continue;
        if (r > 0 && size_t(r) > limit)
            return PICBOOT_ERR_REPLY_TOO_LONG;
        if (r > 0)
            std::memcpy(reply, received.data(), size_t(r));
        return r;
    }
    return PICBOOT_ERR_RETRIES;
}

} // namespace picboot
