#include "picboot/transport.h"

#include "picboot/picboot.h"

#include <algorithm>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace picboot {
namespace {

class WinTransport : public Transport
{
public:
    ~WinTransport() override { close(); }

    int open(const char *path, int32_t bitRate) override
    {
        if (bitRate <= 0)
            return PICBOOT_ERR_COMMAND;
        // COM10 and above only open through the device namespace.
        std::string name(path);
        if (name.compare(0, 4, "\\\\.\\") != 0)
            name = "\\\\.\\" + name;
        // Share mode 0: nobody else may open the port while the link lives.
        HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return PICBOOT_ERR_IO;
        if (!configure(h, DWORD(bitRate))) {
            CloseHandle(h);
            return PICBOOT_ERR_IO;
        }
        m_handle = h;
        return 0;
    }

    void close() override
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return;
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        m_readTimeout = -1;
        m_writeTimeout = -1;
    }

    int write(const uint8_t *data, size_t count, int timeoutMs) override
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return PICBOOT_ERR_IO;
        if (!setTimeouts(m_readTimeout < 0 ? timeoutMs : m_readTimeout, timeoutMs))
            return PICBOOT_ERR_IO;
        size_t done = 0;
        while (done < count) {
            DWORD written = 0;
            if (!WriteFile(m_handle, data + done, DWORD(count - done), &written, nullptr) || written == 0)
                return PICBOOT_ERR_IO;
            done += written;
        }
        return int(count);
    }

    // Takes what has already arrived without waiting; only when nothing has
    // does it wait, for one byte and at most the time-out. A single ReadFile
    // of the whole buffer would return early on Windows with the timeouts
    // that promise it, but wine waits for the buffer to fill or the time-out
    // to pass, which made every request there last its whole time-out.
    int read(uint8_t *buffer, size_t capacity, int timeoutMs) override
    {
        if (m_handle == INVALID_HANDLE_VALUE || capacity == 0)
            return PICBOOT_ERR_IO;
        if (!setTimeouts(timeoutMs, m_writeTimeout < 0 ? timeoutMs : m_writeTimeout))
            return PICBOOT_ERR_IO;
        DWORD got = 0;
        DWORD queued = 0;
        if (!queuedBytes(&queued))
            return PICBOOT_ERR_IO;
        // Some drivers (CH340 versions among them) end a read early and
        // empty whatever time-out they were given: the wait goes on to its
        // own deadline.
        const ULONGLONG deadline = GetTickCount64() + ULONGLONG(timeoutMs > 0 ? timeoutMs : 0);
        while (queued == 0 && got == 0) {
            if (!ReadFile(m_handle, buffer, 1, &got, nullptr))
                return PICBOOT_ERR_IO;
            // A line gone away (a bridge pulled out, the far end of a
            // mapped terminal closed) reads as silence; the status query
            // that follows is what fails then.
            if (!queuedBytes(&queued))
                return PICBOOT_ERR_IO;
            const ULONGLONG now = GetTickCount64();
            if (got == 0 && queued == 0 && now >= deadline)
                return PICBOOT_ERR_TIMEOUT;
            if (got == 0 && queued == 0) {
                Sleep(1);
                if (!setTimeouts(int(deadline - now), m_writeTimeout < 0 ? timeoutMs : m_writeTimeout))
                    return PICBOOT_ERR_IO;
            }
        }
        const DWORD want = DWORD(std::min<size_t>(queued, capacity - got));
        DWORD more = 0;
        if (want > 0 && !ReadFile(m_handle, buffer + got, want, &more, nullptr))
            return PICBOOT_ERR_IO;
        return int(got + more);
    }

    void discardInput() override
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            PurgeComm(m_handle, PURGE_RXABORT | PURGE_RXCLEAR);
    }

private:
    static bool configure(HANDLE h, DWORD bitRate)
    {
        DCB dcb;
        ZeroMemory(&dcb, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(h, &dcb))
            return false;
        dcb.BaudRate = bitRate;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fAbortOnError = FALSE;
        if (!SetCommState(h, &dcb))
            return false;
        EscapeCommFunction(h, CLRDTR);
        EscapeCommFunction(h, CLRRTS);
        SetupComm(h, 4096, 4096);
        PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
        return true;
    }

    // The bytes waiting in the driver's input queue; false when the line
    // failed.
    bool queuedBytes(DWORD *queued) const
    {
        DWORD errors = 0;
        COMSTAT status;
        if (!ClearCommError(m_handle, &errors, &status))
            return false;
        *queued = status.cbInQue;
        return true;
    }

    // A read waits for its first byte up to the time-out (no interval or
    // per-byte part: read() asks for one byte when it waits at all).
    bool setTimeouts(int readMs, int writeMs)
    {
        if (readMs == m_readTimeout && writeMs == m_writeTimeout)
            return true;
        COMMTIMEOUTS t;
        t.ReadIntervalTimeout = 0;
        t.ReadTotalTimeoutMultiplier = 0;
        t.ReadTotalTimeoutConstant = readMs > 0 ? DWORD(readMs) : 1;
        t.WriteTotalTimeoutMultiplier = 0;
        t.WriteTotalTimeoutConstant = writeMs > 0 ? DWORD(writeMs) : 1;
        if (!SetCommTimeouts(m_handle, &t))
            return false;
        m_readTimeout = readMs;
        m_writeTimeout = writeMs;
        return true;
    }

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    int m_readTimeout = -1;
    int m_writeTimeout = -1;
};

} // namespace

std::unique_ptr<Transport> createTransport()
{
    return std::make_unique<WinTransport>();
}

} // namespace picboot
