#pragma once

#include <QByteArray>
#include <QString>

class VirtualPanel;

// The panel's flash against an Intel HEX file, byte by byte in the file's
// layout, up to the protected last page. Bytes the file does not give must
// read as erased flash; phantom bytes (every fourth) read 0. The bootloader keeps its
// own jump at 0x0/0x2 and holds the file's reset jump at 0x100/0x102. The
// file is decoded here, apart from the program's reader. Empty on a match,
// else the first difference.
QString flashMismatch(const VirtualPanel &panel, const QByteArray &hexText);

// The example firmware the update tests write: its path, and its text.
QString samplePath();
QByteArray sampleText();
