#pragma once

#include <QAbstractButton>
#include <QByteArray>
#include <QList>
#include <QString>

#include <QSemaphore>

#include <memory>
#include <vector>

#include "app/bootloaderwizard.h"
#include "sim/virtualpanel.h"
#include "support/flashcheck.h"

class PseudoTerminal;

// One run of the real wizard against virtual panels and silent ports, which
// the wizard sees, in the order they were added, as the machine's only
// serial ports. Every wait on a clock is short while it lives. Leaving the
// run switches keep-alive off, closes the links the library still holds and
// puts the port list and the waits back.
class WizardRun
{
public:
    WizardRun();
    ~WizardRun();
    WizardRun(const WizardRun &) = delete;
    WizardRun &operator=(const WizardRun &) = delete;

    // A panel that answers at once; tests that time nothing need no pacing.
    static PanelOptions quickPanel(int modelByte = 1);

    VirtualPanel *addPanel(const PanelOptions &options = quickPanel());
    VirtualPanel *panel(int i) const { return m_panels.at(size_t(i)).get(); }
    // A pseudo-terminal on which nothing ever answers.
    bool addSilentPort();
    // A port whose driver never returns from opening it, until the run ends.
    bool addHungPort();
    // Lists what was added so far as the serial ports (possibly none).
    void listPorts();
    // Adds the panels, lists them and walks on to the scan page.
    bool startSearch(const QList<PanelOptions> &panels = {quickPanel()});
    // startSearch(), then waits until the search has led to the setup page.
    bool reachSetup(const QList<PanelOptions> &panels = {quickPanel()});

    BootloaderWizard &wizard() { return *m_wizard; }
    int currentId() const { return m_wizard->currentId(); }
    QAbstractButton *button(int which) const { return m_wizard->button(QWizard::WizardButton(which)); }
    void click(int which) const { button(which)->click(); }
    bool enabled(int which) const { return button(which)->isEnabled(); }
    template <typename T>
    T *child(int pageId, const char *name) const
    {
        return m_wizard->page(pageId)->findChild<T *>(QString::fromLatin1(name));
    }

    // Accepts the terms and walks on to the scan page, where the search
    // starts.
    bool walkToScan();
    bool waitForPage(int id, int timeoutMs);
    // Types a path into the file field and leaves it, as the technician does.
    void typeFile(const QString &path);
    // The setup page with the file parsed and Next enabled, then on to the
    // install page: the write starts.
    bool commit(const QString &path = samplePath());
    QString shownError() const;

private:
    std::unique_ptr<BootloaderWizard> m_wizard;
    std::vector<std::unique_ptr<VirtualPanel>> m_panels;
    std::vector<std::unique_ptr<PseudoTerminal>> m_silent;
    QList<QString> m_paths;  // in the order added
    std::shared_ptr<QSemaphore> m_release = std::make_shared<QSemaphore>();
};
