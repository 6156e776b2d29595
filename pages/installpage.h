#pragma once

#include <QPointer>
#include <QString>

#include <memory>

#include "app/mywizardpage.h"
#include "device/updateengine.h"
#include "pages/waitcursor.h"
#include "pages/writeguard.h"

class Writer;

namespace Ui {
class InstallPage;
}

// Erases, writes and verifies the chosen panel, then moves the wizard on by
// itself. A commit page: once the work starts there is no way back. The
// work runs off the window's thread; the window stays live but refuses
// every order until it ends.
class InstallPage : public MyWizardPage
{
    Q_OBJECT

public:
    explicit InstallPage(QWidget *parent = nullptr);
    // A page that goes during the write (the program ending some other way)
    // stops the update at the next block and waits for it.
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
    UpdateEngine::Outcome m_outcome;  // of the last update, as the writer reported it
    QPointer<Writer> m_writer;
    std::unique_ptr<WriteGuard> m_guard;
    WaitCursor m_waitCursor;
};
