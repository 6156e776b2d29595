#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>

#include <functional>
#include <thread>

// The device end of a pseudo-terminal, driven by a script on a thread of its
// own: it reads request frames byte for byte as they come off the line and
// answers with exactly the bytes (and the pauses) a test asks for. For the
// faults a well-behaved panel never shows: trickled replies, garbage,
// broken checksums, a line that goes away. Frames come from BootFrame
// (tests/support), written apart from the library's framing.
class ScriptedPeer
{
public:
    ScriptedPeer();
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer &) = delete;
    ScriptedPeer &operator=(const ScriptedPeer &) = delete;

    bool open();
    QByteArray path() const { return m_path; }

    // Runs script on the peer's thread; wait() joins it.
    void run(std::function<void(ScriptedPeer &)> script);
    void wait();

    // Script side.
    QByteArray readFrame(int timeoutMs = 2000);  // wire bytes up to ETX; empty on silence
    QByteArray readAny(int timeoutMs);           // whatever arrives within timeoutMs
    void send(const QByteArray &bytes);
    void trickle(const QByteArray &bytes, int gapMs);
    void hangUp();                               // the line goes away

    QList<QByteArray> frames() const;            // every frame readFrame returned

private:
    int readByte(int timeoutMs);

    int m_master = -1;
    QByteArray m_path;
    std::thread m_thread;
    mutable QMutex m_mutex;
    QList<QByteArray> m_frames;
};
