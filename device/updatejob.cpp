#include "device/updatejob.h"

#include "device/connection.h"
#include "device/connectionfactory.h"
#include "device/debuglog.h"
#include "device/heldlink.h"
#include "device/portlister.h"
#include "device/recordbook.h"
#include "firmware/deviceprofile.h"
#include "firmware/firmwareimage.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThread>

UpdateJob::UpdateJob(const Options &options, const SerialPortEntry &port, Observer *observer)
    : m_options(options)
    , m_port(port)
    , m_observer(observer)
{
}

UpdateJob::UpdateJob(const Options &options, std::shared_ptr<HeldLink> link, Observer *observer)
    : m_options(options)
    , m_port(link->port)
    , m_held(std::move(link))
    , m_observer(observer)
{
}

UpdateJob::~UpdateJob()
{
    wait();
}

// A QThread, not a bare thread: the serial port's notifiers need one.
void UpdateJob::start()
{
    m_thread.reset(QThread::create([this] { run(); }));
    // The name shows in debuggers and the system's thread list.
    m_thread->setObjectName(commandName(m_options.kind) + QLatin1Char(' ') + m_port.portName);
    m_thread->start();
}

void UpdateJob::wait()
{
    if (m_thread)
        m_thread->wait();
}

bool UpdateJob::done() const
{
    return m_thread && m_thread->isFinished();
}

QString UpdateJob::commandName(Kind kind)
{
    switch (kind) {
    case Identify: return QStringLiteral("identify");
    case Verify: return QStringLiteral("verify");
    case Read: return QStringLiteral("read");
    case Update:
    case Erase:
    case Write: break;
    }
    return QStringLiteral("update");
}

void UpdateJob::fail(UpdateEngine::Phase phase, ErrorCode code, const QString &failure)
{
    UpdateEngine::Outcome &outcome = m_result.outcome;
    outcome.ok = false;
    outcome.phase = phase;
    outcome.code = code;
    outcome.failure = failure;
}

// The link to the panel on the port, or why there is none, in the words
// `list` uses. Null for Identify, whose job ends with the question.
std::unique_ptr<Connection> UpdateJob::openPanel()
{
    const ConnectionFactory factory({m_port}, m_options.timings);
    const ConnectionFactory::Identification panel = factory.identify(m_port.systemLocation);
    m_result.model = DeviceProfile::modelName(panel.result);
    QString failure;
    switch (panel.result) {
    case ConnectionFactory::PortNotOpened:
        failure = PortAccess::summary(panel.problem);
        m_result.portProblem = panel.problem.cause;
        m_result.portHung = panel.problem.cause == PortAccess::NotResponding;
        break;
    case ConnectionFactory::WrongProbeReply:
        failure = panel.answerSize == 0 ? QStringLiteral("no reply")
                  : panel.otherDeviceId >= 0
                      ? QStringLiteral("another controller (device ID 0x%1)").arg(panel.otherDeviceId, 4, 16, QLatin1Char('0'))
                      : QStringLiteral("not a panel");
        break;
    case ConnectionFactory::NoModelByte: failure = QStringLiteral("not a panel (no model byte)"); break;
    case ConnectionFactory::UnknownPort: failure = QStringLiteral("no such serial port"); break;
    default:
        failure = panel.result < 0 ? QStringLiteral("the line failed")
                                   : QStringLiteral("unknown panel model %1").arg(panel.result);
        break;
    }
    if (!panel.profile) {
        fail(UpdateEngine::Identify, DeviceNotFound, failure);
        return nullptr;
    }
    if (m_observer)
        m_observer->jobIdentified(m_result.model);
    if (m_options.kind == Identify)
        return nullptr;
    std::unique_ptr<Connection> link(factory.openLink(m_port.systemLocation, panel));
    if (!link) {
        const UpdateEngine::Phase first = m_options.kind == Verify ? UpdateEngine::Verify
                                          : m_options.kind == Read ? UpdateEngine::Read
                                                                   : UpdateEngine::Erase;
        fail(first, ConnectionFailed, QStringLiteral("the bootloader link could not be opened"));
    }
    return link;
}

void UpdateJob::runOn(Connection &link)
{
    UpdateEngine engine(link, [this](UpdateEngine::Phase phase, int percent) {
        if (m_observer)
            m_observer->jobProgress(phase, percent);
    }, m_options.stop);
    const FirmwareImage *image = m_options.image.get();
    const UpdateEngine::Ending ending = m_options.ending;
    switch (m_options.kind) {
    case Identify: break;
    case Update: engine.update(*image, ending, m_options.check); break;
    case Verify: engine.verify(*image, ending); break;
    case Read: engine.read(&m_result.program, ending); break;
    case Erase: engine.erase(); break;
    case Write: engine.writeAndStart(*image, ending, m_options.check); break;
    }
    m_result.outcome = engine.outcome();
}

void UpdateJob::run()
{
    if (!m_options.logPrefix.isEmpty())
        DebugLog::setThreadPrefix(m_options.logPrefix);
    m_result.start = QDateTime::currentDateTimeUtc();
    if (m_held) {
        QMutexLocker lock(&m_held->mutex);
        m_result.model = DeviceProfile::modelName(m_held->connection->id());
        runOn(*m_held->connection);
    } else if (std::unique_ptr<Connection> link = openPanel()) {
        runOn(*link);
        link->close();
    }
    m_result.end = QDateTime::currentDateTimeUtc();
    if (m_options.record && (m_options.recordsNoPanel || !m_result.foundNoPanel())
        && !m_options.record->append(record().line(), &m_result.recordError, &m_recordClaimed))
        qDebug() << "The record" << m_options.record->path() << "could not be written:" << m_result.recordError;
    if (m_observer)
        m_observer->jobEnded();
}

UpdateRecord UpdateJob::record(const Result &result) const
{
    UpdateRecord line;
    line.start = result.start;
    line.end = result.end;
    line.tool = m_options.tool;
    line.command = commandName(m_options.kind);
    line.port = m_port;
    if (line.port.slot.isEmpty())
        line.port.slot = PortLister::slotOf(m_port.systemLocation);
    line.model = result.model;
    line.image = m_options.image.get();
    line.outcome = result.outcome;
    return line;
}
