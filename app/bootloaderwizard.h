#pragma once

#include <QString>
#include <QWizard>

#include "device/errorcodes.h"

#include "pages/driverpage.h"
#include "pages/errorpage.h"
#include "pages/installpage.h"
#include "pages/pageids.h"
#include "pages/intropage.h"
#include "pages/preparations1.h"
#include "pages/preparations2.h"
#include "pages/preparations3.h"
#include "pages/preparations4.h"
#include "pages/scanpage.h"
#include "pages/setuppage.h"
#include "pages/successpage.h"

namespace Ui {
class BootloaderWizard;
}

// The main window. Pages never call each other: they meet through the
// properties below, read and written by name through their wizard(). The
// page ids come with the pages.
class BootloaderWizard : public QWizard, public WizardPageIds
{
    Q_OBJECT
    Q_PROPERTY(int port READ port WRITE setPort)
    Q_PROPERTY(QString hex READ hex WRITE setHex)
    Q_PROPERTY(int error READ error WRITE setError)
    // What the error page shows under the message, where a page knows more
    // (the ports a search could not open, and why); empty otherwise.
    Q_PROPERTY(QString errorDetail READ errorDetail WRITE setErrorDetail)
    Q_PROPERTY(bool drivers READ drivers)

public:
    explicit BootloaderWizard(QWidget *parent = nullptr);
    ~BootloaderWizard() override;

    int port() const { return m_port; }
    void setPort(int port) { m_port = port; }
    QString hex() const { return m_hex; }
    void setHex(const QString &hex) { m_hex = hex; }
    int error() const { return m_error; }
    void setError(int error) { m_error = error; }
    QString errorDetail() const { return m_errorDetail; }
    void setErrorDetail(const QString &detail) { m_errorDetail = detail; }
    bool drivers() const { return m_drivers; }

private slots:
    void backButtonPressed();

private:
    void loadStyleSheet();

    Ui::BootloaderWizard *m_ui;

    // Held by value: they leave the wizard's children before the base goes.
    ErrorPage m_errorPage;
    IntroPage m_introPage;
    DriverPage m_driverPage;
    Preparations1 m_preparations1;
    Preparations2 m_preparations2;
    Preparations3 m_preparations3;
    Preparations4 m_preparations4;
    ScanPage m_scanPage;
    SetupPage m_setupPage;
    InstallPage m_installPage;
    SuccessPage m_successPage;

    int m_port = -1;
    QString m_hex;
    int m_error = NoError;
    QString m_errorDetail;
    bool m_drivers = false;
};
