#pragma once

#include "app/mywizardpage.h"

namespace Ui {
class InstallPage;
}

// Erases, writes and verifies the chosen panel. A commit page: once
// the work starts there is no way back.
class InstallPage : public MyWizardPage
{
    Q_OBJECT

public:
    explicit InstallPage(QWidget *parent = nullptr);
    ~InstallPage() override;

private:
    Ui::InstallPage *m_ui;
};
