#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// While a panel is written the window stays live (it repaints, the bar
// moves, the wait cursor shows) but takes no orders: clicks and keys on it
// do nothing, and Escape, Cancel and the window's close box are refused,
// each with a line in the log, so that nothing the technician does cuts the
// write short or acts once it has ended.
class WriteGuard : public QObject
{
    Q_OBJECT

public:
    explicit WriteGuard(QWidget *window);
    ~WriteGuard() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
};
