#include "device/picboot.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex g_folderMutex;
QString g_folder;  // empty: the program's folder

// The library must outlive each wrapper's reference: its links live in it.
// PreventUnloadHint keeps the code and its state in memory whatever the
// reference count does.
void prepare(QLibrary &library)
{
    library.setFileName(PicBoot::libraryPath());
    library.setLoadHints(QLibrary::PreventUnloadHint);
}

// Loads, resolves name, calls it and releases this call's reference. An
// export that cannot be resolved is not called.
template <typename Fn, typename... Args>
int callExport(const char *name, Args... args)
{
    QLibrary library;
    prepare(library);
    const auto fn = reinterpret_cast<Fn>(library.resolve(name));
    if (!fn) {
        library.unload();
        return -1;
    }
    const int result = fn(args...);
    library.unload();
    return result;
}

} // namespace

QString PicBoot::libraryFileName()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("PICBOOT.dll");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("libPICBOOT.dylib");
#else
    return QStringLiteral("libPICBOOT.so");
#endif
}

void PicBoot::setLibraryFolder(const QString &folder)
{
    QMutexLocker lock(&g_folderMutex);
    g_folder = folder;
}

QString PicBoot::libraryPath()
{
    QString folder;
    {
        QMutexLocker lock(&g_folderMutex);
        folder = g_folder;
    }
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    // An absolute path: the loader then looks nowhere else, in particular
    // not in the working folder.
    return QDir(QDir(folder).absolutePath()).absoluteFilePath(libraryFileName());
}

bool PicBoot::load()
{
    QLibrary library;
    prepare(library);
    // Kept loaded on purpose: nothing unloads the library while the program
    // runs, so links opened through it stay valid.
    if (library.load())
        return true;
    qWarning() << "PicBoot::load() could not load" << library.fileName() << library.errorString();
    return false;
}

PicHandle PicBoot::OpenPIC(const char *port, int bitRate, int timeoutMs)
{
    return callExport<decltype(&::OpenPIC)>("OpenPIC", port, int32_t(bitRate), int32_t(timeoutMs));
}

int PicBoot::ClosePIC(PicHandle handle)
{
    return callExport<decltype(&::ClosePIC)>("ClosePIC", handle);
}

int PicBoot::SendPacket(PicHandle handle, const unsigned char *data, quint16 count)
{
    return callExport<decltype(&::SendPacket)>("SendPacket", handle, data, uint16_t(count));
}

int PicBoot::GetPacket(PicHandle handle, unsigned char *buffer, quint16 limit)
{
    return callExport<decltype(&::GetPacket)>("GetPacket", handle, buffer, uint16_t(limit));
}

int PicBoot::SendGetPacket(PicHandle handle, unsigned char *buffer, quint16 sendCount, quint16 receiveLimit,
                           quint16 retries)
{
    return callExport<decltype(&::SendGetPacket)>("SendGetPacket", handle, buffer, uint16_t(sendCount), uint16_t(receiveLimit),
                                 uint16_t(retries));
}

int PicBoot::ReadPIC(PicHandle handle, PicRequest *request, unsigned char *data)
{
    return callExport<decltype(&::ReadPIC)>("ReadPIC", handle, static_cast<const PicRequest *>(request), data);
}

int PicBoot::WritePIC(PicHandle handle, PicRequest *request, const unsigned char *data)
{
    return callExport<decltype(&::WritePIC)>("WritePIC", handle, static_cast<const PicRequest *>(request), data);
}

int PicBoot::VerifyPIC(PicHandle handle, PicRequest *request, const unsigned char *data)
{
    return callExport<decltype(&::VerifyPIC)>("VerifyPIC", handle, static_cast<const PicRequest *>(request), data);
}

int PicBoot::ErasePIC(PicHandle handle, quint32 address, quint8 blocks, quint8 retries)
{
    return callExport<decltype(&::ErasePIC)>("ErasePIC", handle, uint32_t(address), uint8_t(blocks), uint8_t(retries));
}

int PicBoot::SetTimeoutPIC(PicHandle handle, int timeoutMs, int eraseMsPerPage)
{
    return callExport<decltype(&::SetTimeoutPIC)>("SetTimeoutPIC", handle, int32_t(timeoutMs), int32_t(eraseMsPerPage));
}

int PicBoot::RetriesPIC(PicHandle handle)
{
    return callExport<decltype(&::RetriesPIC)>("RetriesPIC", handle);
}
