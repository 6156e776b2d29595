#include "device/recordbook.h"

#include <QDir>

#include <atomic>

#include <windows.h>

namespace {

std::atomic<qint64> g_space{-1};

HANDLE openForAppend(const QString &path, DWORD access)
{
    const QString native = QDir::toNativeSeparators(path);
    return CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

void RecordBook::setSpaceForTests(qint64 bytes)
{
    g_space = bytes;
}

bool RecordBook::canAppend(const QString &path, QString *why)
{
    const HANDLE file = openForAppend(path, FILE_APPEND_DATA);
    if (file == INVALID_HANDLE_VALUE) {
        *why = qt_error_string(int(GetLastError()));
        return false;
    }
    CloseHandle(file);
    return true;
}

// Locked, as every appender of ours locks it, so that the length read, the
// line written and, on a failure, the length put back are one step.
bool RecordBook::appendWhole(const QString &path, const QByteArray &line, QString *why)
{
    const HANDLE file = openForAppend(path, GENERIC_READ | GENERIC_WRITE);
    if (file == INVALID_HANDLE_VALUE) {
        *why = qt_error_string(int(GetLastError()));
        return false;
    }
    OVERLAPPED whole = {};
    LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    LARGE_INTEGER size = {};
    bool ok = GetFileSizeEx(file, &size) != 0;
    QByteArray bytes = line;
    char last = '\n';
    DWORD got = 0;
    LARGE_INTEGER at = size;
    at.QuadPart -= 1;
    if (ok && size.QuadPart > 0 && SetFilePointerEx(file, at, nullptr, FILE_BEGIN)
        && ReadFile(file, &last, 1, &got, nullptr) && got == 1 && last != '\n')
        bytes.prepend('\n');  // a torn line left by someone else ends here
    const qint64 space = g_space;
    const DWORD room = space < 0 ? DWORD(bytes.size()) : DWORD(qBound<qint64>(0, space - size.QuadPart, bytes.size()));
    DWORD written = 0;
    ok = ok && SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && WriteFile(file, bytes.constData(), room, &written, nullptr)
         && written == DWORD(bytes.size()) && FlushFileBuffers(file);
    if (!ok) {
        *why = written == room && room < DWORD(bytes.size()) ? qt_error_string(ERROR_DISK_FULL)
                                                               : qt_error_string(int(GetLastError()));
        // Undone: the file as it was, so no part of the line stays.
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        FlushFileBuffers(file);
    }
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(file);
    return ok;
}
