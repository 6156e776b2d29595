#include "heartbeat.h"

#include <QStringList>

Heartbeat::Heartbeat(int periodMs, QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(periodMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Heartbeat::beat);
}

void Heartbeat::start()
{
    m_clock.start();
    m_last = 0;
    m_timer.start();
}

void Heartbeat::stop()
{
    beat();
    m_timer.stop();
}

// A gap belongs to the stretch it ran in: the time up to a change goes to
// the page that held the thread, the time after it to the new one.
void Heartbeat::setStretch(const QString &name)
{
    beat();
    m_stretch = name;
}

void Heartbeat::beat()
{
    if (m_last < 0)
        return;
    const qint64 now = m_clock.elapsed();
    const qint64 gap = now - m_last;
    m_last = now;
    qint64 &own = m_byStretch[m_stretch];
    own = qMax(own, gap);
    if (gap > m_longest) {
        m_longest = gap;
        m_longestStretch = m_stretch;
    }
}

QString Heartbeat::summary() const
{
    QStringList parts;
    for (auto it = m_byStretch.constBegin(); it != m_byStretch.constEnd(); ++it)
        parts << QStringLiteral("%1 %2 ms").arg(it.key()).arg(it.value());
    parts.sort();
    return QStringLiteral("longest gap between heartbeats %1 ms, on the %2 page (%3)")
        .arg(m_longest).arg(m_longestStretch, parts.join(QStringLiteral(", ")));
}
