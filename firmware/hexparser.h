#pragma once

#include "firmware/hexrecord.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Converts `digits` hex characters of `text` from `pos`. On failure returns 0
// and sets *error (never clears it).
int hex2DecLine(const QByteArray &text, int pos, int digits, bool *error);

// In-place quicksort of records[left..right] by address.
void sortRecords(QVector<HexRecord> &records, const int &left, const int &right);

// Reads an Intel HEX file into the program memory image: one text line per
// data record, sorted by address, blank runs of 16 records left out. Never
// returns null; the caller owns the result, which is empty on every failure.
QVector<QByteArray> *parseHexImage(const QString &path);
