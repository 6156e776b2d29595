#include "pages/scanpage.h"
#include "ui_scanpage.h"

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
