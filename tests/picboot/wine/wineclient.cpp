// A Windows program that drives PICBOOT.dll the way a Windows caller does: the
// library loaded at run time and each export bound by its plain name. It runs
// the wire cases against three COM ports (a healthy panel, a port on which
// nothing answers, a panel that hangs up on its first row write) and prints
// one line a case: name, result, milliseconds taken.
#include "picboot/picboot.h"

#include <windows.h>

#include <cstdio>

namespace {

HMODULE g_dll = nullptr;

template <typename Fn>
Fn bound(const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(g_dll, name)));
}

template <typename Call>
void run(const char *name, Call call)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const int rc = call();
    QueryPerformanceCounter(&end);
    std::printf("%s %d %.1f\n", name, rc, double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
}

PicRequest request(uint8_t command, uint32_t address, uint16_t length, uint16_t retries)
{
    return PicRequest{command, 0, length, address, uint16_t(command == 1 ? 4 : 256), 2, 0, retries, 2};
}

} // namespace

int main(int argc, char **argv)
{
    g_dll = LoadLibraryA("PICBOOT.dll");
    const auto open = bound<decltype(&OpenPIC)>("OpenPIC");
    const auto close = bound<decltype(&ClosePIC)>("ClosePIC");
    const auto read = bound<decltype(&ReadPIC)>("ReadPIC");
    const auto write = bound<decltype(&WritePIC)>("WritePIC");
    const auto verify = bound<decltype(&VerifyPIC)>("VerifyPIC");
    const auto erase = bound<decltype(&ErasePIC)>("ErasePIC");
    if (argc != 4 || !open || !close || !read || !write || !verify || !erase) {
        std::printf("usage: %s PANEL SILENT HANGUP (COM ports), with PICBOOT.dll beside it\n", argv[0]);
        return 2;
    }
    uint8_t row[256], buffer[256] = {};
    for (int i = 0; i < 256; ++i)
        row[i] = i % 4 == 3 ? 0 : uint8_t(i * 7 + 1);

    // The wizard's own time-out: a reply must be taken as soon as it is in.
    const PicHandle panel = open(argv[1], 115200, 3000);
    const PicRequest id = request(1, 0xFF0000, 4, 0), rowAt400 = request(2, 0x400, 256, 0);
    run("id", [&] { return read(panel, &id, buffer); });
    std::printf("id-bytes %02x%02x%02x%02x\n", buffer[0], buffer[1], buffer[2], buffer[3]);
    run("erase", [&] { return erase(panel, 0x400, 1, 0); });
    run("write", [&] { return write(panel, &rowAt400, row); });
    run("verify", [&] { return verify(panel, &rowAt400, row); });
    row[10] ^= 0x40;  // an upper byte
    run("mismatch", [&] { return verify(panel, &rowAt400, row); });
    run("close", [&] { return close(panel); });

    // Three tries of 100 ms each where nothing answers.
    const PicHandle silent = open(argv[2], 115200, 100);
    const PicRequest read8 = request(1, 0x400, 8, 2);
    run("no-reply", [&] { return read(silent, &read8, buffer); });
    close(silent);
    const PicHandle hangUp = open(argv[3], 115200, 1000);
    run("hang-up", [&] { return write(hangUp, &rowAt400, row); });
    close(hangUp);
    return 0;
}
