#include "device/updaterecord.h"

#include <QDir>

#include <windows.h>

// Qt appends by seeking to the end and then writing, and another program may
// write in between; a handle that may only append has each write land at the
// end as one.
bool UpdateRecord::appendLine(const QString &path, const QByteArray &line, QString *why)
{
    const QString native = QDir::toNativeSeparators(path);
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()), FILE_APPEND_DATA | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = qt_error_string(int(GetLastError()));
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, line.constData(), DWORD(line.size()), &written, nullptr)
                    && written == DWORD(line.size());
    *why = ok ? QString() : qt_error_string(int(GetLastError()));
    CloseHandle(file);
    return ok;
}
