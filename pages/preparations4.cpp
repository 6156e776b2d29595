#include "pages/preparations4.h"
#include "ui_preparations4.h"

Preparations4::Preparations4(QWidget *parent)
    : QWizardPage(parent)
    , m_ui(new Ui::Preparations4)
{
    m_ui->setupUi(this);
}

Preparations4::~Preparations4()
{
    delete m_ui;
}
