#include "pages/installpage.h"
#include "ui_installpage.h"

#include <QAbstractButton>
#include <QDebug>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWizard>

#include "pages/pageids.h"
#include "device/errorcodes.h"
#include "library/library.h"
#include "library/writer.h"

InstallPage::InstallPage(QWidget *parent)
    : MyWizardPage(parent)
    , m_ui(new Ui::InstallPage)
{
    m_ui->setupUi(this);
    setCommitPage(true);
    connect(this, &InstallPage::updated, this, &InstallPage::doUpdate);
    emit completeChanged();
}

InstallPage::~InstallPage()
{
    delete m_writer;
    delete m_ui;
}

QString InstallPage::chosenPort() const
{
    const int index = wizard() ? wizard()->property("port").toInt() : -1;
    const QList<QString> ports = library.foundPorts();
    return (index >= 0 && index < ports.size()) ? ports.at(index) : QString();
}

void InstallPage::initializePage()
{
    // A second update in the same window starts with a clean slate.
    status = 0;
    m_outcome = UpdateEngine::Outcome();
    // Called on the update's thread: the signal queues each value for the
    // window's. The page outlives the update (its destructor waits for it),
    // but not the library, so the callback must not outlive the page.
    library.setCallback(chosenPort(), [this](int value) { emit updated(value); });
    library.setKeepAlive(false);
    QTimer::singleShot(0, this, &InstallPage::start);
}

bool InstallPage::isComplete() const
{
    // Never: the page leaves only by its own call of next().
    return complete;
}

int InstallPage::nextId() const
{
    // A block that did not verify leaves the panel without the firmware just
    // as surely as a block that could not be written.
    if (!m_outcome.ok || status == -2 || status == -3) {
        wizard()->setProperty("error", WriteFailed);
        return WizardPageIds::Page_Error;
    }
    return WizardPageIds::Page_Success;
}

void InstallPage::start()
{
    wizard()->button(QWizard::BackButton)->setEnabled(false);
    m_waitCursor.show();
    m_guard = std::make_unique<WriteGuard>(window());
    library.clearLastError();

    const QString portName = chosenPort();
    if (portName.isEmpty()) {
        qDebug() << "InstallPage::start(): no found panel at index" << wizard()->property("port").toInt();
        m_outcome.ok = false;
        finish(false);
        return;
    }

    auto *thread = new QThread;
    thread->setObjectName(QStringLiteral("writer"));  // in debuggers and the system's thread list
    qDebug() << "InstallPage::start() <-" << portName;
    auto *writer = new Writer(portName, thread);
    m_writer = writer;
    connect(thread, &QThread::started, writer, &Writer::process);
    connect(writer, &Writer::finished, this, &InstallPage::writeFinished);
    connect(writer, &Writer::finished, thread, &QThread::quit);
    thread->start(QThread::InheritPriority);
}

void InstallPage::doUpdate(int value)
{
    switch (value) {
    case 0:
        break;
    case -1:
        m_ui->progressBar->setTextVisible(true);
        m_ui->progressBar->setValue(100);
        m_ui->progressBar->setMaximum(100);
        break;
    case -2:
    case -3:
        status = value;
        break;
    default:
        // The value before the maximum: the form's range -1..-1 refuses the
        // first value, and from then on the range is -1..100.
        m_ui->progressBar->setTextVisible(true);
        m_ui->progressBar->setValue(value);
        m_ui->progressBar->setMaximum(100);
        break;
    }
}

void InstallPage::writeFinished(QObject *worker, bool result)
{
    qDebug() << "writeFinished() called with" << result;
    if (auto *writer = qobject_cast<Writer *>(worker))
        m_outcome = writer->outcome();
    m_outcome.ok = m_outcome.ok && result;
    // The thread's quit() is connected after this slot and is never reached
    // once the worker is gone; the worker ends its thread as it goes.
    delete worker;
    finish(result);
}

void InstallPage::finish(bool result)
{
    if (!result)
        status = -2;
    wizard()->button(QWizard::BackButton)->setEnabled(true);
    m_guard.reset();
    m_waitCursor.restore();
    wizard()->next();
}
