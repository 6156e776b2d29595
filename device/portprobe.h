#pragma once

#include "device/portaccess.h"
#include "device/serialportentry.h"
#include "device/timings.h"
#include "firmware/deviceprofile.h"

#include <QString>
#include <QStringList>

#include <functional>

// The probe and the model request on one port, as the factory asks them,
// run on a thread of their own that the caller waits for a bounded time. A
// serial driver may hold an open, a read or a close for as long as it likes
// (a Bluetooth port while it pages its device; wine on a UART whose line
// stays silent): one such port must not hold up the search of the others.
class PortProbe
{
public:
    struct Outcome
    {
        int result = -5;             // as ConnectionFactory::getConnectionID
        int answerSize = 0;          // bytes answered to the probe (0: nothing)
        PortAccess::Problem problem; // why the port could not be used (-2)
        const DeviceProfile *profile = nullptr;  // the answering panel's; null for no known model
        int otherDeviceId = -1;      // a bootloader of another controller answered the probe with its ID
    };

    // Probes with the bytes of `profile`, the controller every known panel carries.
    static Outcome identify(const SerialPortEntry &entry, const Timings &timings,
                            const DeviceProfile &profile = DeviceProfile::supported());

    // For tests: called on the probe's thread before the port is opened,
    // to stand for a driver that does not return.
    static void setStallForTests(const std::function<void(const QString &location)> &stall);
    // For tests and the demo: the open of these ports is refused as the
    // system refuses a port that another program holds ("access denied").
    static void setRefusedForTests(const QStringList &locations);
};
