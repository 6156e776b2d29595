#pragma once

#include "picboot/picboot.h"

#include <QString>

// Binding of the bootloader library, loaded at run time from the program's
// own folder under its platform file name (never from the working folder, so
// a file planted there cannot run). Each wrapper loads, resolves, calls and
// releases its own reference; the library is loaded so that it stays in
// memory, with its open links, between calls. An export that cannot be
// resolved is not called and the wrapper returns -1 (OpenPIC too: a 0 would
// pass as a link).
class PicBoot
{
public:
    static bool load();              // whether the library loads
    static QString libraryPath();    // where it is looked for
    static QString libraryFileName(); // PICBOOT.dll, libPICBOOT.so

    // For tests: look in folder instead of the program's folder; an empty
    // folder goes back to the program's.
    static void setLibraryFolder(const QString &folder);

    static PicHandle OpenPIC(const char *port, int bitRate, int timeoutMs);
    static int ClosePIC(PicHandle handle);
    static int SendPacket(PicHandle handle, const unsigned char *data, quint16 count);
    static int ReadPIC(PicHandle handle, PicRequest *request, unsigned char *data);
    static int WritePIC(PicHandle handle, PicRequest *request, const unsigned char *data);
    static int ErasePIC(PicHandle handle, quint32 address, quint8 blocks, quint8 retries);
    // Bound as the library's contract lists them; nothing in the programs
    // calls them.
    static int GetPacket(PicHandle handle, unsigned char *buffer, quint16 limit);
    static int SendGetPacket(PicHandle handle, unsigned char *buffer, quint16 sendCount, quint16 receiveLimit,
                             quint16 retries);
    static int VerifyPIC(PicHandle handle, PicRequest *request, const unsigned char *data);
    // Our own library's time-out setter and retry count; -1 where the
    // library lacks them.
    static int SetTimeoutPIC(PicHandle handle, int timeoutMs, int eraseMsPerPage);
    static int RetriesPIC(PicHandle handle);
};
