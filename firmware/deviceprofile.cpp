#include "firmware/deviceprofile.h"

QString DeviceProfile::modelName(int id)
{
    switch (id) {
    case 1: return QStringLiteral("KR 210 Nova");
    case 2: return QStringLiteral("QD 200 Nova");
    default: return QString();
    }
}
