#include "device/portlock.h"

#include <cerrno>

#include <sys/file.h>

bool PortLock::tryHold(Handle handle)
{
    if (handle < 0)
        return true;
    if (::flock(handle, LOCK_EX | LOCK_NB) == 0)
        return true;
    // Only a hold by someone else counts; a file system without locks does
    // not make the port busy.
    return errno != EWOULDBLOCK;
}
