// virtual-panel: the panel's bootloader on a pseudo-terminal, for trying the
// wizard or the bootloader library without a panel. Prints the terminal's
// path and serves until SIGINT or SIGTERM.

#include "sim/virtualpanel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <cstdio>

#include <pthread.h>

namespace {

struct Parser
{
    QCommandLineParser &parser;
    bool ok = true;

    qint64 number(const QCommandLineOption &option, qint64 fallback, qint64 min, qint64 max)
    {
        if (!parser.isSet(option))
            return fallback;
        bool valid = false;
        const qint64 value = parser.value(option).toLongLong(&valid, 0);
        if (!valid || value < min || value > max) {
            std::fprintf(stderr, "virtual-panel: --%s wants a number from %lld to %lld, not \"%s\"\n",
                         qPrintable(option.names().constFirst()), min, max, qPrintable(parser.value(option)));
            ok = false;
            return fallback;
        }
        return value;
    }
};

QByteArray hexBytes(QString text, bool *valid)
{
    text.remove(QLatin1Char(' ')).remove(QLatin1Char(':'));
    *valid = !text.isEmpty() && text.size() % 2 == 0;
    for (QChar c : qAsConst(text)) {
        if (!c.isDigit() && !QStringLiteral("abcdefABCDEF").contains(c))
            *valid = false;
    }
    return *valid ? QByteArray::fromHex(text.toLatin1()) : QByteArray();
}

} // namespace

int main(int argc, char *argv[])
{
    // Block the stop signals before any thread exists, so that every thread
    // inherits the mask and only sigwait() below takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("virtual-panel"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The alarm panel's serial bootloader on a pseudo-terminal. Prints the terminal's path,\n"
        "then serves until SIGINT or SIGTERM. Numbers may be given in hex with 0x."));
    parser.addHelpOption();

    const QCommandLineOption model(QStringLiteral("model"), QStringLiteral("Byte answered to 55 AA (default 1)."), QStringLiteral("byte"));
    const QCommandLineOption noPacing(QStringLiteral("no-pacing"), QStringLiteral("Answer at once: no line or flash times."));
    const QCommandLineOption bitRate(QStringLiteral("bit-rate"), QStringLiteral("Line speed for pacing (default 115200)."), QStringLiteral("bps"));
    const QCommandLineOption pageErase(QStringLiteral("page-erase-ms"), QStringLiteral("Time to erase one page (default 20)."), QStringLiteral("ms"));
    const QCommandLineOption rowWrite(QStringLiteral("row-write-ms"), QStringLiteral("Time to write one row (default 2)."), QStringLiteral("ms"));
    const QCommandLineOption link(QStringLiteral("link"), QStringLiteral("Also make this symbolic link to the terminal (removed at exit)."), QStringLiteral("path"));
    const QCommandLineOption dump(QStringLiteral("dump-hex"), QStringLiteral("Write the flash as Intel HEX to this file at exit."), QStringLiteral("file"));
    const QCommandLineOption probeSplit(QStringLiteral("probe-split"), QStringLiteral("Fault: send the probe reply in two parts."));
    const QCommandLineOption probeSplitPause(QStringLiteral("probe-split-pause-ms"), QStringLiteral("Pause between the two parts (default 200)."), QStringLiteral("ms"));
    const QCommandLineOption probeDelay(QStringLiteral("probe-delay-ms"), QStringLiteral("Fault: send the probe reply only after this long (2500 is past the wizard's wait)."), QStringLiteral("ms"));
    const QCommandLineOption probeReply(QStringLiteral("probe-reply"), QStringLiteral("Fault: send these raw bytes instead of the probe reply."), QStringLiteral("hex"));
    const QCommandLineOption idMissing(QStringLiteral("id-missing"), QStringLiteral("Fault: no answer to 55 AA."));
    const QCommandLineOption idTwoBytes(QStringLiteral("id-two-bytes"), QStringLiteral("Fault: two bytes in answer to 55 AA."));
    const QCommandLineOption eraseNoReply(QStringLiteral("erase-no-reply"), QStringLiteral("Fault: erase requests get no answer."));
    const QCommandLineOption writeNoReply(QStringLiteral("write-no-reply-at-row"), QStringLiteral("Fault: the Nth row write (from 1) and its retries get no answer."), QStringLiteral("n"));
    const QCommandLineOption writeWrongReply(QStringLiteral("write-wrong-reply-at-row"), QStringLiteral("Fault: the Nth row write gets a wrong answer."), QStringLiteral("n"));
    const QCommandLineOption eraseMiss(QStringLiteral("erase-misses"), QStringLiteral("Fault: the erase leaves the instruction at this device address as it was."), QStringLiteral("address"));
    const QCommandLineOption corruptRead(QStringLiteral("corrupt-read-at"), QStringLiteral("Fault: the low byte of this device address reads back wrong."), QStringLiteral("address"));
    const QCommandLineOption dropLine(QStringLiteral("drop-line-at-row"), QStringLiteral("Fault: close the line on the Nth row write."), QStringLiteral("n"));
    const QCommandLineOption badChecksums(QStringLiteral("bad-checksum-replies"), QStringLiteral("Fault: the next N replies carry a bad checksum."), QStringLiteral("n"));
    const QCommandLineOption silentAfterId(QStringLiteral("silent-after-id"), QStringLiteral("Fault: answer the search, then nothing more."));
    const QCommandLineOption probeNoise(QStringLiteral("probe-noise-byte"), QStringLiteral("Fault: the first probe reply spoilt by a stray byte in place of its first."));
    const QCommandLineOption everyNoise(QStringLiteral("noise-before-every-reply"), QStringLiteral("Fault: one stray byte before every framed reply, the probe's included."));
    const QCommandLineOption noise(QStringLiteral("noise-bytes"), QStringLiteral("Fault: this many random bytes, 0x55 among them, before every bootloader reply."), QStringLiteral("n"));
    parser.addOptions({model, noPacing, bitRate, pageErase, rowWrite, link, dump, probeSplit, probeSplitPause,
                       probeDelay, probeReply, idMissing, idTwoBytes, eraseNoReply, writeNoReply,
                       writeWrongReply, corruptRead, eraseMiss, dropLine, badChecksums, silentAfterId, probeNoise, everyNoise, noise});
    parser.process(app);

    PanelOptions options;
    PanelFaults &faults = options.faults;
    Parser numbers {parser};
    options.modelByte = int(numbers.number(model, options.modelByte, 0, 255));
    options.paced = !parser.isSet(noPacing);
    options.bitRate = int(numbers.number(bitRate, options.bitRate, 1, 100000000));
    options.pageEraseMs = int(numbers.number(pageErase, options.pageEraseMs, 0, 60000));
    options.rowWriteMs = int(numbers.number(rowWrite, options.rowWriteMs, 0, 60000));
    faults.probeSplit = parser.isSet(probeSplit);
    faults.probeSplitPauseMs = int(numbers.number(probeSplitPause, faults.probeSplitPauseMs, 0, 600000));
    faults.probeDelayed = parser.isSet(probeDelay);
    faults.probeDelayMs = int(numbers.number(probeDelay, faults.probeDelayMs, 0, 600000));
    if (parser.isSet(probeReply)) {
        bool valid = false;
        faults.probeReplyOverride = hexBytes(parser.value(probeReply), &valid);
        if (!valid) {
            std::fprintf(stderr, "virtual-panel: --probe-reply wants hex bytes, such as 55550101\n");
            numbers.ok = false;
        }
    }
    faults.idMissing = parser.isSet(idMissing);
    faults.idTwoBytes = parser.isSet(idTwoBytes);
    faults.eraseNoReply = parser.isSet(eraseNoReply);
    faults.writeNoReplyAtRow = int(numbers.number(writeNoReply, -1, 1, 1000000));
    faults.writeWrongReplyAtRow = int(numbers.number(writeWrongReply, -1, 1, 1000000));
    faults.corruptReadAddress = numbers.number(corruptRead, -1, 0, 0xFFFFFF);
    faults.eraseMissAddress = numbers.number(eraseMiss, -1, 0, 0xFFFFFF);
    faults.dropLineAtRow = int(numbers.number(dropLine, -1, 1, 1000000));
    faults.badChecksumReplies = int(numbers.number(badChecksums, 0, 0, 1000000));
    faults.silentAfterId = parser.isSet(silentAfterId);
    faults.probeNoiseByte = parser.isSet(probeNoise);
    faults.noiseBeforeEveryReply = parser.isSet(everyNoise);
    faults.noiseBytes = int(numbers.number(noise, 0, 0, 100000));
    if (!numbers.ok)
        return 2;

    VirtualPanel panel(options);
    if (!panel.start()) {
        std::fprintf(stderr, "virtual-panel: could not open a pseudo-terminal\n");
        return 1;
    }
    const QString linkPath = parser.value(link);
    if (!linkPath.isEmpty()) {
        QFile::remove(linkPath);
        if (!QFile::link(panel.devicePath(), linkPath)) {
            std::fprintf(stderr, "virtual-panel: could not make the link %s\n", qPrintable(linkPath));
            return 1;
        }
    }
    std::printf("%s\n", qPrintable(panel.devicePath()));
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    panel.stop();

    int status = 0;
    if (parser.isSet(dump) && !panel.dumpHex(parser.value(dump))) {
        std::fprintf(stderr, "virtual-panel: could not write %s\n", qPrintable(parser.value(dump)));
        status = 1;
    }
    if (!linkPath.isEmpty())
        QFile::remove(linkPath);
    std::fprintf(stderr, "virtual-panel: %d packets, %d row writes, %d pages erased, %d rejected%s\n",
                 int(panel.packets().size()), panel.rowWrites(), panel.pageErases(), panel.rejectedRequests(),
                 panel.lineDropped() ? ", line dropped" : "");
    return status;
}
