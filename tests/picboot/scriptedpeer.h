#pragma once

#include "support/rawport.h"

#include <QByteArray>
#include <QList>
#include <QMutex>

#include <functional>
#include <thread>

// The device end of a pseudo-terminal, driven by a script on a thread of its
// own: it reads request frames as they come off the line and answers with
// exactly the bytes (and the pauses) a test asks for. For the faults a
// well-behaved panel never shows: trickled replies, garbage, broken
// checksums, a line that goes away.
class ScriptedPeer
{
public:
    ~ScriptedPeer() { wait(); }

    bool open() { return m_port.openDeviceEnd(&m_path); }
    QByteArray path() const { return m_path; }

    // Runs script on the peer's thread; wait() joins it.
    void run(std::function<void(ScriptedPeer &)> script);
    void wait();

    // Script side.
    QByteArray readFrame(int timeoutMs = 2000);  // empty on silence; kept for frames()
    QByteArray readAny(int timeoutMs) { return m_port.read(1 << 20, timeoutMs); }
    void send(const QByteArray &bytes) { m_port.write(bytes); }
    void trickle(const QByteArray &bytes, int gapMs);
    void hangUp() { m_port.close(); }

    QList<QByteArray> frames() const;

private:
    RawPort m_port;
    QByteArray m_path;
    std::thread m_thread;
    mutable QMutex m_mutex;
    QList<QByteArray> m_frames;
};
