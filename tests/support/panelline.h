#pragma once

#include "sim/virtualpanel.h"
#include "support/rawport.h"

#include <memory>

// A virtual panel with one raw client on its line, for the tests that speak
// the bootloader's bytes to the panel directly. Waits are on conditions (a
// packet taken, bytes arrived); the fixed silences only ever confirm that
// nothing came.
class PanelLine
{
public:
    static constexpr int kWaitMs = 3000;    // for an answer that must come
    static constexpr int kSilenceMs = 150;  // for one that must not

    static const QByteArray kProbe;         // the scan's device-ID read, framed
    static const QByteArray kProbeReply;
    static const QByteArray kIdRequest;     // 55 AA

    static PanelOptions unpaced();
    bool start(const PanelOptions &options = unpaced());
    void stop();

    // One framed request and the payload of its answer.
    QByteArray exchange(const QByteArray &payload, bool *checksumOk = nullptr);
    // Raw bytes out; size bytes back, and whatever follows them at once.
    QByteArray rawExchange(const QByteArray &bytes, int size);
    // A framed request that the panel takes and leaves unanswered.
    bool noAnswerTo(const QByteArray &payload);

    std::unique_ptr<VirtualPanel> panel;
    RawPort port;
};
