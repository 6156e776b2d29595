#include "pages/startfolder.h"

#include <QDir>

QString hexFileStartFolder()
{
    return QDir::homePath();
}
