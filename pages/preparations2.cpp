#include "pages/preparations2.h"
#include "ui_preparations2.h"

Preparations2::Preparations2(QWidget *parent)
    : QWizardPage(parent)
    , m_ui(new Ui::Preparations2)
{
    m_ui->setupUi(this);
}

Preparations2::~Preparations2()
{
    delete m_ui;
}
