#include "firmware/wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <windows.h>

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

QString pipeName(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return QString();
    const bool pipe = GetFileType(file) == FILE_TYPE_PIPE;
    CloseHandle(file);
    return pipe ? QStringLiteral("pipe") : QString();
}
