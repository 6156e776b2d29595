#include "firmware/wholefile.h"

#include <QFile>
#include <QFileInfo>

// Windows has no named pipe at a file's path for a technician to pass: a
// file is read as it lies.
ReadProblem readWholeFile(const QString &path, qint64 limit, int, QByteArray *bytes, QString *detail)
{
    bytes->clear();
    if (QFileInfo(path).isDir())
        return ReadProblem::IsDirectory;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *detail = file.errorString();
        return ReadProblem::Missing;
    }
    if (file.size() > limit)
        return ReadProblem::TooLarge;
    *bytes = file.read(limit + 1);
    if (bytes->size() > limit || file.error() != QFileDevice::NoError) {
        *detail = file.errorString();
        const bool tooLarge = bytes->size() > limit;
        bytes->clear();
        return tooLarge ? ReadProblem::TooLarge : ReadProblem::Failed;
    }
    return ReadProblem::None;
}
