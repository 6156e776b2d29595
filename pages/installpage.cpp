#include "pages/installpage.h"
#include "ui_installpage.h"

#include <QAbstractButton>
#include <QDebug>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWizard>

#include "app/bootloaderwizard.h"
#include "device/errorcodes.h"
#include "library/library.h"
#include "library/writer.h"
#include "pages/inputdrain.h"

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
    // The library outlives the wizard; a callback left on a connection must
    // not reach a page that is gone.
    QPointer<InstallPage> page(this);
    library.setCallback(chosenPort(), [page](int value) {
        if (page)
            emit page->updated(value);
    });
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
    if (status == -2 || status == -3) {
        wizard()->setProperty("error", WriteFailed);
        return BootloaderWizard::Page_Error;
    }
    return BootloaderWizard::Page_Success;
}

void InstallPage::start()
{
    wizard()->button(QWizard::BackButton)->setEnabled(false);
    m_waitCursor.show();
    library.clearLastError();

    const QString portName = chosenPort();
    if (portName.isEmpty()) {
        qDebug() << "InstallPage::start(): no found panel at index" << wizard()->property("port").toInt();
        finish(false);
        return;
    }

    auto *thread = new QThread;
    thread->setObjectName(QStringLiteral("writer"));  // in debuggers and the system's thread list
    qDebug() << "InstallPage::start() <-" << portName;
    auto *writer = new Writer(portName, thread);
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
    m_waitCursor.restore();
    // The outcome page must be seen: what the technician pressed while the
    // job held the window is not an answer to it.
    InputDrain::drain();
    wizard()->next();
}
