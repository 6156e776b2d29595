#include "picboot/transport.h"

#include "picboot/picboot.h"

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

    int read(uint8_t *buffer, size_t capacity, int timeoutMs) override
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return PICBOOT_ERR_IO;
        if (!setTimeouts(timeoutMs, m_writeTimeout < 0 ? timeoutMs : m_writeTimeout))
            return PICBOOT_ERR_IO;
        DWORD got = 0;
        if (!ReadFile(m_handle, buffer, DWORD(capacity), &got, nullptr))
            return PICBOOT_ERR_IO;
        return got > 0 ? int(got) : PICBOOT_ERR_TIMEOUT;
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

    // ReadFile returns at once with whatever has arrived, or waits up to the
    // read time-out for the first byte: MAXDWORD interval and multiplier with
    // a constant is the documented combination for exactly that.
    bool setTimeouts(int readMs, int writeMs)
    {
        if (readMs == m_readTimeout && writeMs == m_writeTimeout)
            return true;
        COMMTIMEOUTS t;
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = MAXDWORD;
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
