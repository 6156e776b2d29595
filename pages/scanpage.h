#pragma once

#include <QElapsedTimer>
#include <QString>

#include "app/mywizardpage.h"
#include "pages/waitcursor.h"

namespace Ui {
class ScanPage;
}

// Searches every serial port for panels, one Scanner per port, and moves the
// wizard on by itself once all have reported and the search has been on
// screen for at least 2 seconds: to the setup page when a panel was found,
// else to the error page.
class ScanPage : public MyWizardPage
{
    Q_OBJECT

public:
    explicit ScanPage(QWidget *parent = nullptr);
    ~ScanPage() override;

    void initializePage() override;
    int nextId() const override;

    void scan();
    void runConcurrentScan(const QString &port);

private slots:
    void start();

public slots:
    void scanFinished(QObject *scanner);
    void scanFinished();
    void onBackButton() override;
    void revisit() override;

private:
    bool isCurrentPage() const;
    QString portsNotOpened() const;
    void startLater(int ms);

    Ui::ScanPage *m_ui;
    int pending = 0;            // scanners started and not yet reported
    bool stopped = false;       // the reports in flight must not move the wizard on
    int errorCode = 0;
    QString m_errorDetail;      // under message 1: the ports that could not be opened, and why
    QElapsedTimer clock;        // since the page was entered
    // Counts entries and departures. A timer set during one visit does
    // nothing once the technician has stepped back or come in again.
    int m_visit = 0;
    WaitCursor m_waitCursor;
};
