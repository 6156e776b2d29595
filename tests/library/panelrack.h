#pragma once

// Virtual panels on pseudo-terminals, published under names of the test's
// choosing through the port lister, plus helpers the Library tests share.

#include "device/portlister.h"
#include "library/library.h"
#include "sim/virtualpanel.h"
#include "support/intelhex.h"
#include "support/process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class PanelRack
{
public:
    PanelRack() : m_dir(QDir::tempPath() + QStringLiteral("/wizard-library-XXXXXX")) {}
    ~PanelRack() { PortLister::clearOverride(); }

    // Starts a panel and makes it reachable as `name` (a symbolic link to its
    // pseudo-terminal, so the names can be chosen). Returns null on failure.
    VirtualPanel *add(const QString &name, const PanelOptions &options = unpaced())
    {
        auto panel = std::make_unique<VirtualPanel>(options);
        if (!m_dir.isValid() || !panel->start())
            return nullptr;
        if (!QFile::link(panel->devicePath(), path(name)))
            return nullptr;
        m_panels.push_back(std::move(panel));
        m_names.append(path(name));
        return m_panels.back().get();
    }

    // The port name the Library gets for `name`: the link's absolute path.
    QString path(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }

    // Lists the panels' ports, plus `extra` names that lead nowhere.
    void publish(const QStringList &extra = {}) const
    {
        QList<SerialPortEntry> ports;
        for (const QString &n : m_names + extra)
            ports.append(SerialPortEntry{n, n});
        PortLister::setOverride(ports);
    }

    // The usual start of a Library test: these panels alone listed, a fresh
    // table, and each of them found. False when one is not.
    bool scan(const QStringList &names)
    {
        publish();
        library.reset();
        for (const QString &n : names)
            if (!library.addPort(path(n)))
                return false;
        return true;
    }

    static PanelOptions unpaced()
    {
        PanelOptions options;
        options.paced = false;
        return options;
    }

private:
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<VirtualPanel>> m_panels;
    QStringList m_names;
};
