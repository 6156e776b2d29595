#pragma once

#include "device/connection.h"
#include "device/serialportentry.h"

#include <QMutex>

#include <memory>

// A panel's bootloader link kept open after the search that found it (the
// wizard's), with the lock that keeps one call at a time on it: the
// keep-alive pass and the update take it in turn. Shared, so that a link
// dropped from the wizard's table stays whole while a thread still uses it.
struct HeldLink
{
    QMutex mutex;
    std::unique_ptr<Connection> connection;
    SerialPortEntry port;  // as the system listed it when the panel was found
};
