// Parses a firmware file that fills the panel's whole program memory
// (0x15800 address units, 16-byte records) several times and reports the
// median, then times srec_cat converting the same file to binary.
//   bench_hexparse [runs]

#include "firmware/hexparser.h"
#include "support/intelhex.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr quint32 ProgramUnits = 0x15800;
constexpr quint32 ImageBytes = ProgramUnits * 2;  // two file bytes per address unit
constexpr int RecordBytes = 16;

// The layout a PIC24 toolchain writes: instruction words of three bytes and
// a zero phantom byte, an extended linear address at every 64 KiB.
QByteArray fullMemoryFile(int *dataRecords)
{
    QRandomGenerator random(0x24F128);
    intelhex::Records records;
    for (quint32 address = 0; address < ImageBytes; address += RecordBytes) {
        QByteArray data;
        for (int k = 0; k < RecordBytes; ++k)
            data.append((address + quint32(k)) % 4 == 3 ? char(0) : char(random.bounded(256)));
        records.append({address, data});
    }
    *dataRecords = records.size();
    return intelhex::file(records);
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

void discard(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = qMax(3, argc > 1 ? QByteArray(argv[1]).toInt() : 21);

    QTemporaryDir dir;
    const QString hexPath = dir.filePath("full.hex");
    int dataRecords = 0;
    {
        QFile file(hexPath);
        if (!dir.isValid() || !file.open(QIODevice::WriteOnly) || file.write(fullMemoryFile(&dataRecords)) < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(hexPath));
            return 1;
        }
    }
    std::printf("file: %d data records of %d bytes, %lld bytes of text\n", dataRecords, RecordBytes,
                static_cast<long long>(QFile(hexPath).size()));

    // The reader's debug lines would only time the console.
    qInstallMessageHandler(discard);
    QVector<double> ours;
    int lines = 0;
    for (int run = 0; run <= runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<QVector<QByteArray>> image(parseHexImage(hexPath, 10000));
        const double ms = timer.nsecsElapsed() / 1e6;
        lines = image->size();
        if (run > 0)  // the first run warms the caches
            ours.append(ms);
    }
    qInstallMessageHandler(nullptr);
    if (lines != dataRecords) {
        std::fprintf(stderr, "image has %d lines, expected %d\n", lines, dataRecords);
        return 1;
    }
    const double oursMedian = median(ours);
    std::printf("parseHexImage: median %.2f ms over %d runs (min %.2f, max %.2f), %d image lines\n", oursMedian,
                runs, *std::min_element(ours.begin(), ours.end()), *std::max_element(ours.begin(), ours.end()),
                lines);

    const QString srecCat = QStandardPaths::findExecutable("srec_cat");
    if (srecCat.isEmpty()) {
        std::printf("srec_cat: not installed (Debian package srecord), no comparison\n");
        return 0;
    }
    QVector<double> theirs;
    const QStringList arguments{hexPath, "-intel", "-o", dir.filePath("full.bin"), "-binary"};
    for (int run = 0; run <= runs; ++run) {
        QProcess process;
        QElapsedTimer timer;
        timer.start();
        process.start(srecCat, arguments);
        if (!process.waitForFinished(60000) || process.exitCode() != 0) {
            std::fprintf(stderr, "srec_cat failed: %s\n", process.readAllStandardError().constData());
            return 1;
        }
        const double ms = timer.nsecsElapsed() / 1e6;
        if (run > 0)
            theirs.append(ms);
    }
    const double theirMedian = median(theirs);
    std::printf("srec_cat to binary: median %.2f ms over %d runs (min %.2f, max %.2f), process start included\n",
                theirMedian, runs, *std::min_element(theirs.begin(), theirs.end()),
                *std::max_element(theirs.begin(), theirs.end()));
    std::printf("ratio: parseHexImage takes %.2f of srec_cat's time (%.1fx faster)\n", oursMedian / theirMedian,
                theirMedian / oursMedian);
    return 0;
}
