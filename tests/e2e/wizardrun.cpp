#include "wizardrun.h"

#include "device/timings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "device/devicepath.h"
#include "device/portlister.h"
#include "device/portprobe.h"
#include "library/library.h"
#include "sim/pseudoterminal.h"

WizardRun::WizardRun()
    : m_wizard(std::make_unique<BootloaderWizard>())
{
    // A silent port or panel costs a few hundred milliseconds, not seconds.
    Timings &t = Timings::current();
    t.answerMs = 300;
    t.linkTimeoutMs = 150;
    t.eraseMsPerPage = 0;
    t.scanDisplayMs = 100;
    t.wakeUpPauseMs = 0;
    m_wizard->show();
}

WizardRun::~WizardRun()
{
    m_wizard.reset();
    PortProbe::setStallForTests({});
    m_release->release(1000);
    library.setKeepAlive(false);
    for (const QString &port : library.foundPorts())
        library.closePort(port);
    PortLister::clearOverride();
    Timings::current() = Timings();
}

PanelOptions WizardRun::quickPanel(int modelByte)
{
    PanelOptions options;
    options.paced = false;
    options.modelByte = modelByte;
    return options;
}

VirtualPanel *WizardRun::addPanel(const PanelOptions &options)
{
    auto panel = std::make_unique<VirtualPanel>(options);
    if (!panel->start())
        return nullptr;
    m_paths.append(panel->devicePath());
    m_panels.push_back(std::move(panel));
    return m_panels.back().get();
}

bool WizardRun::addSilentPort()
{
    auto terminal = std::make_unique<PseudoTerminal>();
    if (!terminal->open())
        return false;
    m_paths.append(terminal->slavePath());
    m_silent.push_back(std::move(terminal));
    return true;
}

bool WizardRun::addHungPort()
{
    if (!addSilentPort())
        return false;
    const QString hung = m_paths.last();
    PortProbe::setStallForTests([hung, release = m_release](const QString &location) {
        if (location == hung)
            release->acquire();
    });
    return true;
}

void WizardRun::listPorts()
{
    QList<SerialPortEntry> ports;
    for (const QString &path : qAsConst(m_paths))
        ports.append({DevicePath::nameFromLocation(path), path});
    PortLister::setOverride(ports);
}

bool WizardRun::startSearch(const QList<PanelOptions> &panels)
{
    for (const PanelOptions &options : panels)
        if (!addPanel(options))
            return false;
    listPorts();
    return walkToScan();
}

bool WizardRun::reachSetup(const QList<PanelOptions> &panels)
{
    return startSearch(panels) && waitForPage(BootloaderWizard::Page_Setup, 15000);
}

bool WizardRun::walkToScan()
{
    auto *terms = child<QCheckBox>(BootloaderWizard::Page_Intro, "acceptanceCheckBox");
    if (!terms)
        return false;
    terms->setChecked(true);
    while (m_wizard->currentId() != BootloaderWizard::Page_Scan) {
        const int before = m_wizard->currentId();
        m_wizard->next();
        if (m_wizard->currentId() == before)
            return false;
    }
    return true;
}

bool WizardRun::waitForPage(int id, int timeoutMs)
{
    return QTest::qWaitFor([&] { return m_wizard->currentId() == id; }, timeoutMs);
}

void WizardRun::typeFile(const QString &path)
{
    auto *field = child<QLineEdit>(BootloaderWizard::Page_Setup, "hexLineEdit");
    field->setText(path);
    emit field->editingFinished();
}

bool WizardRun::commit(const QString &path)
{
    if (m_wizard->currentId() != BootloaderWizard::Page_Setup)
        return false;
    typeFile(path);
    if (!QTest::qWaitFor([&] { return enabled(QWizard::NextButton); }, 10000))
        return false;
    click(QWizard::NextButton);
    return m_wizard->currentId() == BootloaderWizard::Page_Install;
}

QString WizardRun::shownError() const
{
    auto *label = child<QLabel>(BootloaderWizard::Page_Error, "error");
    return label ? label->text() : QString();
}
