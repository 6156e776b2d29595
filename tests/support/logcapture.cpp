#include "logcapture.h"

#include <QMutexLocker>

#include <algorithm>

namespace {
LogCapture *g_active = nullptr;
} // namespace

LogCapture::LogCapture()
{
    Q_ASSERT(!g_active);
    g_active = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    g_active = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    LogCapture *active = g_active;
    if (!active)
        return;
    if (type == QtDebugMsg) {
        QMutexLocker lock(&active->m_mutex);
        active->m_lines.append(message);
    }
    if (active->m_previous)
        active->m_previous(type, context, message);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&m_mutex);
    return m_lines;
}

bool LogCapture::contains(const QString &line) const { return count(line) > 0; }
bool LogCapture::containsPrefix(const QString &prefix) const { return countPrefix(prefix) > 0; }
int LogCapture::count(const QString &line) const { return lines().count(line); }

int LogCapture::countPrefix(const QString &prefix) const
{
    const QStringList all = lines();
    return int(std::count_if(all.begin(), all.end(), [&prefix](const QString &l) { return l.startsWith(prefix); }));
}

void LogCapture::clear()
{
    QMutexLocker lock(&m_mutex);
    m_lines.clear();
}
