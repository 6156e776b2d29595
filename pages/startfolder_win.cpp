#include "pages/startfolder.h"

#include <QProcessEnvironment>

QString hexFileStartFolder()
{
    // Empty when unset: the dialog then opens where the system chooses.
    return QProcessEnvironment::systemEnvironment().value(QStringLiteral("USERPROFILE"));
}
