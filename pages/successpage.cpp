#include "pages/successpage.h"
#include "ui_successpage.h"

SuccessPage::SuccessPage(QWidget *parent)
    : QWizardPage(parent)
    , m_ui(new Ui::SuccessPage)
{
    m_ui->setupUi(this);
}

SuccessPage::~SuccessPage()
{
    delete m_ui;
}
