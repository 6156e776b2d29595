#include "pages/installpage.h"
#include "ui_installpage.h"

InstallPage::InstallPage(QWidget *parent)
    : MyWizardPage(parent)
    , m_ui(new Ui::InstallPage)
{
    m_ui->setupUi(this);
    setCommitPage(true);
}

InstallPage::~InstallPage()
{
    delete m_ui;
}
