#pragma once

#include <QWizardPage>

namespace Ui {
class IntroPage;
}

// The terms of use; Next stays disabled until the technician accepts them.
class IntroPage : public QWizardPage
{
    Q_OBJECT

public:
    explicit IntroPage(QWidget *parent = nullptr);
    ~IntroPage() override;

private:
    Ui::IntroPage *m_ui;
};
