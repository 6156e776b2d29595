#pragma once

#include <QWizardPage>

// Page base with the wizard's back-button notifications.
class MyWizardPage : public QWizardPage
{
    Q_OBJECT

public:
    explicit MyWizardPage(QWidget *parent = nullptr);

public slots:
    // This page was left by stepping back.
    virtual void onBackButton();
    // The wizard stepped back onto this page.
    virtual void revisit();
};
