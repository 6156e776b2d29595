#pragma once

#include <QByteArray>
#include <QString>

// Why a file could not be read whole.
enum class ReadProblem { None, Missing, IsDirectory, TooLarge, Silent, Failed };

// Reads all of a file of at most `limit` bytes. A pipe or a device (<(cat
// fw.hex), /dev/stdin) is read as its data comes; one that yields nothing
// for idleMs (a named pipe nobody writes to) is given up as Silent, one that
// never ends (/dev/zero) as TooLarge. *detail gets the system's words where
// it gives any.
ReadProblem readWholeFile(const QString &path, qint64 limit, int idleMs, QByteArray *bytes, QString *detail);

// What the system calls the pipe at `path` ("pipe:[8917]" behind a
// /dev/fd link, or "pipe"); empty when it is not a pipe.
QString pipeName(const QString &path);
