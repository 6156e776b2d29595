#include "device/portlister.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSerialPortInfo>

#include <optional>

namespace {
struct OverrideState
{
    QMutex mutex;
    std::optional<QList<SerialPortEntry>> ports;
};

OverrideState &overrideState()
{
    static OverrideState state;
    return state;
}
} // namespace

QList<SerialPortEntry> PortLister::availablePorts()
{
    {
        OverrideState &state = overrideState();
        QMutexLocker lock(&state.mutex);
        if (state.ports)
            return *state.ports;
    }
    QList<SerialPortEntry> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        ports.append(SerialPortEntry{info.portName(), info.systemLocation(), info.vendorIdentifier(),
                                     info.productIdentifier(), info.description()});
        ports.last().serialNumber = info.serialNumber();
    }
    return ports;
}

void PortLister::setOverride(const QList<SerialPortEntry> &ports)
{
    OverrideState &state = overrideState();
    QMutexLocker lock(&state.mutex);
    state.ports = ports;
}

void PortLister::clearOverride()
{
    OverrideState &state = overrideState();
    QMutexLocker lock(&state.mutex);
    state.ports.reset();
}
