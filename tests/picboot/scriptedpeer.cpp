#include "scriptedpeer.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

ScriptedPeer::ScriptedPeer() = default;

ScriptedPeer::~ScriptedPeer()
{
    wait();
    hangUp();
}

bool ScriptedPeer::open()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return false;
    const char *name = ptsname(m_master);
    if (!name)
        return false;
    m_path = name;
    // Raw from the start, so nothing the test sends is cooked before the
    // library opens the other end and sets it up itself.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0)
        return false;
    termios t;
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    ::close(slave);
    return true;
}

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

int ScriptedPeer::readByte(int timeoutMs)
{
    if (m_master < 0)
        return -1;
    pollfd p{m_master, POLLIN, 0};
    for (;;) {
        const int r = poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return -1;
        unsigned char c;
        const ssize_t n = ::read(m_master, &c, 1);
        if (n == 1)
            return c;
        if (n < 0 && errno == EINTR)
            continue;
        // EIO: nobody has the other end open (any more); keep waiting
        // until the time-out, as a line without a host would.
        QThread::msleep(5);
        timeoutMs -= 5;
        if (timeoutMs <= 0)
            return -1;
    }
}

QByteArray ScriptedPeer::readFrame(int timeoutMs)
{
    QByteArray wire;
    int stx = 0;
    bool inPacket = false;
    bool escaped = false;
    for (;;) {
        const int b = readByte(timeoutMs);
        if (b < 0)
            return QByteArray();
        wire.append(char(b));
        if (!inPacket) {
            stx = b == 0x55 ? stx + 1 : 0;
            if (stx == 2)
                inPacket = true;
            continue;
        }
        if (escaped) {
            escaped = false;
        } else if (b == 0x05) {
            escaped = true;
        } else if (b == 0x04) {
            QMutexLocker lock(&m_mutex);
            m_frames.append(wire);
            return wire;
        }
    }
}

QByteArray ScriptedPeer::readAny(int timeoutMs)
{
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const int left = timeoutMs - int(timer.elapsed());
        if (left <= 0)
            return got;
        const int b = readByte(left);
        if (b >= 0)
            got.append(char(b));
    }
}

void ScriptedPeer::send(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0 && m_master >= 0) {
        const ssize_t n = ::write(m_master, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= n;
    }
}

void ScriptedPeer::trickle(const QByteArray &bytes, int gapMs)
{
    for (int i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            QThread::msleep(gapMs);
        send(bytes.mid(i, 1));
    }
}

void ScriptedPeer::hangUp()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

QList<QByteArray> ScriptedPeer::frames() const
{
    QMutexLocker lock(&m_mutex);
    return m_frames;
}
