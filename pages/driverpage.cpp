#include "pages/driverpage.h"
#include "ui_driverpage.h"

#include <QTimer>
#include <QWizard>

#include "pages/contacts.h"

DriverPage::DriverPage(QWidget *parent)
    : MyWizardPage(parent)
    , m_ui(new Ui::DriverPage)
{
    m_ui->setupUi(this);
    m_ui->label->setText(m_ui->label->text().arg(QString::fromUtf8(DriverDownloadUrl)));
}

DriverPage::~DriverPage()
{
    delete m_ui;
}

void DriverPage::initializePage()
{
    // Moving on from a timer lets the wizard finish entering this page first.
    if (wizard() && wizard()->property("drivers").toBool())
        QTimer::singleShot(0, this, &DriverPage::skip);
}

void DriverPage::revisit()
{
    // Stepping back onto a page that has nothing to offer goes one further.
    if (wizard() && wizard()->property("drivers").toBool())
        wizard()->back();
}

void DriverPage::skip()
{
    if (wizard())
        wizard()->next();
}
