#include "firmware/firmwareimage.h"
#include "firmware/wholefile.h"

#include "firmware/hexparser.h"
#include "firmware/imagebuilder.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFileInfo>
#include <QMap>

#include <algorithm>

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// One image line: 1 to 8 hex digits of address, then bytes of exactly two
// hex digits each, separated by blanks; either case. An address alone is a
// line with no bytes.
bool parseLine(const QByteArray &line, quint64 *address, QByteArray *bytes)
{
    const char *p = line.constData();
    const char *end = p + line.size();
    bytes->clear();

    while (p < end && isBlank(*p))
        ++p;
    quint64 value = 0;
    int digits = 0;
    for (; p < end && !isBlank(*p); ++p) {
        const int d = hexDigitValue(*p);
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
        const int hi = hexDigitValue(p[0]);
        const int lo = hexDigitValue(p[1]);
        if (hi < 0 || lo < 0 || (end - p > 2 && !isBlank(p[2])))
            return false;
        bytes->append(char(hi << 4 | lo));
        p += 2;
    }
    return true;
}
} // namespace

std::unique_ptr<FirmwareImage> FirmwareImage::fromLines(const QVector<QByteArray> &lines, int blockBytes,
                                                        QString *error)
{
    Q_ASSERT(blockBytes > 0 && (blockBytes & (blockBytes - 1)) == 0);
    const quint64 mask = ~quint64(blockBytes - 1);
    QMap<quint64, ImageBlock> pending;
    QByteArray bytes;
    for (int i = 0; i < lines.size(); ++i) {
        quint64 address = 0;
        if (!parseLine(lines.at(i), &address, &bytes)) {
            *error = QStringLiteral("line %1 is not an address followed by bytes: \"%2\"")
                         .arg(i)
                         .arg(QString::fromLatin1(lines.at(i).left(80)));
            return nullptr;
        }
        // Lines come sorted, so most bytes land in the block the previous byte
        // went to; a byte outside it moves to (or opens) its own block.
        ImageBlock *block = nullptr;
        quint64 blockBase = 0;
        for (int k = 0; k < bytes.size(); ++k) {
            const quint64 at = address + quint64(k);
            if (!block || (at & mask) != blockBase) {
                blockBase = at & mask;
                auto it = pending.find(blockBase);
                if (it == pending.end()) {
                    ImageBlock fresh;
                    fresh.byteAddress = blockBase;
                    fresh.data = QByteArray(blockBytes, char(0xFF));
                    fresh.given = QByteArray(blockBytes, char(0));
                    it = pending.insert(blockBase, fresh);
                }
                block = &it.value();
                block->lastLine = std::max(block->lastLine, i);
            }
            const int offset = int(at - blockBase);
            char *given = block->given.data() + offset;
            char *data = block->data.data() + offset;
            if (*given && *data != bytes.at(k)) {
                *error = QStringLiteral("line %1 gives byte address 0x%2 the value %3, another line gave it %4")
                             .arg(i)
                             .arg(at, 0, 16)
                             .arg(quint8(bytes.at(k)))
                             .arg(quint8(*data));
                return nullptr;
            }
            *given = 1;
            *data = bytes.at(k);
        }
    }

    auto image = std::make_unique<FirmwareImage>();
    image->m_lineCount = lines.size();
    image->m_blocks.reserve(pending.size());
    int lastLine = -1;
    for (ImageBlock block : qAsConst(pending)) {
        lastLine = std::max(lastLine, block.lastLine);
        block.lastLine = lastLine;
        block.blank = ImageBuilder::isBlank(qint32(block.byteAddress),
                                            reinterpret_cast<const unsigned char *>(block.data.constData()), blockBytes);
        image->m_blocks.append(block);
    }
    return image;
}

std::unique_ptr<FirmwareImage> FirmwareImage::load(const QString &path, const DeviceProfile &profile, int idleMs,
                                                    Check *check, qint64 *at)
{
    int failedLine = 0;
    ReadProblem problem = ReadProblem::None;
    QByteArray text;
    const std::unique_ptr<QVector<QByteArray>> lines(parseHexImage(path, idleMs, &failedLine, &problem, &text));
    *at = failedLine;
    QString error;
    std::unique_ptr<FirmwareImage> image;
    if (failedLine < 0)
        *check = problem == ReadProblem::IsDirectory ? IsDirectory
                 : problem == ReadProblem::TooLarge  ? TooLarge
                 : problem == ReadProblem::Silent    ? Silent
                                                     : Missing;
    else if (failedLine > 0 || !(image = fromLines(*lines, int(profile.writeBlockBytes), &error)))
        *check = Damaged;
    else
        *check = image->check(profile, at);
    if (!error.isEmpty())
        qDebug() << "FirmwareImage::load(): the lines read do not make an image:" << error;
    if (*check != Loaded)
        return nullptr;
    // The path as given, made absolute; a pipe says so (<(cat fw.hex)).
    const QString pipe = pipeName(path);
    image->m_fileName = QFileInfo(path).absoluteFilePath() + (pipe.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(pipe));
    image->m_fileSize = text.size();
    image->m_fileSha256 = QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
    return image;
}

qint64 FirmwareImage::bytesToWrite(const DeviceProfile &profile) const
{
    const quint64 protectedByte = quint64(profile.protectedStart()) * profile.bytesPerAddress;
    qint64 bytes = 0;
    for (const ImageBlock &block : m_blocks)
        bytes += block.blank || block.byteAddress >= protectedByte ? 0 : block.data.size();
    return bytes;
}

FirmwareImage::Check FirmwareImage::check(const DeviceProfile &profile, qint64 *at) const
{
    const quint32 protectedFirst = profile.protectedStart();
    bool anyData = false;
    quint64 top = 0;  // the highest device address the file gives
    for (const ImageBlock &block : m_blocks) {
        for (int k = 0; k < block.data.size(); ++k) {
            if (!block.given.at(k))
                continue;
            const quint64 byteAddress = block.byteAddress + quint64(k);
            const quint64 address = byteAddress / profile.bytesPerAddress;
            top = qMax(top, address);
            if (address > profile.programEnd) {
                qDebug().noquote() << QStringLiteral("Library::load(): data at device address 0x%1 lies past the "
                                                     "program memory, which ends at 0x%2: not firmware for this "
                                                     "device.")
                                          .arg(address, 0, 16)
                                          .arg(profile.programEnd, 0, 16);
                *at = qint64(address);
                return OutsideChip;
            }
            if (isPhantom(byteAddress) || quint8(block.data.at(k)) == 0xFF)
                continue;
            // The three configuration words live in the protected page and are
            // skipped by the writer, as the bootloader keeps its own.
            if (address < protectedFirst) {
                anyData = true;
            } else if (address < profile.configFirst) {
                qDebug().noquote() << QStringLiteral("Library::load(): data at device address 0x%1 lies in the "
                                                     "protected page 0x%2-0x%3, which is never written.")
                                          .arg(address, 0, 16)
                                          .arg(protectedFirst, 0, 16)
                                          .arg(profile.programEnd, 0, 16);
                *at = qint64(address);
                return ProtectedPage;
            }
        }
    }
    if (!anyData) {
        qDebug() << "Library::load(): the file holds no data for the writable program memory: nothing to write.";
        return NothingToWrite;
    }
    bool resetJump = false;
    for (int k = 0; k < profile.resetJumpBytes; ++k)
        resetJump = resetJump || (!isPhantom(quint64(k)) && gives(quint64(k)));
    if (!resetJump) {
        qDebug() << "Library::load(): the file gives no reset jump at address 0: the panel would have nothing to start.";
        *at = 0;
        return NoResetVector;
    }
    for (const DeviceProfile::SmallerPart &part : DeviceProfile::smallerParts()) {
        if (top < part.end - DeviceProfile::configSpan || top >= part.end)
            continue;
        for (quint32 word = part.end - DeviceProfile::configSpan; word < part.end; word += 2) {
            if (!gives(quint64(word) * profile.bytesPerAddress))
                continue;
            qDebug().noquote() << QStringLiteral("Library::load(): the file's last data, at device address 0x%1, are "
                                                 "the configuration words of a %2 KB part: firmware built for that "
                                                 "part, not for this one.").arg(word, 0, 16).arg(part.kilobytes);
            *at = qint64(word);
            return OtherPart;
        }
    }
    return Loaded;
}

bool FirmwareImage::gives(quint64 byteAddress) const
{
    for (const ImageBlock &block : m_blocks)
        if (byteAddress >= block.byteAddress && byteAddress < block.byteAddress + quint64(block.given.size()))
            return block.given.at(int(byteAddress - block.byteAddress)) != 0;
    return false;
}
