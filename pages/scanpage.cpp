#include "pages/scanpage.h"
#include "ui_scanpage.h"

#include <QAbstractButton>
#include <QDebug>
#include <QThread>
#include <QTimer>
#include <QWizard>

#include "pages/pageids.h"
#include "device/errorcodes.h"
#include "device/portlister.h"
#include "device/timings.h"
#include "library/library.h"
#include "library/scanner.h"

ScanPage::ScanPage(QWidget *parent)
    : MyWizardPage(parent)
    , m_ui(new Ui::ScanPage)
{
    m_ui->setupUi(this);
}

ScanPage::~ScanPage()
{
    delete m_ui;
}

void ScanPage::initializePage()
{
    ++m_visit;
    // From the event loop, so that the page is on screen before the search
    // blocks it.
    startLater(0);
    clock.start();
}

int ScanPage::nextId() const
{
    if (errorCode == NoError)
        return WizardPageIds::Page_Setup;
    wizard()->setProperty("error", errorCode);
    wizard()->setProperty("errorDetail", m_errorDetail);
    return WizardPageIds::Page_Error;
}

// A port another program holds, or that the system would not open, is named
// with what to do: the driver is fine, the technician need not reinstall it.
QString ScanPage::portsNotOpened() const
{
    QStringList lines;
    const QHash<QString, PortAccess::Problem> problems = library.portProblems();
    QStringList ports = problems.keys();
    ports.sort();
    for (const QString &port : qAsConst(ports)) {
        switch (problems.value(port).cause) {
        case PortAccess::InUse:
            lines << tr("A porta %1 está em uso por outro programa. Feche-o e clique em Anterior para procurar "
                        "novamente.").arg(port);
            break;
        case PortAccess::PermissionDenied:
            lines << tr("O sistema não permitiu abrir a porta %1. Peça acesso às portas seriais e clique em Anterior "
                        "para procurar novamente.").arg(port);
            break;
        default:
            break;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

bool ScanPage::isCurrentPage() const
{
    return wizard() && wizard()->currentPage() == this;
}

void ScanPage::startLater(int ms)
{
    const int visit = m_visit;
    QTimer::singleShot(ms, this, [this, visit] {
        if (visit == m_visit && isCurrentPage())
            start();
    });
}

void ScanPage::start()
{
    errorCode = NoError;
    if (!Library::start()) {
        errorCode = FileAccessFailed;
        scanFinished();
        return;
    }
    wizard()->button(QWizard::NextButton)->setEnabled(false);
    wizard()->button(QWizard::CommitButton)->setEnabled(false);
    scan();
}

void ScanPage::scan()
{
    if (pending > 0) {
        qDebug() << "Scanner is busy from previous invocation. Waiting for a little while...";
        startLater(Timings::current().scanDisplayMs);
        // The old scanners' reports end nothing; the retry searches anew.
        stopped = true;
        return;
    }
    // Every scanner of an earlier search has reported, so the reports from
    // here on are this search's own.
    stopped = false;

    qDebug() << "ScanPage::scan started.";
    library.reset();
    m_waitCursor.show();

    // The factory lists the ports the same way, so the two lists agree.
    const QList<SerialPortEntry> ports = PortLister::availablePorts();
    pending = ports.size();
    if (ports.isEmpty()) {
        // No scanner will report: end the search as the last one would.
        qDebug() << "ScanPage::scan(): no serial port to search.";
        scanFinished(nullptr);
        return;
    }
    for (const SerialPortEntry &port : ports)
        runConcurrentScan(port.portName);
}

void ScanPage::runConcurrentScan(const QString &port)
{
    qDebug() << "ScanPage::runConcurrentScan() on [" << port << "]";
    auto *thread = new QThread;
    auto *scanner = new Scanner(port, thread);
    connect(thread, &QThread::started, scanner, &Scanner::process);
    connect(scanner, &Scanner::finished, thread, &QThread::quit);
    connect(scanner, &Scanner::finished, this, qOverload<QObject *>(&ScanPage::scanFinished));
    thread->start(QThread::InheritPriority);
}

void ScanPage::scanFinished(QObject *scanner)
{
    if (pending > 0) {
        delete scanner;
        --pending;
    }
    if (pending != 0 || stopped || !isCurrentPage())
        return;

    if (clock.elapsed() >= Timings::current().scanDisplayMs) {
        scanFinished();
        return;
    }
    qDebug() << "Scanning was too fast. Wait for a little while as feedback.";
    // A wait that outlives the search it belongs to (the technician stepped
    // back, or came in again) moves nothing.
    const int visit = m_visit;
    QTimer::singleShot(Timings::current().scanDisplayMs, this, [this, visit] {
        if (visit == m_visit && !stopped && isCurrentPage())
            scanFinished();
    });
}

void ScanPage::scanFinished()
{
    qDebug() << "ScanPage::scanFinished() called.";
    wizard()->button(QWizard::NextButton)->setEnabled(true);
    m_waitCursor.restore();
    stopped = false;
    if (errorCode == NoError && library.foundPorts().isEmpty())
        errorCode = DeviceNotFound;
    m_errorDetail = errorCode == DeviceNotFound ? portsNotOpened() : QString();
    wizard()->next();
}

void ScanPage::onBackButton()
{
    ++m_visit;
    stopped = true;
    m_waitCursor.restore();
    if (wizard())
        wizard()->button(QWizard::NextButton)->setEnabled(true);
}

void ScanPage::revisit()
{
    initializePage();
}
