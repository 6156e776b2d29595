#include "app/bootloaderwizard.h"
#include "ui_bootloaderwizard.h"

#include <QAbstractButton>
#include <QDebug>
#include <QFile>
#include <QIcon>

#include "library/driverdetection.h"

BootloaderWizard::BootloaderWizard(QWidget *parent)
    : QWizard(parent)
    , m_ui(new Ui::BootloaderWizard)
{
    // Detection runs once, before anything is shown; nothing changes it later.
    m_drivers = detectDrivers();

    m_ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/images/bootloaderwizardapp.icon")));

    setPage(Page_Error, &m_errorPage);
    setPage(Page_Intro, &m_introPage);
    setPage(Page_Preparations1, &m_preparations1);
    setPage(Page_Preparations2, &m_preparations2);
    setPage(Page_Preparations3, &m_preparations3);
    setPage(Page_Preparations4, &m_preparations4);
    setPage(Page_Scan, &m_scanPage);
    setPage(Page_Setup, &m_setupPage);
    setPage(Page_Install, &m_installPage);
    setPage(Page_Success, &m_successPage);
    // The error page has the lowest id but must not open the run.
    setStartId(Page_Intro);

    // Connected after QWizard's own handler, so the wizard has already
    // stepped back when backButtonPressed() runs.
    connect(button(QWizard::BackButton), &QAbstractButton::clicked,
            this, &BootloaderWizard::backButtonPressed);

    // The buttons carry no text: the style sheet draws each one as an image
    // with its label in it, chosen by these object names.
    setButtonText(QWizard::CancelButton, QString());
    setButtonText(QWizard::BackButton, QString());
    setButtonText(QWizard::NextButton, QString());
    setButtonText(QWizard::FinishButton, QString());
    setButtonText(QWizard::CommitButton, QString());
    button(QWizard::CancelButton)->setObjectName(QStringLiteral("qt_wizard_cancel"));
    button(QWizard::BackButton)->setObjectName(QStringLiteral("qt_wizard_back"));
    button(QWizard::NextButton)->setObjectName(QStringLiteral("qt_wizard_next"));
    button(QWizard::FinishButton)->setObjectName(QStringLiteral("qt_wizard_finish"));
    button(QWizard::CommitButton)->setObjectName(QStringLiteral("qt_wizard_commit"));

    loadStyleSheet();
}

BootloaderWizard::~BootloaderWizard()
{
    delete m_ui;
}

void BootloaderWizard::loadStyleSheet()
{
    QFile file(QStringLiteral(":/stylesheet/style.qss"));
    if (!file.open(QIODevice::ReadOnly)) {
        // Still usable without it: the buttons are merely blank.
        qDebug() << "Unable to open :/stylesheet/style.qss";
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    setStyleSheet(QString::fromUtf8(bytes.constData(), int(qstrnlen(bytes.constData(), uint(bytes.size())))));
}

void BootloaderWizard::backButtonPressed()
{
    qDebug() << "backButtonPressed(int) called.";

    // The page one id above the current one is taken as the page just left;
    // that holds whenever the two pages have neighbouring ids.
    if (auto *left = dynamic_cast<MyWizardPage *>(page(currentId() + 1)))
        left->onBackButton();
    if (auto *current = dynamic_cast<MyWizardPage *>(page(currentId())))
        current->revisit();
}
