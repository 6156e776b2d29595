#include "support/wine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>

QString Wine::missing()
{
    return QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty()
               ? QStringLiteral("wine is not installed (tools/quickstart.sh test installs it)")
               : QString();
}

QString Wine::windowsPath(const QString &unixPath)
{
    return QStringLiteral("Z:") + QDir::toNativeSeparators(QFileInfo(unixPath).absoluteFilePath());
}

Wine::Wine(const QString &prefix)
    : m_prefix(prefix)
    , m_env(QProcessEnvironment::systemEnvironment())
{
    m_env.insert(QStringLiteral("WINEPREFIX"), prefix);
    m_env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    // No .NET or Gecko prompts while the prefix is made.
    m_env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
}

void Wine::setEnvironment(const QString &name, const QString &value)
{
    m_env.insert(name, value);
}

Wine::Result Wine::run(const QString &program, const QStringList &arguments, int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(m_env);
    if (!m_input.isEmpty())
        process.setStandardInputFile(m_input);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("wine"), QStringList{program} + arguments);
    Result result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
    } else {
        result.status = process.exitCode();
    }
    result.ms = clock.elapsed();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput()).remove(QLatin1Char('\r'));
    result.err = QString::fromLocal8Bit(process.readAllStandardError()).remove(QLatin1Char('\r'));
    return result;
}

bool Wine::prepare()
{
    if (QFile::exists(m_prefix + QStringLiteral("/system.reg")))
        return true;
    return run(QStringLiteral("wineboot"), {QStringLiteral("-i")}, 300000).status == 0;
}

bool Wine::mapPorts(const QMap<QString, QString> &comToPath, const QMap<QString, QString> &variables)
{
    // Qt's own message handler writes to the debugger, not to a pipe, when
    // there is no console; wine passes no QT_ variable on from Linux.
    QByteArray text = "[HKEY_CURRENT_USER\\Environment]\r\n\"QT_FORCE_STDERR_LOGGING\"=\"1\"\r\n";
    for (auto it = variables.cbegin(); it != variables.cend(); ++it)
        text += "\"" + it.key().toLatin1() + "\"=\"" + it.value().toLatin1().replace("\\", "\\\\") + "\"\r\n";
    text += "\r\n[-HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n";
    for (auto it = comToPath.cbegin(); it != comToPath.cend(); ++it)
        text += "\"" + it.key().toLatin1() + "\"=\"" + it.value().toLatin1() + "\"\r\n";
    return importRegistry(text) && server(QStringLiteral("-k"));
}

bool Wine::importRegistry(const QByteArray &text)
{
    QTemporaryFile reg(QDir::tempPath() + QStringLiteral("/wine-XXXXXX.reg"));
    if (!reg.open())
        return false;
    reg.write("REGEDIT4\r\n\r\n" + text);
    reg.close();
    return run(QStringLiteral("regedit"), {QStringLiteral("/S"), windowsPath(reg.fileName())}).status == 0;
}

bool Wine::plugIn(const QString &com, const QString &locationPath)
{
    // Wine keeps a device's properties under its key, by format ID and
    // number: the location paths are a string list (DEVPROP_TYPE_STRING_LIST),
    // UTF-16 ending in two NULs.
    const QString list = locationPath + QString(2, QChar(0));
    const QByteArray paths = QByteArray(reinterpret_cast<const char *>(list.utf16()), list.size() * 2).toHex(',');
    const QByteArray device = "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60\\" + com.toLatin1();
    return importRegistry(device + "]\r\n\"ClassGUID\"=\"{4D36E978-E325-11CE-BFC1-08002BE10318}\"\r\n\r\n" + device
                          + "\\Device Parameters]\r\n\"PortName\"=\"" + com.toLatin1() + "\"\r\n\r\n" + device
                          + "\\Properties\\{a45c254e-df1c-4efd-8020-67d146a850e0}\\0025]\r\n@=hex(ffff2012):" + paths + "\r\n");
}

bool Wine::server(const QString &option) const
{
    QProcess server;
    server.setProcessEnvironment(m_env);
    server.start(QStringLiteral("wineserver"), {option});
    return server.waitForFinished(30000);
}

bool Wine::keepServer() const
{
    return server(QStringLiteral("-p"));
}

QString Wine::userFolder() const
{
    const QDir users(m_prefix + QStringLiteral("/drive_c/users"));
    for (const QString &name : users.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (name != QLatin1String("Public"))
            return users.filePath(name);
    return QString();
}
