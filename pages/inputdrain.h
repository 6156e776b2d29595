#pragma once

#include <QObject>

// While a job blocks the window, the technician's clicks, keys and close
// requests queue up and would act the moment it ends, on whatever page is
// then shown (Concluir of the success page, or closing the window before the
// outcome was seen). drain() delivers what has queued and drops the input
// and close requests among it.
class InputDrain : public QObject
{
    Q_OBJECT

public:
    // Returns how many events were dropped.
    static int drain();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int m_dropped = 0;
};
