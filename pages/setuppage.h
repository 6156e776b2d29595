#pragma once

#include "app/mywizardpage.h"

namespace Ui {
class SetupPage;
}

// The choice of the found panel and of the firmware file. The form's
// widgets are connected to "on_" slots by name.
class SetupPage : public MyWizardPage
{
    Q_OBJECT

public:
    explicit SetupPage(QWidget *parent = nullptr);
    ~SetupPage() override;

private:
    Ui::SetupPage *m_ui;
};
