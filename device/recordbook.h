#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>

// The record a run keeps, a factory's trace of every panel: one JSON line a
// panel and attempt, each whole and on disk before its append returns. An
// append that fails part-way is undone (the file back to its length before,
// under a lock every appender of ours takes), and every append starts on a
// fresh line whatever the file ends with, so no line is ever torn. A line
// that could not be written is kept and tried again, first, at the next
// append; what is still unwritten at the end is the caller's to show.
class RecordBook
{
public:
    // An empty path records nothing.
    explicit RecordBook(const QString &path = QString());

    QString path() const { return m_path; }
    // Whether lines can be appended (the file is made if it is missing),
    // and why not, in the system's words.
    bool check(QString *why) const;
    // Appends the line after those still unwritten (an empty line: only
    // those); false, with why, while any of them is still unwritten. With
    // `claim`, only when the claim was not taken yet, taking it under the
    // same lock: whoever else holds it has appended its line by then. Any
    // thread.
    bool append(const QByteArray &line, QString *why, std::atomic<bool> *claim = nullptr);
    QList<QByteArray> unwritten() const;

    // For tests where the machine has no small file system to fill: the
    // appends fail with "No space left on device" once the file would pass
    // this many bytes, after writing what fits; -1 none.
    static void setSpaceForTests(qint64 bytes);

private:
    // The one append, as each system makes it whole and durable.
    static bool appendWhole(const QString &path, const QByteArray &bytes, QString *why);
    static bool canAppend(const QString &path, QString *why);

    QString m_path;
    mutable QMutex m_mutex;
    QList<QByteArray> m_pending;
};
