#pragma once

#include "app/mywizardpage.h"

namespace Ui {
class ErrorPage;
}

// Shows the message of the wizard's "error" code. It offers no way forward:
// the technician leaves with Cancel, or Back where the wizard allows it.
class ErrorPage : public MyWizardPage
{
    Q_OBJECT

public:
    explicit ErrorPage(QWidget *parent = nullptr);
    ~ErrorPage() override;

    void initializePage() override;

public slots:
    void revisit() override;

private slots:
    void start();

private:
    Ui::ErrorPage *m_ui;
};
