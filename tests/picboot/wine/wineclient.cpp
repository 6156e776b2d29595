// A Windows program that drives PICBOOT.dll the way a Windows caller does: the
// library loaded at run time and each export bound by its plain name. It runs
// the wire cases against three COM ports (a healthy panel, a port on which
// nothing answers, a panel that hangs up on its first row write) and prints
// one line a case: name, result, milliseconds taken.
#include "picboot/picboot.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using OpenFn = PicHandle(PICBOOT_CALL *)(const char *, int32_t, int32_t);
using CloseFn = int32_t(PICBOOT_CALL *)(PicHandle);
using ReadFn = int32_t(PICBOOT_CALL *)(PicHandle, const PicRequest *, uint8_t *);
using WriteFn = int32_t(PICBOOT_CALL *)(PicHandle, const PicRequest *, const uint8_t *);
using EraseFn = int32_t(PICBOOT_CALL *)(PicHandle, uint32_t, uint8_t, uint8_t);

HMODULE g_dll = nullptr;

template <typename Fn>
Fn bound(const char *name)
{
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(g_dll, name)));
    if (!fn) {
        std::printf("missing export %s\n", name);
        std::exit(3);
    }
    return fn;
}

double nowMs()
{
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

PicRequest request(uint8_t command, uint32_t address, uint16_t length, uint16_t retries)
{
    PicRequest r;
    std::memset(&r, 0, sizeof r);
    r.command = command;
    r.dataLength = length;
    r.bootAddress = address;
    r.transferUnit = command == 1 ? 4 : 256;
    r.bytesPerAddress = 2;
    r.deviceParam1 = retries;
    r.deviceParam2 = 2;
    return r;
}

template <typename Call>
void run(const char *name, Call call)
{
    const double start = nowMs();
    const int rc = call();
    std::printf("%s %d %.1f\n", name, rc, nowMs() - start);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::printf("usage: %s PANEL-PORT SILENT-PORT HANGUP-PORT\n", argv[0]);
        return 2;
    }
    g_dll = LoadLibraryA("PICBOOT.dll");
    if (!g_dll) {
        std::printf("PICBOOT.dll not loaded: error %lu\n", GetLastError());
        return 3;
    }
    const auto open = bound<OpenFn>("OpenPIC");
    const auto close = bound<CloseFn>("ClosePIC");
    const auto read = bound<ReadFn>("ReadPIC");
    const auto write = bound<WriteFn>("WritePIC");
    const auto verify = bound<WriteFn>("VerifyPIC");
    const auto erase = bound<EraseFn>("ErasePIC");

    uint8_t row[256];
    for (int i = 0; i < 256; ++i)
        row[i] = i % 4 == 3 ? 0 : uint8_t(i * 7 + 1);
    uint8_t buffer[256] = {};

    // The wizard's own time-out: a reply must come back as soon as it is in,
    // not when the time-out ends.
    const PicHandle panel = open(argv[1], 115200, 3000);
    std::printf("open %d\n", int(panel));
    const PicRequest id = request(1, 0xFF0000, 4, 0);
    run("id", [&] { return read(panel, &id, buffer); });
    std::printf("id-bytes %02x%02x%02x%02x\n", buffer[0], buffer[1], buffer[2], buffer[3]);
    run("erase", [&] { return erase(panel, 0x400, 1, 0); });
    const PicRequest rowAt400 = request(2, 0x400, 256, 0);
    run("write", [&] { return write(panel, &rowAt400, row); });
    run("verify", [&] { return verify(panel, &rowAt400, row); });
    row[10] ^= 0x40;  // an upper byte
    run("mismatch", [&] { return verify(panel, &rowAt400, row); });
    run("close", [&] { return close(panel); });

    // Three tries of 100 ms each on a port where nothing answers.
    const PicHandle silent = open(argv[2], 115200, 100);
    const PicRequest read8 = request(1, 0x400, 8, 2);
    run("no-reply", [&] { return read(silent, &read8, buffer); });
    close(silent);

    const PicHandle hangUp = open(argv[3], 115200, 1000);
    run("hang-up", [&] { return write(hangUp, &rowAt400, row); });
    close(hangUp);
    return 0;
}
