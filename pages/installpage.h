#pragma once

#include <QString>

#include "app/mywizardpage.h"
#include "pages/waitcursor.h"

namespace Ui {
class InstallPage;
}

// Erases, writes and verifies the chosen panel, then moves the wizard on by
// itself. A commit page: once the work starts there is no way back.
class InstallPage : public MyWizardPage
{
    Q_OBJECT

public:
    explicit InstallPage(QWidget *parent = nullptr);
    ~InstallPage() override;

    void initializePage() override;
    bool isComplete() const override;
    int nextId() const override;

signals:
    void updated(int value);

private slots:
    void start();
    void doUpdate(int value);

public slots:
    void writeFinished(QObject *worker, bool result);

private:
    // The name of the found port the wizard's "port" points at; empty when
    // it points at none.
    QString chosenPort() const;
    void finish(bool result);

    Ui::InstallPage *m_ui;
    bool complete = false;
    int status = 0;  // -2 the write failed, -3 a block did not verify
    WaitCursor m_waitCursor;
};
