#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include "heartbeat.h"

class BootloaderWizard;

// Walks the wizard as a technician would: accepts the terms, goes through
// the preparation pages, lets the search run, picks the firmware file and
// commits. It reports how long the update took, where the file dialog would
// open, and the error page's message; when asked, it saves a picture of the
// install page halfway through the write, and of the setup page and the
// last page. It quits the application with 0 on the success page and 1 on
// the error page.
class Autopilot : public QObject
{
    Q_OBJECT

public:
    // pageMs: how long each page stays before the autopilot moves on.
    Autopilot(BootloaderWizard &wizard, const QString &firmware, const QString &screenshot, const QString &shots,
              int pageMs = 600);

    void start();
    // Counts how long the window's thread was kept from its events, page by
    // page, and says so at the end.
    void listenToHeartbeat() { m_heartbeatOn = true; }
    // During the write, does what an impatient technician does: clicks
    // Cancel, presses Escape and closes the window.
    void provokeDuringWrite() { m_provoke = true; }

private slots:
    void pageChanged(int id);
    void progress(int value);

private:
    void later(int ms, void (Autopilot::*step)());
    void forward();
    void chooseFile();
    void commitWhenReady();
    void finish(bool success);
    void shoot(const QString &name);
    void provoke();

    BootloaderWizard &m_wizard;
    QString m_firmware;
    QString m_screenshot;
    QString m_shots;
    int m_pageMs;
    bool m_shot = false;
    QElapsedTimer m_install;
    QElapsedTimer m_search;
    qint64 m_writeEndedMs = -1;
    Heartbeat m_heartbeat;
    bool m_heartbeatOn = false;
    bool m_provoke = false;
    bool m_provoked = false;
};
