#include "pages/preparations1.h"
#include "ui_preparations1.h"

Preparations1::Preparations1(QWidget *parent)
    : QWizardPage(parent)
    , m_ui(new Ui::Preparations1)
{
    m_ui->setupUi(this);
}

Preparations1::~Preparations1()
{
    delete m_ui;
}
