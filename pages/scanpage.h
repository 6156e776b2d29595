#pragma once

#include "app/mywizardpage.h"

namespace Ui {
class ScanPage;
}

// Searches every serial port for panels.
class ScanPage : public MyWizardPage
{
    Q_OBJECT

public:
    explicit ScanPage(QWidget *parent = nullptr);
    ~ScanPage() override;

private:
    Ui::ScanPage *m_ui;
};
