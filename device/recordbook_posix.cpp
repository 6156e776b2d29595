#include "device/recordbook.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<qint64> g_space{-1};

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes all of it, or as much as the space a test allows.
bool writeAll(int fd, const QByteArray &bytes, off_t at)
{
    const qint64 space = g_space;
    qint64 done = 0;
    while (done < bytes.size()) {
        qint64 room = bytes.size() - done;
        if (space >= 0)
            room = qMin(room, space - qint64(at) - done);
        if (room <= 0) {
            errno = ENOSPC;
            return false;
        }
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(room));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

void RecordBook::setSpaceForTests(qint64 bytes)
{
    g_space = bytes;
}

bool RecordBook::canAppend(const QString &path, QString *why)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *why = reason(errno);
        return false;
    }
    ::close(fd);
    return true;
}

bool RecordBook::appendWhole(const QString &path, const QByteArray &line, QString *why)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *why = reason(errno);
        return false;
    }
    // Our appenders take turns: a line is whole before the next begins.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat before;
    bool ok = ::fstat(fd, &before) == 0;
    QByteArray bytes = line;
    char last = '\n';
    if (ok && before.st_size > 0 && ::pread(fd, &last, 1, before.st_size - 1) == 1 && last != '\n')
        bytes.prepend('\n');  // a torn line left by someone else ends here
    ok = ok && writeAll(fd, bytes, before.st_size) && ::fdatasync(fd) == 0;
    if (!ok) {
        *why = reason(errno);
        // Undone: the file as it was, so no part of the line stays.
        if (::ftruncate(fd, before.st_size) == 0)
            ::fdatasync(fd);
    }
    ::close(fd);
    return ok;
}
