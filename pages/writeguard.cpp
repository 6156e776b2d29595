#include "pages/writeguard.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

WriteGuard::WriteGuard(QWidget *window)
    : m_window(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

WriteGuard::~WriteGuard()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

bool WriteGuard::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || !m_window || widget->window() != m_window)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Close:
        // Ignored, not only filtered: the window system asks whether it may close.
        event->ignore();
        qDebug() << "The window's close was refused: the panel is being written.";
        return true;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            qDebug() << "Escape was refused: the panel is being written.";
        return true;
    case QEvent::MouseButtonPress:
        if (widget->objectName() == QLatin1String("qt_wizard_cancel"))
            qDebug() << "Cancel was refused: the panel is being written.";
        return true;
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}
