// Feeds arbitrary bytes to the reader and image builder. Beyond what the
// sanitizers catch, it checks that a failure leaves the image empty and that
// an image holds only well-formed lines that agree with one another.

#include "firmware/hexparser.h"

#include <QByteArray>
#include <QHash>
#include <QVector>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

namespace {

void discard(QtMsgType, const QMessageLogContext &, const QString &) {}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

void checkLine(const QByteArray &line, QHash<quint32, int> &seen)
{
    const int space = line.indexOf(' ');
    if (space < 6 || space > 8 || (line.size() - space - 1) % 3 != 0)
        abort();
    quint32 address = 0;
    for (int k = 0; k < space; ++k) {
        const int v = hexValue(line.at(k));
        if (v < 0)
            abort();
        address = address * 16 + quint32(v);
    }
    if (address > 0x7FFFFFFF)
        abort();
    for (int pos = space + 1; pos < line.size(); pos += 3) {
        const int hi = hexValue(line.at(pos));
        const int lo = hexValue(line.at(pos + 1));
        if (hi < 0 || lo < 0 || line.at(pos + 2) != ' ')
            abort();
        const int value = hi * 16 + lo;
        const auto it = seen.constFind(address);
        if (it != seen.constEnd() && it.value() != value)
            abort();
        seen.insert(address++, value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = (qInstallMessageHandler(discard), true);
    (void)quiet;
    if (size > size_t(MaxHexFileSize))
        return 0;

    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    QVector<QByteArray> image;
    image.append("stale");
    const bool ok = parseHexText(text, &image);
    if (!ok && !image.isEmpty())
        abort();
    if (ok) {
        QHash<quint32, int> seen;
        for (const QByteArray &line : image)
            checkLine(line, seen);
    }
    return 0;
}
