#include "library/library.h"

#include "device/timings.h"
#include "panelrack.h"
#include "support/flashcheck.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

// Random firmware images, each written as Intel HEX, loaded, written through
// the bootloader library to a virtual panel and compared with the file byte
// for byte. The images carry what real files carry and what the address
// arithmetic gets wrong: gaps, records of odd lengths that start inside a
// block, a record across a 64 KiB boundary, segment (02) and linear (04)
// address records, records out of order, blank runs, the reset jump and the
// configuration words. ROUNDTRIP_SEED=n replays one image with its log.
class TestRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void randomImagesLandByteForByte();
};

namespace {

constexpr quint32 kWritableBytes = 0x15400 * 2;  // below the protected page, in file bytes

QByteArray randomImage(quint32 seed)
{
    QRandomGenerator random(seed);
    auto below = [&](quint32 n) { return quint32(random.bounded(n)); };
    // Disjoint runs of instructions, each word's phantom byte 0.
    QMap<quint32, QByteArray> runs;
    runs.insert(0x1000 + 4 * below(64), intelhex::bytes({0x12, 0x34, 0x56, 0x00}));  // never nothing to write
    runs.insert(0, intelhex::bytes({0x00, 0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}));  // a file without it is refused
    const int count = 1 + int(below(5));
    for (int i = 0; i < count; ++i) {
        const quint32 length = 1 + below(700);
        // Now and then across the first 64 KiB boundary.
        quint32 start = below(3) == 0 ? 0x10000 - below(300) : below(kWritableBytes - length);
        start &= ~3u;
        // Mostly random words; now and then a blank run the reader may drop,
        // or words that only set their low byte.
        const quint32 style = below(8);
        QByteArray bytes;
        for (quint32 k = 0; k < length; ++k) {
            const quint32 at = (start + k) % 4;
            const bool blank = style == 0 || (style == 1 && at != 0) || below(4) == 0;
            // Phantom bytes 0, as compilers write them, or 0xFF as some tools do.
            bytes.append(at == 3 && style > 1 ? '\0' : char(blank ? 0xFF : below(256)));
        }
        const auto next = runs.lowerBound(start);
        const bool clashes = (next != runs.end() && next.key() < start + length + 4)
                || (next != runs.begin() && std::prev(next).key() + quint32(std::prev(next)->size()) + 4 > start);
        if (!clashes && start + length <= kWritableBytes)
            runs.insert(start, bytes);
    }
    if (below(2))
        runs.insert(0x2AFF4, intelhex::bytes({0xCF, 0x3F, 0, 0, 0x7F, 0xFF, 0, 0, 0xBF, 0x7F, 0, 0}));

    // Records of 1 to 255 bytes; one in four files in a shuffled order. A
    // segment offset cannot run past 64 KiB; a linear one may.
    const bool segmented = below(3) == 0;
    QList<QPair<quint32, QByteArray>> records;
    for (auto it = runs.cbegin(); it != runs.cend(); ++it)
        for (int k = 0; k < it->size();) {
            const quint32 at = it.key() + quint32(k);
            int n = qMin(it->size() - k, 1 + int(below(below(4) == 0 ? 255 : 40)));
            if (segmented)
                n = int(qMin(quint32(n), 0x10000 - (at & 0xFFFF)));
            records.append({at, it->mid(k, n)});
            k += n;
        }
    if (below(4) == 0)
        std::shuffle(records.begin(), records.end(), random);
    return intelhex::file(records, segmented);
}

// The wake-up packet has no answer: wait for the panel to take it.
bool woken(const VirtualPanel &panel)
{
    const QDeadlineTimer deadline(1000);
    while (panel.inBootloader() && !deadline.hasExpired())
        QThread::usleep(50);
    return !panel.inBootloader();
}

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

void TestRoundTrip::randomImagesLandByteForByte()
{
    QVERIFY(Library::start());
    Timings::current().linkTimeoutMs = 300;  // a fault fails fast
    PanelRack rack;
    VirtualPanel *panel = rack.add(QStringLiteral("port1"));
    QVERIFY(panel);
    QVERIFY(rack.scan({QStringLiteral("port1")}));
    const QString port = rack.path(QStringLiteral("port1"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.hex"));

    bool replay = false;
    const quint32 only = quint32(qEnvironmentVariableIntValue("ROUNDTRIP_SEED", &replay));
    const QtMessageHandler previous = replay ? nullptr : qInstallMessageHandler(quiet);
    QString failure;
    for (quint32 seed = replay ? only : 1; failure.isEmpty() && seed <= (replay ? only : 300); ++seed) {
        const QByteArray text = randomImage(seed);
        panel->fillFlash(0x00);
        panel->resetBootloader();
        if (!intelhex::writeFile(path, text) || !library.load(path))
            failure = QStringLiteral("does not load");
        else if (!library.erase(port) || !library.write(port))
            failure = QStringLiteral("erase or write failed");
        else if (!woken(*panel))
            failure = QStringLiteral("the panel was not woken");
        else
            failure = flashMismatch(*panel, text);
        if (!failure.isEmpty())
            failure = QStringLiteral("seed %1: %2").arg(seed).arg(failure);
    }
    if (!replay)
        qInstallMessageHandler(previous);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    library.reset();
}

QTEST_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
