#include "cli/panelrun.h"

#include "cli/progress.h"
#include "device/connection.h"
#include "device/connectionfactory.h"
#include "device/debuglog.h"
#include "device/timings.h"
#include "firmware/deviceprofile.h"
#include "firmware/firmwareimage.h"

#include <QThread>

PanelRun::PanelRun(Job job, const SerialPortEntry &port, const FirmwareImage *image, Progress *progress,
                   UpdateEngine::Ending ending, const std::atomic<bool> *stop, bool waitsForPanel)
    : m_job(job)
    , m_port(port)
    , m_image(image)
    , m_progress(progress)
    , m_ending(ending)
    , m_stop(stop)
    , m_waitsForPanel(waitsForPanel)
    , m_row(progress->addPanel(port.slot.isEmpty() ? port.portName : port.slot + QLatin1Char(' ') + port.portName))
{
}

PanelRun::~PanelRun()
{
    wait();
}

// A QThread, not a bare thread: the serial port's notifiers need one.
void PanelRun::start()
{
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->start();
}

void PanelRun::wait()
{
    if (m_thread)
        m_thread->wait();
}

bool PanelRun::done() const
{
    return m_thread && m_thread->isFinished();
}

// What answered on the port, or why nothing did, as `list` says it.
bool PanelRun::identify(ConnectionFactory &factory, int *id)
{
    UpdateEngine::Outcome &outcome = m_result.outcome;
    outcome.ok = false;
    outcome.phase = UpdateEngine::Identify;
    outcome.code = DeviceNotFound;
    *id = factory.getConnectionID(m_port.systemLocation);
    switch (*id) {
    case ConnectionFactory::PortNotOpened:
        outcome.failure = PortAccess::summary(factory.lastProblem());
        m_hung = factory.lastProblem().cause == PortAccess::NotResponding;
        break;
    case ConnectionFactory::WrongProbeReply:
        outcome.failure = factory.lastAnswerSize() == 0 ? QStringLiteral("no reply") : QStringLiteral("not a panel");
        break;
    case ConnectionFactory::NoModelByte: outcome.failure = QStringLiteral("not a panel (no model byte)"); break;
    case ConnectionFactory::UnknownPort: outcome.failure = QStringLiteral("no such serial port"); break;
    default:
        if (*id < 0) {
            outcome.failure = QStringLiteral("the line failed");
            break;
        }
        m_result.model = DeviceProfile::modelName(*id);
        if (m_result.model.isEmpty()) {
            outcome.failure = QStringLiteral("unknown panel model %1").arg(*id);
            break;
        }
        outcome = UpdateEngine::Outcome();
        return true;
    }
    return false;
}

// The time left comes from the blocks still to go at the line's speed, not
// from a measured rate, which jumps with every slow reply.
void PanelRun::report(UpdateEngine::Phase phase, int percent)
{
    const bool moving = percent >= 0 && (phase == UpdateEngine::Write || phase == UpdateEngine::Verify
                                         || phase == UpdateEngine::Read);
    const double left = moving ? m_blocks * (100 - percent) / 100.0 * DeviceProfile().blockSeconds(phase == UpdateEngine::Write)
                               : -1;
    m_progress->report(m_row, m_result.model, UpdateEngine::phaseName(phase), percent, left);
}

void PanelRun::finish(const QString &phase, int percent)
{
    m_result.end = QDateTime::currentDateTimeUtc();
    m_progress->report(m_row, m_result.model, phase, percent);
}

void PanelRun::run()
{
    // Every line this panel's work writes to the log names its port.
    DebugLog::setThreadPrefix(Progress::printable(m_port.portName) + QStringLiteral(": "));
    m_result.start = QDateTime::currentDateTimeUtc();
    if (!m_waitsForPanel)
        m_progress->report(m_row, QString(), QStringLiteral("identify"));
    ConnectionFactory factory({m_port}, Timings::current());
    int id = -1;
    if (!identify(factory, &id)) {
        if (!m_waitsForPanel)
            finish(QStringLiteral("failed"));
        return;
    }
    if (m_job == Identify) {
        m_result.end = QDateTime::currentDateTimeUtc();
        return;
    }
    std::unique_ptr<Connection> link(factory.openLink(m_port.systemLocation, id));
    UpdateEngine::Outcome &outcome = m_result.outcome;
    if (!link) {
        outcome.ok = false;
        outcome.phase = m_job == Update ? UpdateEngine::Erase : m_job == Verify ? UpdateEngine::Verify : UpdateEngine::Read;
        outcome.code = ConnectionFailed;
        outcome.failure = QStringLiteral("the bootloader link could not be opened");
        finish(QStringLiteral("failed"));
        return;
    }
    UpdateEngine engine(*link, [this](UpdateEngine::Phase phase, int percent) { report(phase, percent); }, m_stop);
    const DeviceProfile profile;
    m_blocks = m_image ? int(m_image->bytesToWrite(profile) / profile.writeBlockBytes)
                       : int(profile.protectedStart() / profile.rowAddresses());
    const bool ok = m_job == Update ? engine.update(*m_image, m_ending)
                    : m_job == Verify ? engine.verify(*m_image, m_ending)
                                      : engine.read(&m_program, m_ending);
    link->close();
    outcome = engine.outcome();
    finish(ok ? QStringLiteral("done") : outcome.interrupted ? QStringLiteral("interrupted") : QStringLiteral("failed"),
           ok && m_job != Read ? 100 : -1);
}
