#include "device/recordbook.h"

#include <QMutexLocker>

RecordBook::RecordBook(const QString &path)
    : m_path(path)
{
}

bool RecordBook::check(QString *why) const
{
    return m_path.isEmpty() || canAppend(m_path, why);
}

bool RecordBook::append(const QByteArray &line, QString *why, std::atomic<bool> *claim)
{
    if (m_path.isEmpty())
        return true;
    QMutexLocker lock(&m_mutex);
    if (claim && claim->exchange(true))
        return true;
    if (!line.isEmpty())
        m_pending.append(line.endsWith('\n') ? line : line + '\n');
    while (!m_pending.isEmpty()) {
        if (!appendWhole(m_path, m_pending.first(), why))
            return false;
        m_pending.removeFirst();
    }
    return true;
}

QList<QByteArray> RecordBook::unwritten() const
{
    QMutexLocker lock(&m_mutex);
    return m_pending;
}
