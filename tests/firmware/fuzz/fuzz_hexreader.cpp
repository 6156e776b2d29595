// Feeds arbitrary bytes to the reader and image builder. Beyond what the
// sanitizers catch, it checks that a failure leaves the image empty and that
// an image holds only well-formed lines that agree with one another.

#include "firmware/hexparser.h"
#include "support/intelhex.h"

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

namespace {

void discard(QtMsgType, const QMessageLogContext &, const QString &) {}

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
    bool consistent = true;
    if (ok)
        intelhex::imageBytes(image, &consistent);
    if (!consistent)
        abort();
    return 0;
}
