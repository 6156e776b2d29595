// How close does a full update come to the serial line's own limit?
//
// Erases, writes and reads back random data over the whole program memory
// below the protected page, through Connection and the bootloader library,
// against the virtual panel paced at 115200 baud. The floor is the time the
// bytes need on the line (both directions, 10 bits a byte, escapes included)
// plus the panel's modelled flash times; the wall time is reported as a ratio
// to it, and the CPU time as a share of the wall time.
#include "support/bootframe.h"
#include "support/intelhex.h"
#include "device/connection.h"
#include "device/connectionfactory.h"
#include "device/devicepath.h"
#include "device/portlister.h"
#include "sim/virtualpanel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>

#include <cstdio>
#include <memory>

#include <sys/resource.h>
#include <time.h>

namespace {
double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// 16-byte lines of random instructions (phantom bytes 0) from byte address 0
// up to the protected page.
QVector<QByteArray> randomImage(quint32 endByte)
{
    QRandomGenerator random(0x5EED);
    QVector<QByteArray> lines;
    lines.reserve(int(endByte / 16));
    for (quint32 address = 0; address < endByte; address += 16) {
        QByteArray bytes;
        for (int k = 0; k < 16; ++k)
            bytes.append(k % 4 == 3 ? char(0) : char(random.bounded(256)));
        lines << intelhex::imageLine(address, bytes);
    }
    return lines;
}

// Bytes on the line for every request the panel saw and the reply it owed.
qint64 wireBytes(const VirtualPanel &panel)
{
    qint64 total = 0;
    for (const QByteArray &request : panel.packets()) {
        total += BootFrame::frame(request).size();
        const quint8 command = quint8(request.at(0));
        if (command == 0x01) {
            const quint32 address = quint8(request[2]) | quint32(quint8(request[3])) << 8
                | quint32(quint8(request[4])) << 16;
            total += BootFrame::frame(request.left(5) + panel.readFlash(address, quint8(request[1]))).size();
        } else {
            total += BootFrame::frame(QByteArray(1, char(command))).size();
        }
    }
    return total;
}
int g_debugLines = 0;

// The debug lines are still made (their cost is part of the run) but not
// printed: a terminal would measure itself.
void countDebugLine(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg)
        ++g_debugLines;
    else
        fprintf(stderr, "%s\n", qPrintable(message));
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    qInstallMessageHandler(countDebugLine);

    PanelOptions options;
    options.paced = true;
    options.bitRate = 115200;
    VirtualPanel panel(options);
    if (!panel.start()) {
        out << "the virtual panel did not start\n";
        return 1;
    }
    const QString location = panel.devicePath();
    PortLister::setOverride({{DevicePath::nameFromLocation(location), location}});
    if (!ConnectionFactory::start()) {
        out << "the bootloader library did not load\n";
        return 1;
    }
    ConnectionFactory factory;
    std::unique_ptr<Connection> connection(factory.getConnection(location));
    if (!connection) {
        out << "no connection to the virtual panel\n";
        return 1;
    }

    const QVector<QByteArray> image = randomImage(VirtualPanel::kProtectedStart * 2);
    int lastProgress = 0;
    connection->setCallback([&lastProgress](int value) { lastProgress = value; });
    panel.clearPackets();

    QElapsedTimer wall;
    const double cpuBefore = processCpuSeconds();
    const double threadBefore = threadCpuSeconds();
    wall.start();
    const bool erased = connection->erase();
    const bool written = erased && connection->write(image);
    const qint64 wallMs = wall.elapsed();
    const double cpu = processCpuSeconds() - cpuBefore;
    const double threadCpu = threadCpuSeconds() - threadBefore;
    connection->close();

    const qint64 bytes = wireBytes(panel);
    const double floorSeconds = double(bytes) * 10.0 / options.bitRate
        + (panel.pageErases() * options.pageEraseMs + panel.rowWrites() * options.rowWriteMs) / 1000.0;
    const double wallSeconds = wallMs / 1000.0;

    out << "image: " << image.size() << " lines, " << panel.rowWrites() << " rows written and read back, "
        << panel.pageErases() << " pages erased\n";
    out << "result: erase " << (erased ? "ok" : "FAILED") << ", write " << (written ? "ok" : "FAILED")
        << ", last progress " << lastProgress << "\n";
    out << "wire: " << bytes << " bytes both ways; " << g_debugLines << " debug lines\n";
    out << QString("floor: %1 s (line %2 s + flash %3 s)\n")
               .arg(floorSeconds, 0, 'f', 3)
               .arg(double(bytes) * 10.0 / options.bitRate, 0, 'f', 3)
               .arg(floorSeconds - double(bytes) * 10.0 / options.bitRate, 0, 'f', 3);
    out << QString("wall: %1 s, ratio %2 (goal <= 1.10)\n")
               .arg(wallSeconds, 0, 'f', 3)
               .arg(wallSeconds / floorSeconds, 0, 'f', 3);
    out << QString("cpu: process %1 s = %2 % of wall (panel thread included); caller's thread %3 s = %4 % "
                   "(goal < 5 %)\n")
               .arg(cpu, 0, 'f', 3)
               .arg(100.0 * cpu / wallSeconds, 0, 'f', 2)
               .arg(threadCpu, 0, 'f', 3)
               .arg(100.0 * threadCpu / wallSeconds, 0, 'f', 2);
    return erased && written && lastProgress == -1 ? 0 : 2;
}
