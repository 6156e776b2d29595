#include "pages/setuppage.h"
#include "ui_setuppage.h"

SetupPage::SetupPage(QWidget *parent)
    : MyWizardPage(parent)
    , m_ui(new Ui::SetupPage)
{
    m_ui->setupUi(this);
}

SetupPage::~SetupPage()
{
    delete m_ui;
}
