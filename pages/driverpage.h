#pragma once

#include "app/mywizardpage.h"

namespace Ui {
class DriverPage;
}

// Offers the bridge driver's download page, and passes itself by when the
// driver is already present.
class DriverPage : public MyWizardPage
{
    Q_OBJECT

public:
    explicit DriverPage(QWidget *parent = nullptr);
    ~DriverPage() override;

    void initializePage() override;

public slots:
    void revisit() override;

private slots:
    void skip();

private:
    Ui::DriverPage *m_ui;
};
