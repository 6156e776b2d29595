#pragma once

#include <QWizardPage>

namespace Ui {
class SuccessPage;
}

// The last page, reached when the panel was written and verified.
class SuccessPage : public QWizardPage
{
    Q_OBJECT

public:
    explicit SuccessPage(QWidget *parent = nullptr);
    ~SuccessPage() override;

private:
    Ui::SuccessPage *m_ui;
};
