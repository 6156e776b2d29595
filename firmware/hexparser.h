#pragma once

#include "firmware/hexrecord.h"
#include "firmware/wholefile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// A hex digit's value, -1 for any other character.
int hexDigitValue(char c);

// Converts `digits` hex characters of `text` from `pos`. On failure returns 0
// and sets *error (never clears it).
int hex2DecLine(const QByteArray &text, int pos, int digits, bool *error);

// In-place quicksort of records[left..right] by address.
void sortRecords(QVector<HexRecord> &records, const int &left, const int &right);

// Reads an Intel HEX file into the program memory image: one text line per
// data record, sorted by address, blank runs of 16 records left out. Never
// returns null; the caller owns the result, which is empty on every failure.
// *failedLine, when given, says why an image came out empty: 0 the file
// parsed, -1 it could not be read (*problem says why), else the line at
// fault. A pipe that yields nothing for idleMs is given up. *text, when
// given, receives the file's bytes as read.
QVector<QByteArray> *parseHexImage(const QString &path, int idleMs, int *failedLine = nullptr,
                                   ReadProblem *problem = nullptr, QByteArray *text = nullptr);

// The same for the text of a file already in memory, without the file's own
// debug lines. Returns false, with *image left empty, when the text is not a
// sound Intel HEX file.
bool parseHexText(const QByteArray &text, QVector<QByteArray> *image, int *failedLine = nullptr);

// Files larger than this are refused rather than read: the panel's whole
// program memory written as one-byte records stays far below it.
constexpr qint64 MaxHexFileSize = 16 * 1024 * 1024;
