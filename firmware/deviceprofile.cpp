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
