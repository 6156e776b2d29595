#pragma once

#include "firmware/hexrecord.h"

#include <QByteArray>
#include <QVector>

// Turns the records of a file into the program memory image: sorted by
// address, one text line per record, runs of 16 blank records left out.
class ImageBuilder
{
public:
    // Sorts `records` in place and appends the image lines to *image. The
    // records' addresses lie from 0 to 0x7fffffff, as the reader makes them.
    // Returns false, after a debug line, when two records give different
    // values to the same byte address; *image is then left as it was.
    bool build(QVector<HexRecord> &records, QVector<QByteArray> *image);
    // After a failed build, the later of the two lines that disagreed.
    int failedLine() const { return m_failedLine; }

    // The line for one record, and whether the record is blank (0xFF at
    // every position that is not a phantom byte). `bytes` holds its data.
    static QByteArray formatLine(qint32 address, const unsigned char *bytes, int length);
    static bool isBlank(qint32 address, const unsigned char *bytes, int length);

private:
    int m_failedLine = 0;
};
