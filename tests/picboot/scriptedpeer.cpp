#include "scriptedpeer.h"

#include <QMutexLocker>
#include <QThread>

void ScriptedPeer::run(std::function<void(ScriptedPeer &)> script)
{
    wait();
    m_thread = std::thread([this, script]() { script(*this); });
}

void ScriptedPeer::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

QByteArray ScriptedPeer::readFrame(int timeoutMs)
{
    const QByteArray wire = m_port.readFrame(timeoutMs);
    if (!wire.isEmpty()) {
        QMutexLocker lock(&m_mutex);
        m_frames.append(wire);
    }
    return wire;
}

void ScriptedPeer::trickle(const QByteArray &bytes, int gapMs)
{
    for (int i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            QThread::msleep(gapMs);
        send(bytes.mid(i, 1));
    }
}

QList<QByteArray> ScriptedPeer::frames() const
{
    QMutexLocker lock(&m_mutex);
    return m_frames;
}
