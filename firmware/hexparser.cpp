#include "firmware/hexparser.h"

#include "firmware/hexreader.h"
#include "firmware/imagebuilder.h"

#include <QDebug>

namespace {

// Digit values by character, -1 for anything that is not a hex digit.
struct HexDigitTable
{
    signed char value[256];
    constexpr HexDigitTable() : value()
    {
        for (int c = 0; c < 256; ++c)
            value[c] = -1;
        for (int d = 0; d < 10; ++d)
            value['0' + d] = static_cast<signed char>(d);
        for (int d = 0; d < 6; ++d) {
            value['a' + d] = static_cast<signed char>(10 + d);
            value['A' + d] = static_cast<signed char>(10 + d);
        }
    }
};
constexpr HexDigitTable HexDigitValues;

} // namespace

int hexDigitValue(char c)
{
    return HexDigitValues.value[static_cast<unsigned char>(c)];
}

int hex2DecLine(const QByteArray &text, int pos, int digits, bool *error)
{
    const qint64 size = text.size();
    if (pos < 0 || qint64(pos) + digits - 1 >= size || pos >= size) {
        qDebug() << "hex2DecLine: pos > length.";
        qDebug() << "parseHexStr() done. pos =" << pos << ", length =" << text.size();
        *error = true;
        return 0;
    }
    if (digits == 0)
        return 0;

    // Unsigned, so that more than eight digits wrap instead of overflowing.
    quint32 value = 0;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text.constData());
    for (int k = pos; k < pos + digits; ++k) {
        const int digit = HexDigitValues.value[p[k]];
        if (digit < 0) {
            qDebug() << "parseHexStr() done. pos =" << k << ", length =" << text.size();
            *error = true;
            return 0;
        }
        value = value * 16 + quint32(digit);
    }
    return int(value);
}

bool parseHexText(const QByteArray &text, QVector<QByteArray> *image, int *failedLine)
{
    int unused = 0;
    if (!failedLine)
        failedLine = &unused;
    *failedLine = 0;
    image->clear();
    HexReader reader;
    if (!reader.read(text)) {
        *failedLine = qMax(1, reader.lineNumber());
        return false;
    }
    QVector<HexRecord> records = reader.takeRecords();
    ImageBuilder builder;
    if (!builder.build(records, image)) {
        *failedLine = builder.failedLine();
        image->clear();
        return false;
    }
    return true;
}

QVector<QByteArray> *parseHexImage(const QString &path, int idleMs, int *failedLine, ReadProblem *problem,
                                   QByteArray *read)
{
    int unused = 0;
    if (!failedLine)
        failedLine = &unused;
    ReadProblem unread = ReadProblem::None;
    if (!problem)
        problem = &unread;
    *failedLine = -1;
    qDebug() << "Connection::parseHexFile called";
    auto *image = new QVector<QByteArray>;
    qDebug() << "Opening hex file" << path;

    // Read as bytes, not text: a carriage return before each line feed stays
    // in the line, and the reader takes it off itself.
    QByteArray text;
    QString detail;
    *problem = readWholeFile(path, MaxHexFileSize, idleMs, &text, &detail);
    switch (*problem) {
    case ReadProblem::None: break;
    case ReadProblem::Missing: qDebug() << "File not found" << path << detail; return image;
    case ReadProblem::IsDirectory: qDebug() << "Hex file" << path << "is a directory"; return image;
    case ReadProblem::TooLarge: qDebug() << "Hex file" << path << "is larger than" << MaxHexFileSize << "bytes"; return image;
    case ReadProblem::Silent: qDebug() << "Hex file" << path << "yielded nothing for" << idleMs << "ms"; return image;
    case ReadProblem::Failed: qDebug() << "Hex file" << path << "could not be read:" << detail; return image;
    }
    if (read)
        *read = text;
    if (!parseHexText(text, image, failedLine))
        return image;
    qDebug() << "parseHexFile done.";
    return image;
}
