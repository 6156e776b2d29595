#include "firmware/deviceprofile.h"

QString DeviceProfile::modelName(int id)
{
    switch (id) {
    case 1: return QStringLiteral("KR 210 Nova");
    case 2: return QStringLiteral("QD 200 Nova");
    default: return QString();
    }
}

const DeviceProfile &DeviceProfile::supported()
{
    static const DeviceProfile profile;
    return profile;
}

const DeviceProfile *DeviceProfile::forModel(int id)
{
    return modelName(id).isEmpty() ? nullptr : &supported();
}

// From the family's data sheets: where the program memory of each smaller
// PIC24FJ part ends (its Flash configuration words are the last two or three
// words before that). The 128 KB parts share our memory map and cannot be
// told apart by their files.
const QVector<DeviceProfile::SmallerPart> &DeviceProfile::smallerParts()
{
    static const QVector<SmallerPart> parts = {{16, 0x2C00}, {32, 0x5800}, {48, 0x8400}, {64, 0xAC00}, {96, 0x10000}};
    return parts;
}

int DeviceProfile::smallerPartAt(qint64 address)
{
    for (const SmallerPart &part : smallerParts())
        if (address >= qint64(part.end - configSpan) && address < qint64(part.end))
            return part.kilobytes;
    return 0;
}
