#pragma once

#include <cstddef>
#include <cstdint>

namespace picboot {

constexpr uint8_t kStx = 0x55;
constexpr uint8_t kEtx = 0x04;
constexpr uint8_t kDle = 0x05;

// Command, LEN, three address bytes and one row of 256 data bytes.
constexpr size_t kMaxPayload = 261;
// Worst case on the wire: both STX, every payload byte and the checksum
// escaped, ETX.
constexpr size_t kMaxFrame = 2 + 2 * (kMaxPayload + 1) + 1;

// Two's complement of the 8-bit sum: payload plus checksum sums to 0.
uint8_t checksumOf(const uint8_t *payload, size_t count);

// Frames payload into out (room for 2 * count + 5 bytes); returns the frame
// length.
size_t encodeFrame(const uint8_t *payload, size_t count, uint8_t *out);

// Takes received bytes one at a time and rebuilds one packet: skips bytes up
// to STX STX, undoes the escapes, starts over on a bare STX, ends on ETX.
// The unescaped bytes, checksum included, go to the caller's buffer.
class FrameDecoder
{
public:
    enum Status {
        NeedMore,
        Complete,      // a packet with a good checksum; length() bytes
        BadChecksum,   // a whole packet whose bytes do not sum to 0
        TooLong,       // the packet had more bytes than the limit
        NoStart        // too many bytes went by without a packet starting
    };

    // Garbage tolerated before a packet starts, and the most bytes of any
    // kind one packet may take, restarts included, so a chattering line
    // (even one that sends nothing but STX) cannot keep a reader forever.
    static constexpr size_t kMaxSkipped = 1024;
    static constexpr size_t kMaxBytes = kMaxSkipped + 2 * kMaxFrame;

    FrameDecoder(uint8_t *buffer, size_t limit);

    Status feed(uint8_t byte);
    size_t length() const { return m_length; }
    bool overflowed() const { return m_state == Overflow || m_state == OverflowAfterDle; }

private:
    enum State { Hunting, HuntingSecondStx, InPacket, AfterDle, Overflow, OverflowAfterDle };

    void restart();

    uint8_t *m_buffer;
    size_t m_limit;
    size_t m_length = 0;
    size_t m_skipped = 0;
    size_t m_fed = 0;
    uint8_t m_sum = 0;
    State m_state = Hunting;
};

} // namespace picboot
