#pragma once

#include "picboot/framing.h"
#include "picboot/transport.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace picboot {

// One open bootloader link: a line, its time-out and what has been read off
// it but not used yet. The session rules live here: one request, one reply,
// and a fresh try after a time-out or a bad checksum.
class Link
{
public:
    Link(std::unique_ptr<Transport> transport, int32_t bitRate, int timeoutMs);
    ~Link();
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    // Held around every operation on the link, so two threads never
    // interleave packets on one line and a close waits for a running call.
    std::mutex &mutex() { return m_mutex; }

    void close();
    bool isOpen() const { return m_open; }
    // The line failed and the link closed itself.
    bool hasFailed() const { return m_failed; }

    // Frames and sends one packet in a single write. count, or -1.
    int send(const uint8_t *payload, size_t count);

    // Reads one packet into buffer (checksum included): the byte count, or
    // -1 line failure, -2 silence longer than the time-out, -3 more than
    // limit bytes, -4 bad checksum. extraFirstByteMs lengthens only the wait
    // for the first byte, for requests the device works on before it answers.
    int receive(uint8_t *buffer, size_t limit, int extraFirstByteMs = 0);

    // Whether a good packet can be the reply to the request in hand.
    using Matcher = bool (*)(const uint8_t *request, size_t count, const uint8_t *reply, size_t length);

    // send + receive, sent again after -2 or -4 up to retries more times,
    // then -5. Any other failure returns at once. The reply reaches reply
    // only when it is good. With a matcher, a packet that cannot answer the
    // request (a late reply to an earlier try or request, a doubled one) is
    // dropped and the link keeps listening within the time-out.
    int exchange(const uint8_t *request, size_t count, uint8_t *reply, size_t limit, unsigned retries,
                 int extraFirstByteMs = 0, Matcher answers = nullptr);

    // The silence allowed between two reply bytes; an erase adds
    // eraseMsPerPage for each page to the wait for its first byte.
    int timeoutMs() const { return m_timeoutMs; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int eraseMsPerPage() const { return m_eraseMsPerPage; }
    // Requests sent again after a silence or a bad checksum, since the open.
    int resent() const { return m_resent; }
    void setEraseMsPerPage(int ms) { m_eraseMsPerPage = ms; }

private:
    int sendFrame(const uint8_t *frame, size_t length);
    int fail();

    std::unique_ptr<Transport> m_transport;
    int32_t m_bitRate;
    int m_timeoutMs;
    int m_eraseMsPerPage;
    bool m_open = true;
    bool m_failed = false;
    int m_resent = 0;
    int64_t m_sentAt = 0;  // when the last frame sent has crossed the line (ms)
    std::mutex m_mutex;
    uint8_t m_rx[4096];
    size_t m_rxPos = 0;
    size_t m_rxEnd = 0;
};

} // namespace picboot
