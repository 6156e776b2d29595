#include "pages/errorpage.h"
#include "ui_errorpage.h"

#include <QAbstractButton>
#include <QDebug>
#include <QTimer>
#include <QWizard>

#include "device/errorcodes.h"

ErrorPage::ErrorPage(QWidget *parent)
    : MyWizardPage(parent)
    , m_ui(new Ui::ErrorPage)
{
    m_ui->setupUi(this);
}

ErrorPage::~ErrorPage()
{
    delete m_ui;
}

void ErrorPage::initializePage()
{
    revisit();
}

void ErrorPage::revisit()
{
    if (!wizard())
        return;
    const int code = wizard()->property("error").toInt();
    // Every code written into "error" is one of ours; anything else would be
    // a fault elsewhere, shown as such rather than read out of bounds.
    const QString message = (code >= 0 && code < ErrorCodeCount)
        ? errorMessages[code]
        : tr("Erro %1.").arg(code);
    m_ui->error->setText(message);
    qDebug() << "ErrorPage():" << message;
    // Under the message, what the page that failed knows more: with it the
    // page moves up to make room.
    const QString detail = wizard()->property("errorDetail").toString();
    m_ui->errorDetail->setText(detail);
    m_ui->errorDetail->setVisible(!detail.isEmpty());
    QMargins margins = m_ui->verticalLayout_2->contentsMargins();
    margins.setTop(detail.isEmpty() ? 135 : 60);
    m_ui->verticalLayout_2->setContentsMargins(margins);
    if (!detail.isEmpty())
        qDebug().noquote() << "ErrorPage():" << detail;
    // The wizard sets up its buttons after entering the page, so Next is
    // disabled once control is back in the event loop.
    QTimer::singleShot(0, this, &ErrorPage::start);
}

void ErrorPage::start()
{
    if (wizard())
        wizard()->button(QWizard::NextButton)->setEnabled(false);
}
