#pragma once

#include "firmware/hexrecord.h"

#include <QByteArray>
#include <QVector>

// Reads the data records of an Intel HEX text, in file order, up to the
// end-of-file record or the end of the text. Every record is checked whole
// (start code, hex digits, length, checksum) before it is used, so a damaged
// file fails with a debug line naming its line rather than putting wrong
// bytes into the image.
class HexReader
{
public:
    // Returns false, after a debug line, on the first line that fails.
    bool read(const QByteArray &text);
    QVector<HexRecord> takeRecords();
    // The line read last: after a failure, the line at fault.
    int lineNumber() const { return m_lineNumber; }

private:
    bool readLine(const char *line, int length);
    bool checkAfterEmptyLine(int type) const;

    QVector<HexRecord> m_records;
    quint32 m_base = 0;        // added to every load offset
    bool m_segmented = false;  // base set by an extended segment address
    int m_lineNumber = 0;
    int m_emptyLine = 0;       // first empty line met, 0 while none
    bool m_ended = false;      // end-of-file record met
};
