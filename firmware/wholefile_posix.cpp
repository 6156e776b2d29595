#include "firmware/wholefile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

ReadProblem readWholeFile(const QString &path, qint64 limit, int idleMs, QByteArray *bytes, QString *detail)
{
    bytes->clear();
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking: opening a named pipe nobody writes to would wait for ever.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        *detail = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return ReadProblem::Missing;
    }
    ReadProblem problem = ReadProblem::None;
    if (S_ISDIR(info.st_mode))
        problem = ReadProblem::IsDirectory;
    else if (S_ISREG(info.st_mode) && info.st_size > limit)
        problem = ReadProblem::TooLarge;
    while (problem == ReadProblem::None) {
        pollfd wait{fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, idleMs);
        if (ready == 0) {
            problem = ReadProblem::Silent;
            break;
        }
        char chunk[65536];
        const ssize_t got = ready < 0 ? -1 : ::read(fd, chunk, sizeof chunk);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            *detail = QString::fromLocal8Bit(std::strerror(errno));
            problem = ReadProblem::Failed;
        } else if (bytes->size() + got > limit) {
            problem = ReadProblem::TooLarge;
        } else {
            bytes->append(chunk, int(got));
        }
    }
    ::close(fd);
    if (problem != ReadProblem::None)
        bytes->clear();
    return problem;
}

QString pipeName(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0 || !S_ISFIFO(info.st_mode))
        return QString();
    char target[256] = {};
    const ssize_t length = ::readlink(name.constData(), target, sizeof target - 1);
    return length > 0 && !QString::fromLocal8Bit(target, int(length)).startsWith(QLatin1Char('/'))
               ? QString::fromLocal8Bit(target, int(length))
               : QStringLiteral("pipe");
}
