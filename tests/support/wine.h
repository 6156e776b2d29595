#pragma once

#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A wine prefix of the build's own and the Windows programs run in it: the
// way the tests see what a technician's Windows would do.
class Wine
{
public:
    struct Result
    {
        int status = -1;  // the program's exit status; -1 when it did not end in time
        QString out;      // standard output, line ends as Unix ones
        QString err;
        qint64 ms = 0;
    };

    // Empty when wine can run here, else why not.
    static QString missing();
    // The path as Windows programs under wine name it (Z:\...).
    static QString windowsPath(const QString &unixPath);

    explicit Wine(const QString &prefix);

    // Makes the prefix on first use; false when wineboot failed.
    bool prepare();
    // Lists each path as the named COM port, as a Windows machine's registry
    // lists its ports (COM12 opens as \\.\COM12), in place of any mapped
    // before, and sets the user's Windows environment variables given; the
    // wine server restarts so that the next program sees them.
    bool mapPorts(const QMap<QString, QString> &comToPath, const QMap<QString, QString> &variables = {});
    // Imports registry keys and values, written as REGEDIT4 lines without
    // the header.
    bool importRegistry(const QByteArray &text);
    // Records COM as the port of a USB bridge plugged in at the location
    // path, as the bridge's driver has Windows record it in the device tree.
    bool plugIn(const QString &com, const QString &locationPath);
    // Keeps the wine server running between programs, as Windows has no
    // server to start; until the next mapPorts().
    bool keepServer() const;
    // For the programs run from now on.
    void setEnvironment(const QString &name, const QString &value);
    // Standard input for the programs run from now on; a terminal gives them
    // a console. Empty: none.
    void setStandardInput(const QString &path) { m_input = path; }
    Result run(const QString &program, const QStringList &arguments, int timeoutMs = 120000) const;
    // The Windows user's own folder in the prefix (C:\users\<name>).
    QString userFolder() const;

private:
    bool server(const QString &option) const;

    QString m_prefix;
    QProcessEnvironment m_env;
    QString m_input;
};
