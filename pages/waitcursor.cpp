#include "pages/waitcursor.h"

#include <QCursor>
#include <QGuiApplication>

WaitCursor::~WaitCursor()
{
    restore();
}

void WaitCursor::show()
{
    if (m_shown)
        return;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    m_shown = true;
}

void WaitCursor::restore()
{
    if (!m_shown)
        return;
    QGuiApplication::restoreOverrideCursor();
    m_shown = false;
}
