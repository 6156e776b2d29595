#include "device/blockassembler.h"

#include <QMap>

#include <algorithm>

namespace {
int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct PendingBlock
{
    QByteArray data;
    QByteArray given;  // 1 where a line gave the byte
    int lastLine = -1;
};
} // namespace

BlockAssembler::BlockAssembler(int blockBytes)
    : m_blockBytes(blockBytes)
{
    Q_ASSERT(blockBytes > 0 && (blockBytes & (blockBytes - 1)) == 0);
}

bool BlockAssembler::parseLine(const QByteArray &line, quint64 *address, QByteArray *bytes)
{
    const char *p = line.constData();
    const char *end = p + line.size();
    bytes->clear();

    while (p < end && isBlank(*p))
        ++p;
    quint64 value = 0;
    int digits = 0;
    for (; p < end && !isBlank(*p); ++p) {
        const int d = hexDigit(*p);
        if (d < 0 || ++digits > 8)
            return false;
        value = (value << 4) | quint64(d);
    }
    if (digits == 0)
        return false;
    *address = value;

    bytes->reserve(int((end - p) / 3) + 1);
    while (p < end) {
        while (p < end && isBlank(*p))
            ++p;
        if (p == end)
            break;
        if (end - p < 2)
            return false;
        const int hi = hexDigit(p[0]);
        const int lo = hexDigit(p[1]);
        if (hi < 0 || lo < 0 || (end - p > 2 && !isBlank(p[2])))
            return false;
        bytes->append(char(hi << 4 | lo));
        p += 2;
    }
    return true;
}

bool BlockAssembler::assemble(const QVector<QByteArray> &lines)
{
    m_blocks.clear();
    m_error.clear();

    const quint64 mask = ~quint64(m_blockBytes - 1);
    QMap<quint64, PendingBlock> pending;
    QByteArray bytes;
    for (int i = 0; i < lines.size(); ++i) {
        quint64 address = 0;
        if (!parseLine(lines.at(i), &address, &bytes)) {
            m_error = QStringLiteral("line %1 is not an address followed by bytes: \"%2\"")
                          .arg(i)
                          .arg(QString::fromLatin1(lines.at(i).left(80)));
            return false;
        }
        // Lines come sorted, so most bytes land in the block the previous byte
        // went to; a byte outside it moves to (or opens) its own block.
        PendingBlock *block = nullptr;
        quint64 blockBase = 0;
        for (int k = 0; k < bytes.size(); ++k) {
            const quint64 at = address + quint64(k);
            if (!block || (at & mask) != blockBase) {
                blockBase = at & mask;
                auto it = pending.find(blockBase);
                if (it == pending.end()) {
                    PendingBlock fresh;
                    fresh.data = QByteArray(m_blockBytes, char(0xFF));
                    fresh.given = QByteArray(m_blockBytes, char(0));
                    it = pending.insert(blockBase, fresh);
                }
                block = &it.value();
                block->lastLine = std::max(block->lastLine, i);
            }
            const int offset = int(at - blockBase);
            char *given = block->given.data() + offset;
            char *data = block->data.data() + offset;
            if (*given && *data != bytes.at(k)) {
                m_error = QStringLiteral("line %1 gives byte address 0x%2 the value %3, another line gave it %4")
                              .arg(i)
                              .arg(at, 0, 16)
                              .arg(quint8(bytes.at(k)))
                              .arg(quint8(*data));
                return false;
            }
            *given = 1;
            *data = bytes.at(k);
        }
    }

    m_blocks.reserve(pending.size());
    int lastLine = -1;
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        ImageBlock block;
        block.byteAddress = it.key();
        block.data = it.value().data;
        lastLine = std::max(lastLine, it.value().lastLine);
        block.lastLine = lastLine;
        for (int k = 0; k < m_blockBytes; ++k) {
            if (!isPhantom(block.byteAddress + quint64(k)) && quint8(block.data.at(k)) != 0xFF) {
                block.blank = false;
                break;
            }
        }
        m_blocks.append(block);
    }
    return true;
}

const QVector<ImageBlock> &BlockAssembler::blocks() const
{
    return m_blocks;
}

QString BlockAssembler::error() const
{
    return m_error;
}
