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
    // The wizard sets up its buttons after entering the page, so Next is
    // disabled once control is back in the event loop.
    QTimer::singleShot(0, this, &ErrorPage::start);
}

void ErrorPage::start()
{
    if (wizard())
        wizard()->button(QWizard::NextButton)->setEnabled(false);
}
