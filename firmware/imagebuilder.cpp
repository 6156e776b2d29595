#include "firmware/imagebuilder.h"

#include "firmware/hexparser.h"

#include <QDebug>

#include <array>
#include <utility>

namespace {

constexpr int RunLength = 16;

// The byte values seen lately, by address. Records come in ascending order
// of their first address and hold at most 255 bytes, so two records can
// only share a byte when their first addresses lie less than 255 apart: a
// window of 512 addresses, each kept in the slot of its low bits, still
// holds every byte that a later record could overlap.
class RecentBytes
{
public:
    RecentBytes() { m_address.fill(Empty); }

    // Records `value` at `address` for `line`; false when an earlier line
    // gave that address another value (its line is then in *otherLine).
    bool put(quint32 address, unsigned char value, int line, int *otherLine, unsigned char *otherValue)
    {
        const size_t slot = address & (Size - 1);
        if (m_address[slot] == address && m_value[slot] != value) {
            *otherLine = m_line[slot];
            *otherValue = m_value[slot];
            return false;
        }
        m_address[slot] = address;
        m_value[slot] = value;
        m_line[slot] = line;
        return true;
    }

private:
    static constexpr size_t Size = 512;
    // No record reaches above 0x7fffffff, so this marks a free slot.
    static constexpr quint32 Empty = 0xFFFFFFFFu;
    std::array<quint32, Size> m_address;
    std::array<unsigned char, Size> m_value{};
    std::array<int, Size> m_line{};
};

const char HexDigits[] = "0123456789abcdef";

} // namespace

QByteArray ImageBuilder::formatLine(qint32 address, const unsigned char *bytes, int length)
{
    char digits[8];
    int n = 0;
    for (quint32 a = quint32(address); a != 0 || n < 6; a >>= 4)
        digits[n++] = HexDigits[a & 0xF];

    QByteArray line;
    line.resize(n + 1 + 3 * length);
    char *out = line.data();
    while (n > 0)
        *out++ = digits[--n];
    *out++ = ' ';
    for (int k = 0; k < length; ++k) {
        *out++ = HexDigits[bytes[k] >> 4];
        *out++ = HexDigits[bytes[k] & 0xF];
        *out++ = ' ';
    }
    return line;
}

bool ImageBuilder::isBlank(qint32 address, const unsigned char *bytes, int length)
{
    for (int k = 0; k < length; ++k) {
        // Every fourth byte address holds an instruction word's phantom
        // byte, which carries nothing.
        const bool phantom = ((quint32(address) + quint32(k)) & 3) == 3;
        if (!phantom && bytes[k] != 0xFF)
            return false;
    }
    return true;
}

bool ImageBuilder::build(QVector<HexRecord> &records, QVector<QByteArray> *image)
{
    if (records.size() >= 2)
        sortRecords(records, 0, records.size() - 1);

    QVector<QByteArray> lines;
    lines.reserve(records.size());
    RecentBytes recent;
    unsigned char bytes[256];

    QVector<QByteArray> run;
    run.reserve(RunLength);
    bool runBlank = true;
    int number = 0;
    for (const HexRecord &record : qAsConst(records)) {
        const int length = qBound(0, int(record.length), 255);
        bool error = false;
        for (int k = 0; k < length; ++k)
            bytes[k] = static_cast<unsigned char>(hex2DecLine(record.data, 2 * k, 2, &error));

        for (int k = 0; k < length; ++k) {
            const quint32 address = quint32(record.address) + quint32(k);
            int otherLine = 0;
            unsigned char otherValue = 0;
            if (!recent.put(address, bytes[k], record.line, &otherLine, &otherValue)) {
                // Named in file order, whatever order the sort left them in.
                int firstLine = otherLine, secondLine = record.line;
                unsigned firstValue = otherValue, secondValue = bytes[k];
                if (firstLine > secondLine) {
                    std::swap(firstLine, secondLine);
                    std::swap(firstValue, secondValue);
                }
                qDebug() << "Hex file lines" << firstLine << "and" << secondLine
                         << "give different values to byte address"
                         << qUtf8Printable(QString::asprintf("0x%06x: %02x and %02x", address, firstValue,
                                                             secondValue));
                m_failedLine = secondLine;
                return false;
            }
        }

        run.append(formatLine(record.address, bytes, length));
        runBlank = runBlank && isBlank(record.address, bytes, length);
        if (++number % RunLength == 0) {
            if (!runBlank)
                lines.append(run);
            run.clear();
            runBlank = true;
        }
    }
    // The last, shorter run is kept whatever it holds.
    lines.append(run);

    image->append(lines);
    return true;
}
