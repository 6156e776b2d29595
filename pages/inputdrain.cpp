#include "pages/inputdrain.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEvent>

int InputDrain::drain()
{
    auto *app = QCoreApplication::instance();
    if (!app)
        return 0;
    InputDrain filter;
    app->installEventFilter(&filter);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    app->removeEventFilter(&filter);
    if (filter.m_dropped > 0)
        qDebug() << "Dropped" << filter.m_dropped << "input and close requests that arrived while the job ran.";
    return filter.m_dropped;
}

bool InputDrain::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Close:
        // Ignored, not only filtered: the window asks whether it may close.
        event->ignore();
        ++m_dropped;
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
        ++m_dropped;
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}
