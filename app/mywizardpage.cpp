#include "app/mywizardpage.h"

MyWizardPage::MyWizardPage(QWidget *parent)
    : QWizardPage(parent)
{
}

void MyWizardPage::onBackButton()
{
}

void MyWizardPage::revisit()
{
}
