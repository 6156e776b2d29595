#include "pages/preparations3.h"
#include "ui_preparations3.h"

Preparations3::Preparations3(QWidget *parent)
    : QWizardPage(parent)
    , m_ui(new Ui::Preparations3)
{
    m_ui->setupUi(this);
}

Preparations3::~Preparations3()
{
    delete m_ui;
}
