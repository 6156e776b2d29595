#include "firmware/hexreader.h"

#include "firmware/hexparser.h"

#include <QDebug>

#include <cstring>

namespace {

enum RecordType {
    Data = 0x00,
    EndOfFile = 0x01,
    ExtendedSegmentAddress = 0x02,
    StartSegmentAddress = 0x03,
    ExtendedLinearAddress = 0x04,
    StartLinearAddress = 0x05,
};

// ':', count (2), offset (4), type (2), checksum (2).
constexpr int MinRecordLength = 11;
constexpr int DataPosition = 9;
// Addresses are held as signed 32-bit values; nothing may lie above this.
constexpr quint64 HighestAddress = 0x7FFFFFFF;

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isTrailingBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

} // namespace

bool HexReader::read(const QByteArray &text)
{
    m_records.clear();
    m_base = 0;
    m_segmented = false;
    m_lineNumber = 0;
    m_emptyLine = 0;
    m_ended = false;

    const char *p = text.constData();
    const char *end = p + text.size();
    while (p < end && !m_ended) {
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        const char *lineEnd = nl ? nl : end;
        int length = int(lineEnd - p);
        if (length > 0 && p[length - 1] == '\r')
            --length;
        ++m_lineNumber;
        if (!readLine(p, length)) {
            m_records.clear();
            return false;
        }
        p = nl ? nl + 1 : end;
    }
    if (!m_ended) {
        // An interrupted download: what is there may be only the first part
        // of the application.
        qDebug() << "Hex file ends at line" << m_lineNumber << "without an end-of-file record";
        m_records.clear();
        return false;
    }
    return true;
}

QVector<HexRecord> HexReader::takeRecords()
{
    QVector<HexRecord> records;
    records.swap(m_records);
    return records;
}

bool HexReader::checkAfterEmptyLine(int type) const
{
    // An empty line has always spoilt the records after it; keep refusing the
    // ones that would change the image rather than guess what was meant.
    if (m_emptyLine == 0)
        return true;
    if (type != Data && type != ExtendedSegmentAddress && type != ExtendedLinearAddress)
        return true;
    qDebug() << "Hex file line" << m_lineNumber << "holds a data or address record after the empty line"
             << m_emptyLine;
    return false;
}

bool HexReader::readLine(const char *line, int length)
{
    if (length == 0) {
        if (m_emptyLine == 0)
            m_emptyLine = m_lineNumber;
        return true;
    }
    if (line[0] != ':') {
        qDebug() << "Hex file line" << m_lineNumber << "does not start with \":\"";
        return false;
    }
    while (length > 1 && isTrailingBlank(line[length - 1]))
        --length;
    if (length < MinRecordLength) {
        qDebug() << "Hex file line" << m_lineNumber << "is too short for a record:" << length << "characters";
        return false;
    }

    const QByteArray record = QByteArray::fromRawData(line, length);
    bool error = false;
    const int count = hex2DecLine(record, 1, 2, &error);
    if (error) {
        qDebug() << "Hex file line" << m_lineNumber << "has a byte count that is not hexadecimal";
        return false;
    }
    const int needed = MinRecordLength + 2 * count;
    if (length < needed) {
        qDebug() << "Hex file line" << m_lineNumber << "is too short for its byte count" << count << ":"
                 << length << "characters instead of" << needed;
        return false;
    }
    if (length > needed) {
        qDebug() << "Hex file line" << m_lineNumber << "has characters after its checksum: byte count" << count
                 << "needs" << needed << "characters, the line has" << length;
        return false;
    }

    // Every pair, checksum included, must be hexadecimal, and all the bytes
    // of the record must add up to zero.
    unsigned sum = 0;
    for (int pos = 1; pos < needed; pos += 2) {
        if (!isHexDigit(line[pos]) || !isHexDigit(line[pos + 1])) {
            hex2DecLine(record, pos, 2, &error);
            qDebug() << "Hex file line" << m_lineNumber << "has a character that is not hexadecimal at column"
                     << (isHexDigit(line[pos]) ? pos + 2 : pos + 1);
            return false;
        }
        sum += unsigned(hex2DecLine(record, pos, 2, &error));
    }
    if ((sum & 0xFF) != 0) {
        const unsigned found = unsigned(hex2DecLine(record, needed - 2, 2, &error));
        const unsigned expected = (found - sum) & 0xFF;
        qDebug() << "Hex file line" << m_lineNumber << "has a wrong checksum:"
                 << qUtf8Printable(QString::asprintf("%02x instead of %02x", found, expected));
        return false;
    }

    const quint32 offset = quint32(hex2DecLine(record, 3, 4, &error));
    const int type = hex2DecLine(record, 7, 2, &error);
    if (!checkAfterEmptyLine(type))
        return false;

    switch (type) {
    case Data: {
        if (m_segmented && offset + quint32(count) > 0x10000) {
            // Within a segment the offset wraps to 0, which one image line
            // cannot hold.
            qDebug() << "Hex file line" << m_lineNumber << "runs past the end of its 64 KiB segment";
            return false;
        }
        const quint64 first = quint64(m_base) + offset;
        const quint64 last = first + quint64(count > 0 ? count - 1 : 0);
        if (last > HighestAddress) {
            qDebug() << "Hex file line" << m_lineNumber << "lies above address 0x7fffffff:"
                     << qUtf8Printable(QString::asprintf("0x%llx", static_cast<unsigned long long>(first)));
            return false;
        }
        HexRecord r;
        r.address = qint32(first);
        r.length = qint16(count);
        r.data = QByteArray(line + DataPosition, 2 * count);
        r.line = m_lineNumber;
        m_records.append(r);
        return true;
    }
    case EndOfFile:
        m_ended = true;
        return true;
    case ExtendedSegmentAddress:
    case ExtendedLinearAddress: {
        if (count != 2) {
            qDebug() << "Hex file line" << m_lineNumber << "holds an extended address record of" << count
                     << "bytes instead of 2";
            return false;
        }
        const quint32 value = quint32(hex2DecLine(record, DataPosition, 4, &error));
        m_segmented = type == ExtendedSegmentAddress;
        m_base = m_segmented ? value << 4 : value << 16;
        return true;
    }
    case StartSegmentAddress:
    case StartLinearAddress:
        return true;
    default:
        qDebug() << "Hex file line" << m_lineNumber << "has the unknown record type" << type;
        return false;
    }
}
