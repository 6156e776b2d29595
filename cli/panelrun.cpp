#include "cli/panelrun.h"

#include "cli/progress.h"
#include "firmware/deviceprofile.h"
#include "firmware/firmwareimage.h"

#include <QMutexLocker>

namespace {
// Every line a panel's work writes to the log names its port.
UpdateJob::Options withLogPrefix(UpdateJob::Options options, const SerialPortEntry &port)
{
    options.logPrefix = Progress::printable(port.portName) + QStringLiteral(": ");
    return options;
}
} // namespace

PanelRun::PanelRun(const UpdateJob::Options &options, const SerialPortEntry &port, Progress *progress,
                   bool waitsForPanel)
    : m_progress(progress)
    , m_waitsForPanel(waitsForPanel)
    , m_row(progress->addPanel(port.portName, port.slot))
    , m_job(withLogPrefix(options, port), port, this)
{
    const DeviceProfile &profile = DeviceProfile::supported();
    m_rows = int(profile.protectedStart() / profile.rowAddresses());
    m_blocks = options.image ? int(options.image->bytesToWrite(profile) / profile.writeBlockBytes) : m_rows;
    if (!m_waitsForPanel)
        m_progress->report(m_row, QString(), QStringLiteral("identify"));
}

void PanelRun::start()
{
    {
        QMutexLocker lock(&m_mutex);
        m_start = QDateTime::currentDateTimeUtc();
    }
    m_job.start();
}

UpdateJob::Result PanelRun::givenUp() const
{
    QMutexLocker lock(&m_mutex);
    UpdateJob::Result result;
    result.model = m_model;
    result.start = m_start;
    result.end = QDateTime::currentDateTimeUtc();
    result.outcome.ok = false;
    result.outcome.interrupted = true;
    result.outcome.phase = m_phase;
    result.outcome.failure = QStringLiteral("interrupted during %1 by a second signal").arg(UpdateEngine::phaseName(m_phase));
    return result;
}

void PanelRun::jobIdentified(const QString &model)
{
    QMutexLocker lock(&m_mutex);
    m_model = model;
}

// The time left comes from the blocks still to go at the line's speed, not
// from a measured rate, which jumps with every slow reply.
void PanelRun::jobProgress(UpdateEngine::Phase phase, int percent)
{
    QString model;
    {
        QMutexLocker lock(&m_mutex);
        m_phase = phase;
        model = m_model;
    }
    const bool moving = percent >= 0 && (phase == UpdateEngine::Write || phase == UpdateEngine::Verify
                                         || phase == UpdateEngine::Read);
    // A verify reads the whole memory; after an update's write, the rest of it.
    const int blocks = phase == UpdateEngine::Write ? m_blocks
                       : phase == UpdateEngine::Verify && m_job.options().kind == UpdateJob::Update ? m_rows - m_blocks
                                                                                                    : m_rows;
    const double left = moving ? blocks * (100 - percent) / 100.0
                                     * DeviceProfile::supported().blockSeconds(phase == UpdateEngine::Write)
                               : -1;
    m_progress->report(m_row, model, UpdateEngine::phaseName(phase), percent, left);
}

void PanelRun::jobEnded()
{
    const UpdateJob::Result &r = m_job.result();
    if (r.foundNoPanel() && m_waitsForPanel)
        return;
    const bool shown = m_job.options().kind != UpdateJob::Identify || !r.outcome.ok;
    if (!shown)
        return;
    const bool all = r.outcome.ok && m_job.options().kind != UpdateJob::Read;
    m_progress->report(m_row, r.model,
                       r.outcome.ok ? QStringLiteral("done") : r.outcome.interrupted ? QStringLiteral("interrupted")
                                                                                     : QStringLiteral("failed"),
                       all ? 100 : -1);
}
