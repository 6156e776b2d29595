#include "wizardrun.h"

#include "device/timings.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "device/devicepath.h"
#include "device/portlister.h"
#include "library/library.h"
#include "sim/pseudoterminal.h"

WizardRun::WizardRun()
    : m_wizard(std::make_unique<BootloaderWizard>())
{
    // Nothing here times the search display or the pause after the wake-up.
    Timings::current().scanDisplayMs = 100;
    Timings::current().wakeUpPauseMs = 0;
    m_wizard->show();
}

WizardRun::~WizardRun()
{
    m_wizard.reset();
    library.setKeepAlive(false);
    for (const QString &port : library.foundPorts())
        library.closePort(port);
    PortLister::clearOverride();
}

PanelOptions WizardRun::quickPanel(int modelByte)
{
    PanelOptions options;
    options.paced = false;
    options.modelByte = modelByte;
    return options;
}

QString WizardRun::sampleFirmware()
{
    return QStringLiteral(WIZARD_SOURCE_DIR "/examples/alarm-panel-demo.hex");
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

QAbstractButton *WizardRun::button(int which) const
{
    return m_wizard->button(QWizard::WizardButton(which));
}

void WizardRun::click(int which) const
{
    button(which)->click();
}

bool WizardRun::enabled(int which) const
{
    return button(which)->isEnabled();
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

namespace {

// The file's bytes by file byte address; -1 where it gives none. Read apart
// from the wizard's own reader.
std::vector<int> fileImage(const QString &path, int size, QString *problem)
{
    std::vector<int> image(size_t(size), -1);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *problem = QStringLiteral("cannot read %1").arg(path);
        return image;
    }
    quint32 base = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QByteArray bytes = QByteArray::fromHex(line.mid(1));
        auto byte = [&](int i) { return quint32(quint8(bytes.at(i))); };
        const int type = bytes.at(3);
        if (type == 4 || type == 2)
            base = ((byte(4) << 8) | byte(5)) << (type == 4 ? 16 : 4);
        else if (type == 1)
            break;
        else if (type == 0)
            for (quint32 i = 0, at = base + ((byte(1) << 8) | byte(2)); i < byte(0); ++i)
                if (at + i < quint32(size))
                    image[at + i] = int(byte(4 + int(i)));
    }
    return image;
}

} // namespace

QString flashMismatch(const VirtualPanel &panel, const QString &hexPath)
{
    const QByteArray flash = panel.fileBytes();
    const int writable = int(VirtualPanel::kProtectedStart * 2);
    QString problem;
    const std::vector<int> file = fileImage(hexPath, flash.size(), &problem);
    if (!problem.isEmpty())
        return problem;
    if (flash.size() < writable)
        return QStringLiteral("the panel holds %1 bytes").arg(flash.size());

    for (int address = 8; address < writable; ++address) {
        const bool resetJump = address >= 0x200 && address < 0x208;   // moved there
        int expected = file[size_t(resetJump ? address - 0x200 : address)];
        if (expected < 0)
            expected = (address % 4 == 3) ? 0x00 : 0xFF;
        const int actual = quint8(flash.at(address));
        if (actual != expected)
            return QStringLiteral("file byte address 0x%1 (device 0x%2) holds %3, the file says %4")
                .arg(address, 0, 16).arg(address / 2, 0, 16).arg(actual, 2, 16, QLatin1Char('0'))
                .arg(expected, 2, 16, QLatin1Char('0'));
    }
    return QString();
}
