#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace picboot {

// One serial line, opened raw at 8N1 with no flow control and DTR/RTS off.
// One implementation per operating system (transport_posix.cpp,
// transport_win.cpp); everything above this layer is portable.
class Transport
{
public:
    virtual ~Transport() = default;

    // 0 when the line is open and set up; a negative error code otherwise
    // (-1 the port cannot be opened or is in use, -6 a bit rate the
    // platform cannot set).
    virtual int open(const char *path, int32_t bitRate) = 0;
    virtual void close() = 0;

    // Hands all bytes to the driver, in one call where the driver takes
    // them. Returns count, or -1 when the line fails or does not take the
    // bytes within timeoutMs.
    virtual int write(const uint8_t *data, size_t count, int timeoutMs) = 0;

    // Waits up to timeoutMs for at least one byte, then returns as many as
    // are already there (up to capacity): > 0 the byte count, -2 nothing
    // arrived in time, -1 the line failed or went away.
    virtual int read(uint8_t *buffer, size_t capacity, int timeoutMs) = 0;

    // Drops whatever was received and not read yet.
    virtual void discardInput() = 0;
};

std::unique_ptr<Transport> createTransport();

} // namespace picboot
