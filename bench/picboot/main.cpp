// Erases the program memory, then writes and reads back every row below the
// protected page (0x0 to 0x153FF) through our bootloader library, against
// the virtual panel paced at 115200 baud. Prints the wall time against the
// floor the line and the flash allow, and the processor time used.
//
//   bench_picboot [rows]     (default: all 680 rows)

#include "picboot/picboot.h"
#include "sim/virtualpanel.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kBitRate = 115200;
constexpr int kPageEraseMs = 20;
constexpr int kRowWriteMs = 2;
constexpr quint32 kRowAddresses = 0x80;
constexpr quint32 kPageAddresses = 0x400;
constexpr int kRowBytes = 256;

// Bytes one packet takes on the wire: STX STX, the payload and its checksum
// with their escapes, ETX.
size_t wireBytes(const std::vector<uint8_t> &payload)
{
    uint8_t sum = 0;
    size_t n = 2 + 1;
    auto count = [&n](uint8_t b) { n += (b == 0x55 || b == 0x04 || b == 0x05) ? 2 : 1; };
    for (uint8_t b : payload) {
        sum = uint8_t(sum + b);
        count(b);
    }
    count(uint8_t(-sum));
    return n;
}

std::vector<uint8_t> header(uint8_t command, uint8_t len, quint32 address)
{
    return {command, len, uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16)};
}

double cpuSeconds(int who)
{
    rusage u;
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool rewritten(quint32 address)
{
    return address == 0x0 || address == 0x2 || address == 0x100 || address == 0x102;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int allRows = int(VirtualPanel::kProtectedStart / kRowAddresses);
    const int rows = argc > 1 ? std::max(1, std::min(allRows, std::atoi(argv[1]))) : allRows;
    const int pages = int((quint32(rows) * kRowAddresses + kPageAddresses - 1) / kPageAddresses);

    PanelOptions options;
    options.paced = true;
    options.bitRate = kBitRate;
    options.pageEraseMs = kPageEraseMs;
    options.rowWriteMs = kRowWriteMs;
    VirtualPanel panel(options);
    if (!panel.start()) {
        std::fprintf(stderr, "the virtual panel did not start\n");
        return 1;
    }
    const QByteArray port = panel.devicePath().toLocal8Bit();
    const PicHandle h = OpenPIC(port.constData(), kBitRate, 3000);
    if (h <= 0) {
        std::fprintf(stderr, "OpenPIC(%s) returned %d\n", port.constData(), h);
        return 1;
    }

    // A firmware-like image: three bytes an instruction and the phantom 0,
    // with every control byte of the framing well represented.
    std::vector<uint8_t> image(size_t(rows) * kRowBytes);
    uint32_t seed = 0x2545F491;
    for (size_t i = 0; i < image.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        image[i] = i % 4 == 3 ? 0 : uint8_t(seed >> 24);
    }

    size_t wire = 0;
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    const double cpuThread0 = cpuSeconds(RUSAGE_THREAD);
    const double cpuProcess0 = cpuSeconds(RUSAGE_SELF);

    const int erased = ErasePIC(h, 0, uint8_t(pages), 5);
    if (erased < 0) {
        std::fprintf(stderr, "ErasePIC returned %d\n", erased);
        return 1;
    }
    wire += wireBytes(header(0x03, uint8_t(pages), 0)) + wireBytes({0x03});

    std::vector<uint8_t> readBack(kRowBytes);
    for (int row = 0; row < rows; ++row) {
        const quint32 address = quint32(row) * kRowAddresses;
        const uint8_t *data = image.data() + size_t(row) * kRowBytes;
        PicRequest r{};
        r.command = 2;
        r.dataLength = kRowBytes;
        r.bootAddress = address;
        r.transferUnit = kRowBytes;
        r.bytesPerAddress = 2;
        r.deviceParam1 = 2;
        r.deviceParam2 = 2;
        const int written = WritePIC(h, &r, data);
        r.command = 1;
        r.transferUnit = 4;
        const int read = ReadPIC(h, &r, readBack.data());
        if (written != kRowBytes || read != kRowBytes) {
            std::fprintf(stderr, "row 0x%x: WritePIC %d, ReadPIC %d\n", unsigned(address), written, read);
            return 1;
        }
        for (int i = 0; i < kRowBytes; i += 4)
            if (std::memcmp(readBack.data() + i, data + i, 4) != 0 && !rewritten(address + quint32(i) / 2))
                ++failures;

        std::vector<uint8_t> write = header(0x02, 1, address);
        write.insert(write.end(), data, data + kRowBytes);
        std::vector<uint8_t> reply = header(0x01, 64, address);
        reply.insert(reply.end(), readBack.begin(), readBack.end());
        wire += wireBytes(write) + wireBytes({0x02}) + wireBytes(header(0x01, 64, address)) + wireBytes(reply);
    }

    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpuThread = cpuSeconds(RUSAGE_THREAD) - cpuThread0;
    const double cpuProcess = cpuSeconds(RUSAGE_SELF) - cpuProcess0;
    ClosePIC(h);
    panel.stop();

    const double lineSeconds = double(wire) * 10.0 / kBitRate;
    const double flashSeconds = (pages * kPageEraseMs + rows * kRowWriteMs) / 1000.0;
    const double floor = lineSeconds + flashSeconds;
    std::printf("rows written and read back: %d (0x0 to 0x%X), pages erased: %d, mismatches: %d\n", rows,
                unsigned(rows * kRowAddresses - 1), pages, failures);
    std::printf("bytes on the line, both ways: %zu (%.3f s at %d baud), modelled flash time: %.3f s\n", wire,
                lineSeconds, kBitRate, flashSeconds);
    std::printf("wall time: %.3f s, floor: %.3f s, ratio: %.4f (goal <= 1.05)\n", wall, floor, wall / floor);
    std::printf("CPU, calling thread (the library): %.3f s = %.2f %% of wall (goal < 5 %%)\n", cpuThread,
                100.0 * cpuThread / wall);
    std::printf("CPU, whole process (library and in-process panel): %.3f s = %.2f %% of wall\n", cpuProcess,
                100.0 * cpuProcess / wall);
    return failures == 0 && wall / floor <= 1.05 && cpuThread / wall < 0.05 ? 0 : 2;
}
