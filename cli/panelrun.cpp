#include "cli/panelrun.h"

#include "cli/progress.h"
#include "device/connection.h"
#include "device/connectionfactory.h"
#include "device/timings.h"
#include "firmware/deviceprofile.h"
#include "firmware/firmwareimage.h"

#include <QDateTime>
#include <QThread>

PanelRun::PanelRun(Job job, const SerialPortEntry &port, const FirmwareImage *image, Progress *progress)
    : m_job(job)
    , m_port(port)
    , m_image(image)
    , m_progress(progress)
    , m_row(progress->addPanel(port.portName))
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

// What answered on the port, or why nothing did, as `list` says it.
bool PanelRun::identify(ConnectionFactory &factory, int *id)
{
    UpdateEngine::Outcome &outcome = m_result.outcome;
    outcome.ok = false;
    outcome.phase = UpdateEngine::Identify;
    outcome.code = DeviceNotFound;
    *id = factory.getConnectionID(m_port.systemLocation);
    switch (*id) {
    case ConnectionFactory::PortNotOpened: outcome.failure = PortAccess::summary(factory.lastProblem()); break;
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

void PanelRun::report(UpdateEngine::Phase phase, int percent)
{
    const qint64 elapsed = QDateTime::currentMSecsSinceEpoch() - m_startMs;
    const double rate = percent > 0 && elapsed > 0 ? double(m_bytes) * percent / 100.0 / (double(elapsed) / 1000.0)
                                                   : -1;
    m_progress->report(m_row, m_result.model, UpdateEngine::phaseName(phase), percent, rate);
}

void PanelRun::run()
{
    m_progress->report(m_row, QString(), QStringLiteral("identify"));
    ConnectionFactory factory({m_port}, Timings::current());
    int id = -1;
    if (!identify(factory, &id) || m_job == Identify) {
        if (!m_result.outcome.ok)
            m_progress->report(m_row, m_result.model, QStringLiteral("failed"));
        return;
    }
    std::unique_ptr<Connection> link(factory.openLink(m_port.systemLocation, id));
    UpdateEngine::Outcome &outcome = m_result.outcome;
    if (!link) {
        outcome.ok = false;
        outcome.code = ConnectionFailed;
        outcome.failure = QStringLiteral("the bootloader link could not be opened");
        m_progress->report(m_row, m_result.model, QStringLiteral("failed"));
        return;
    }
    UpdateEngine engine(*link, [this](UpdateEngine::Phase phase, int percent) {
        if (phase == UpdateEngine::Write || phase == UpdateEngine::Verify || phase == UpdateEngine::Read) {
            if (percent == 0)
                m_startMs = QDateTime::currentMSecsSinceEpoch();
        }
        report(phase, percent);
    });
    const DeviceProfile profile;
    m_bytes = m_image ? m_image->bytesToWrite() : qint64(profile.protectedStart()) * profile.bytesPerAddress;
    const bool ok = m_job == Update ? engine.update(*m_image)
                    : m_job == Verify ? engine.verify(*m_image)
                                      : engine.read(&m_program);
    link->close();
    outcome = engine.outcome();
    m_progress->report(m_row, m_result.model, ok ? QStringLiteral("done") : QStringLiteral("failed"),
                       ok && m_job != Read ? 100 : -1);
}
