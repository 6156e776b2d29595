#include "app/runoutcome.h"

#include "app/bootloaderwizard.h"
#include "device/errorcodes.h"

#include <QEvent>
#include <QVariant>
#include <QTimer>

RunOutcome::RunOutcome(QWizard *wizard)
    : QObject(wizard)
    , m_wizard(wizard)
{
    // Cancel, Escape and the close box all reject the wizard; the close box
    // does it while its close event is being handled.
    connect(wizard, &QDialog::rejected, this, [this] { (m_inClose ? m_closed : m_cancelled) = true; });
    // Rejecting resets the wizard to no page before it says so: the page the
    // run ended on is the last one shown.
    connect(wizard, &QWizard::currentIdChanged, this, [this](int id) {
        if (id < 0)
            return;
        m_lastId = id;
        m_lastPage = QString::fromLatin1(m_wizard->page(id)->metaObject()->className());
    });
    wizard->installEventFilter(this);
}

bool RunOutcome::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_wizard && event->type() == QEvent::Close) {
        m_inClose = true;
        QTimer::singleShot(0, this, [this] { m_inClose = false; });
    }
    return false;
}

QString RunOutcome::ending() const
{
    if (m_lastId == BootloaderWizard::Page_Success)
        return QStringLiteral("Run ended: success.");
    if (m_lastId == BootloaderWizard::Page_Error) {
        const int code = m_wizard->property("error").toInt();
        const QString message = code >= 0 && code < ErrorCodeCount ? errorMessages[code] : QString();
        return QStringLiteral("Run ended: error %1 (%2).").arg(code).arg(QString(message).replace('\n', ' '));
    }
    const QString where = m_lastId < 0 ? QStringLiteral("no page") : m_lastPage;
    if (m_closed)
        return QStringLiteral("Run ended: the window was closed on %1.").arg(where);
    if (m_cancelled)
        return QStringLiteral("Run ended: cancelled by the technician on %1.").arg(where);
    return QStringLiteral("Run ended: the program quit on %1.").arg(where);
}
