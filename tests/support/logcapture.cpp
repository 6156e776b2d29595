#include "logcapture.h"

#include <QMutexLocker>

namespace {
LogCapture *g_active = nullptr;
QtMessageHandler g_previous = nullptr;
} // namespace

LogCapture::LogCapture()
{
    Q_ASSERT(!g_active);
    g_active = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
    g_previous = m_previous;
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    g_active = nullptr;
    g_previous = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (g_active && type == QtDebugMsg) {
        QMutexLocker lock(&g_active->m_mutex);
        g_active->m_lines.append(message);
    }
    if (g_previous)
        g_previous(type, context, message);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&m_mutex);
    return m_lines;
}

bool LogCapture::contains(const QString &line) const
{
    return count(line) > 0;
}

bool LogCapture::containsPrefix(const QString &prefix) const
{
    return countPrefix(prefix) > 0;
}

int LogCapture::count(const QString &line) const
{
    QMutexLocker lock(&m_mutex);
    return m_lines.count(line);
}

int LogCapture::countPrefix(const QString &prefix) const
{
    QMutexLocker lock(&m_mutex);
    int n = 0;
    for (const QString &l : m_lines)
        if (l.startsWith(prefix))
            ++n;
    return n;
}

void LogCapture::clear()
{
    QMutexLocker lock(&m_mutex);
    m_lines.clear();
}
