#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the debug lines written while it is alive, so tests can check the
// exact texts. Lines still reach the previous handler (the console), which
// keeps failing tests readable. Only one capture may be alive at a time.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    bool contains(const QString &line) const;           // an exact line
    bool containsPrefix(const QString &prefix) const;   // a line starting so
    int count(const QString &line) const;
    int countPrefix(const QString &prefix) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable QMutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};
