#include "autopilot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <QWindow>

#include <cstdio>

#include "app/bootloaderwizard.h"
#include "device/errorcodes.h"
#include "pages/startfolder.h"

Autopilot::Autopilot(BootloaderWizard &wizard, const QString &firmware, const QString &screenshot,
                     const QString &shots, int pageMs)
    : m_wizard(wizard)
    , m_firmware(firmware)
    , m_screenshot(screenshot)
    , m_shots(shots)
    , m_pageMs(pageMs)
{
    connect(&m_wizard, &QWizard::currentIdChanged, this, &Autopilot::pageChanged);
    if (auto *install = m_wizard.page(BootloaderWizard::Page_Install))
        connect(install, SIGNAL(updated(int)), this, SLOT(progress(int)));
}

void Autopilot::start()
{
    m_wizard.setField(QStringLiteral("acceptance"), true);
    if (m_heartbeatOn)
        m_heartbeat.start();
    later(m_pageMs, &Autopilot::forward);
}

void Autopilot::later(int ms, void (Autopilot::*step)())
{
    QTimer::singleShot(ms, this, step);
}

void Autopilot::forward()
{
    m_wizard.next();
}

void Autopilot::pageChanged(int id)
{
    const char *const names[] = {"error", "intro", "driver", "preparation", "preparation", "preparation",
                                 "preparation", "scan", "setup", "install", "success"};
    m_heartbeat.setStretch(QString::fromLatin1(id >= 0 && id <= 10 ? names[id] : "other"));
    if (id == BootloaderWizard::Page_Scan) {
        m_search.start();
    } else if (m_search.isValid()) {
        std::printf("wizard-demo: the search took %.2f s\n", double(m_search.elapsed()) / 1000.0);
        m_search.invalidate();
    }
    switch (id) {
    case BootloaderWizard::Page_Preparations1:
    case BootloaderWizard::Page_Preparations2:
    case BootloaderWizard::Page_Preparations3:
    case BootloaderWizard::Page_Preparations4:
        later(m_pageMs, &Autopilot::forward);
        break;
    case BootloaderWizard::Page_Setup:
        std::printf("wizard-demo: the file dialog opens in %s\n", qPrintable(hexFileStartFolder()));
        later(m_pageMs, &Autopilot::chooseFile);
        break;
    case BootloaderWizard::Page_Install:
        m_install.start();
        break;
    case BootloaderWizard::Page_Success:
        finish(true);
        break;
    case BootloaderWizard::Page_Error:
        finish(false);
        break;
    default:
        break;
    }
}

void Autopilot::chooseFile()
{
    auto *field = m_wizard.page(BootloaderWizard::Page_Setup)->findChild<QLineEdit *>(QStringLiteral("hexLineEdit"));
    if (!field) {
        std::fprintf(stderr, "wizard-demo: the setup page has no file field\n");
        finish(false);
        return;
    }
    // As if typed and confirmed with Enter.
    field->setText(QDir::toNativeSeparators(m_firmware));
    emit field->editingFinished();
    later(100, &Autopilot::commitWhenReady);
}

void Autopilot::commitWhenReady()
{
    if (m_wizard.currentId() != BootloaderWizard::Page_Setup)
        return;
    if (!m_wizard.button(QWizard::NextButton)->isEnabled()) {
        // A refused file shows the cross with its reason; Next would never
        // come, so the run ends here.
        auto *check = m_wizard.page(BootloaderWizard::Page_Setup)->findChild<QCheckBox *>(QStringLiteral("HEXCheckBox"));
        if (check && !check->isChecked() && !check->toolTip().isEmpty() && !QApplication::overrideCursor()) {
            std::fprintf(stderr, "wizard-demo: the setup page refused %s\n", qPrintable(m_firmware));
            std::fflush(stderr);
            QApplication::exit(1);
            return;
        }
        later(100, &Autopilot::commitWhenReady);
        return;
    }
    shoot(QStringLiteral("setup"));
    later(m_pageMs, &Autopilot::forward);
}

void Autopilot::progress(int value)
{
    if (value == -1 && m_install.isValid())
        m_writeEndedMs = m_install.elapsed();
    if (m_provoke && !m_provoked && value >= 30)
        provoke();
    if (m_screenshot.isEmpty() || m_shot || value < 40)
        return;
    // The write blocks the event loop; the wizard still paints on each
    // progress value, so the picture is what the technician sees.
    m_shot = true;
    if (m_wizard.grab().save(m_screenshot, "PNG"))
        std::printf("wizard-demo: install page saved to %s at %d %%\n", qPrintable(m_screenshot), value);
    else
        std::fprintf(stderr, "wizard-demo: cannot write %s\n", qPrintable(m_screenshot));
}

// Posted to the window as the window system delivers them, so that they
// reach the wizard the way a technician's own would.
void Autopilot::provoke()
{
    m_provoked = true;
    QWindow *window = m_wizard.windowHandle();
    QAbstractButton *cancel = m_wizard.button(QWizard::CancelButton);
    if (!window || !cancel)
        return;
    const QPointF at = cancel->mapTo(&m_wizard, cancel->rect().center());
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(window, new QMouseEvent(type, at, at, cancel->mapToGlobal(cancel->rect().center()),
                                                            Qt::LeftButton, type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                            Qt::NoModifier, Qt::MouseEventSynthesizedByApplication));
    QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier));
    QCoreApplication::postEvent(window, new QCloseEvent);
    std::printf("wizard-demo: clicked Cancel, pressed Escape and closed the window during the write\n");
    std::fflush(stdout);
}

void Autopilot::shoot(const QString &name)
{
    if (m_shots.isEmpty())
        return;
    const QString path = QDir(m_shots).filePath(name + QStringLiteral(".png"));
    if (!QDir().mkpath(m_shots) || !m_wizard.grab().save(path, "PNG"))
        std::fprintf(stderr, "wizard-demo: cannot write %s\n", qPrintable(path));
}

void Autopilot::finish(bool success)
{
    if (!success) {
        const int code = m_wizard.property("error").toInt();
        std::printf("wizard-demo: the error page shows error %d: %s\n", code,
                    qUtf8Printable(QString(errorMessages[code]).replace(QLatin1Char('\n'), QLatin1Char(' '))));
        const QString detail = m_wizard.property("errorDetail").toString();
        if (!detail.isEmpty())
            std::printf("wizard-demo: and under it: %s\n", qUtf8Printable(QString(detail).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    }
    // The page is drawn once the event loop has run.
    QTimer::singleShot(m_pageMs / 2, this, [this, success] { shoot(success ? "success" : "error"); });
    if (m_install.isValid() && m_writeEndedMs >= 0) {
        std::printf("wizard-demo: update %s; erase, write and verify took %.1f s, the whole install page %.1f s\n",
                    success ? "succeeded" : "failed", double(m_writeEndedMs) / 1000.0,
                    double(m_install.elapsed()) / 1000.0);
    } else if (m_install.isValid()) {
        std::printf("wizard-demo: update failed after %.1f s\n", double(m_install.elapsed()) / 1000.0);
    } else {
        std::printf("wizard-demo: ended on the %s page before the install\n", success ? "success" : "error");
    }
    if (m_heartbeatOn) {
        m_heartbeat.stop();
        std::printf("wizard-demo: %s\n", qPrintable(m_heartbeat.summary()));
    }
    std::fflush(stdout);
    const int code = success ? 0 : 1;
    QTimer::singleShot(2 * m_pageMs, qApp, [code] { QApplication::exit(code); });
}
