#pragma once

#include <QObject>
#include <QString>

class QWizard;

// How a run of the wizard ended, for the last line of the support log:
// without it a run the technician cancelled and one that died look alike.
class RunOutcome : public QObject
{
    Q_OBJECT

public:
    explicit RunOutcome(QWizard *wizard);

    // "Run ended: ..." with success, the error code and its message, or on
    // which page the technician cancelled or closed the window.
    QString ending() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWizard *m_wizard;
    int m_lastId = -1;
    QString m_lastPage;
    bool m_inClose = false;
    bool m_cancelled = false;
    bool m_closed = false;
};
