#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// One write block of the image: blockBytes bytes starting at a byte address
// aligned to blockBytes.
struct ImageBlock
{
    quint64 byteAddress = 0;  // file byte address of data[0]
    QByteArray data;          // 0xFF where the image gives no byte
    int lastLine = -1;        // index of the last image line done once this block is (progress)
    bool blank = true;        // every byte outside the phantom positions is 0xFF
};

// Places every byte of the image's text lines ("address bytes...", hex) at
// its own byte address, in blocks aligned to the block size. Nothing is
// shifted, whatever the lengths, gaps and alignment of the lines. The whole
// image is checked before a single block is handed out, so a bad line or two
// lines that disagree on a byte stop the write before anything reaches the
// panel.
class BlockAssembler
{
public:
    explicit BlockAssembler(int blockBytes = 256);

    // False when a line does not parse or two lines give one byte different
    // values; error() then says which line.
    bool assemble(const QVector<QByteArray> &lines);

    // In ascending address order; lastLine never decreases along the list.
    const QVector<ImageBlock> &blocks() const;
    QString error() const;

    // One image line: 1 to 8 hex digits of address, then bytes of exactly two
    // hex digits each, separated by blanks; either case. An address alone is a
    // line with no bytes.
    static bool parseLine(const QByteArray &line, quint64 *address, QByteArray *bytes);

    // A phantom position: the fourth byte of an instruction, which flash does
    // not store.
    static bool isPhantom(quint64 byteAddress) { return (byteAddress & 3) == 3; }

private:
    int m_blockBytes;
    QVector<ImageBlock> m_blocks;
    QString m_error;
};
