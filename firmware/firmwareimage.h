#pragma once

#include "firmware/deviceprofile.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <memory>

// One write block of the image: blockBytes bytes from a byte address aligned
// to blockBytes.
struct ImageBlock
{
    quint64 byteAddress = 0;  // file byte address of data[0]
    QByteArray data;          // 0xFF where the image gives no byte
    QByteArray given;         // 1 where the image gives the byte
    int lastLine = -1;        // index of the last image line done once this block is (progress)
    bool blank = true;        // every byte outside the phantom positions is 0xFF
};

// The program memory image as the panel receives it, parsed once from the
// text lines the HEX reader hands over ("address bytes...", hex): every byte
// at its own byte address, in blocks aligned to the write block, ascending.
// Nothing is shifted, whatever the lengths, gaps and alignment of the lines,
// and the whole image is checked before a single block is handed out: a bad
// line or two lines that disagree on a byte stop an update before anything
// reaches the panel.
class FirmwareImage
{
public:
    // Whether a file can update the controller, and why not.
    enum Check { Loaded, Missing, Damaged, OutsideChip, ProtectedPage, NothingToWrite, IsDirectory, TooLarge, Silent,
                 NoResetVector, OtherPart };

    // Null, with *error naming the line, when a line does not parse or two
    // lines give one byte different values.
    static std::unique_ptr<FirmwareImage> fromLines(const QVector<QByteArray> &lines, int blockBytes, QString *error);
    // An Intel HEX file read and checked for this controller; null, with
    // *check saying why and *at the line (Damaged) or the device address
    // (OutsideChip, ProtectedPage) at fault, when it cannot update it. A
    // pipe that yields nothing for idleMs is Silent.
    static std::unique_ptr<FirmwareImage> load(const QString &path, const DeviceProfile &profile, int idleMs,
                                               Check *check, qint64 *at);

    // Ascending; lastLine never decreases along the list.
    const QVector<ImageBlock> &blocks() const { return m_blocks; }
    int lineCount() const { return m_lineCount; }
    // The bytes of the blocks that carry data below the protected page: what
    // a write sends.
    qint64 bytesToWrite(const DeviceProfile &profile) const;
    // A file is refused as a whole, before anything is erased, when writing
    // it could not give the panel the application it holds: data where this
    // controller has no program memory (firmware for another part), data in
    // the protected last page, which is never written, no data for the
    // writable program memory at all, which would leave the panel erased, no
    // reset jump at address 0, which would leave it nothing to start, or a
    // smaller part's configuration words as its last data (firmware built for
    // that part). *at receives the device address at fault.
    Check check(const DeviceProfile &profile, qint64 *at) const;

    // The file it came from, for the record of an update: its path made
    // absolute (a pipe named as such), size and SHA-256 (lowercase hex);
    // empty where it came from lines.
    QString fileName() const { return m_fileName; }
    qint64 fileSize() const { return m_fileSize; }
    QString fileSha256() const { return m_fileSha256; }

    // A phantom position: the fourth byte of an instruction, which flash
    // does not store.
    static bool isPhantom(quint64 byteAddress) { return (byteAddress & 3) == 3; }

private:
    bool gives(quint64 byteAddress) const;

    QVector<ImageBlock> m_blocks;
    int m_lineCount = 0;
    QString m_fileName;
    qint64 m_fileSize = 0;
    QString m_fileSha256;
};
