#include "cli/panelrun.h"

#include "app/errorcodes.h"
#include "cli/progress.h"
#include "device/blockassembler.h"
#include "device/connection.h"
#include "device/connectionfactory.h"
#include "device/devicepath.h"
#include "device/deviceprofile.h"
#include "firmware/intelhexdump.h"
#include "library/library.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QThread>

PanelRun::PanelRun(Job job, const QString &location, const QVector<QByteArray> *image, const QString &output,
                   Progress *progress)
    : m_job(job)
    , m_location(location)
    , m_image(image)
    , m_output(output)
    , m_progress(progress)
    , m_row(progress->addPanel(DevicePath::nameFromLocation(location)))
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

bool PanelRun::fail(int code, const QString &failure)
{
    m_result.ok = false;
    m_result.code = code;
    m_result.failure = failure;
    m_progress->report(m_row, m_result.model, QStringLiteral("failed"));
    return false;
}

// What answered on the port, or why nothing did, as `list` says it.
bool PanelRun::identify(ConnectionFactory &factory)
{
    m_progress->report(m_row, QString(), QStringLiteral("identify"));
    const int id = factory.getConnectionID(m_location);
    if (id < 0) {
        QString why;
        switch (id) {
        case -2: why = PortAccess::summary(factory.lastProblem()); break;
        case -7: why = factory.lastAnswerSize() == 0 ? QStringLiteral("no reply") : QStringLiteral("not a panel"); break;
        case -1: why = QStringLiteral("not a panel (no model byte)"); break;
        case -5: why = QStringLiteral("no such serial port"); break;
        default: why = QStringLiteral("the line failed"); break;
        }
        return fail(DeviceNotFound, why);
    }
    m_result.model = Library::modelName(id);
    if (m_result.model.isEmpty())
        return fail(DeviceNotFound, QStringLiteral("unknown panel model %1").arg(id));
    if (m_job == Identify)
        return true;
    m_link.reset(factory.openLink(m_location, id));
    if (!m_link)
        return fail(ConnectionFailed, QStringLiteral("the bootloader link could not be opened"));
    return true;
}

void PanelRun::reportTransfer(int value)
{
    if (value < 0)
        return;
    const qint64 elapsed = QDateTime::currentMSecsSinceEpoch() - m_startMs;
    const double rate = elapsed > 0 ? double(m_bytes) * value / 100.0 / (double(elapsed) / 1000.0) : -1;
    m_progress->report(m_row, m_result.model, m_phase, value, rate);
}

void PanelRun::run()
{
    ConnectionFactory factory;
    factory.refreshPorts();
    if (!identify(factory))
        return;
    if (m_job == Identify) {
        m_result.ok = true;
        return;
    }
    if (m_job == Read) {
        if (readProgram())
            m_progress->report(m_row, m_result.model, QStringLiteral("done"));
        m_link->close();
        return;
    }
    // The bytes the blocks carry, for the rate shown.
    BlockAssembler assembler(int(DeviceProfile().writeBlockBytes));
    if (assembler.assemble(*m_image))
        for (const ImageBlock &block : assembler.blocks())
            m_bytes += block.blank ? 0 : block.data.size();
    m_link->setCallback([this](int value) { reportTransfer(value); });

    bool ok = true;
    if (m_job == Update) {
        m_progress->report(m_row, m_result.model, QStringLiteral("erase"));
        if (!m_link->erase())
            ok = fail(EraseFailed, QStringLiteral("the erase failed"));
    }
    if (ok) {
        m_phase = m_job == Update ? QStringLiteral("write") : QStringLiteral("verify");
        m_startMs = QDateTime::currentMSecsSinceEpoch();
        m_progress->report(m_row, m_result.model, m_phase, 0);
        const bool done = m_job == Update ? m_link->write(*m_image) : m_link->verify(*m_image);
        m_result.failedAt = m_link->firstFailedAddress();
        if (!done)
            ok = fail(WriteFailed, m_result.failedAt >= 0
                                       ? QStringLiteral("the block at 0x%1 did not %2")
                                             .arg(m_result.failedAt, 0, 16)
                                             .arg(m_job == Update ? QStringLiteral("write and verify")
                                                                  : QStringLiteral("verify"))
                                       : QStringLiteral("the write failed"));
    }
    // Only a panel whose every block verified is started; any other stays in
    // its bootloader, where the next run finds it again.
    if (ok && m_job == Update) {
        m_progress->report(m_row, m_result.model, QStringLiteral("wake-up"));
        if (!m_link->sendWakeUpPacket())
            ok = fail(WriteFailed, QStringLiteral("the wake-up packet could not be sent"));
    }
    m_link->close();
    if (ok) {
        m_result.ok = true;
        m_progress->report(m_row, m_result.model, QStringLiteral("done"), 100);
    }
}

bool PanelRun::readProgram()
{
    m_phase = QStringLiteral("read");
    const DeviceProfile profile;
    const quint32 end = m_link->protectedStart();
    QByteArray bytes;
    bytes.reserve(int(end * profile.bytesPerAddress));
    m_bytes = qint64(end) * profile.bytesPerAddress;
    m_startMs = QDateTime::currentMSecsSinceEpoch();
    for (quint32 address = 0; address < end; address += 0x80) {
        const QByteArray row = m_link->read(address, 64);
        if (row.size() != 256) {
            m_result.failedAt = address;
            return fail(ConnectionFailed, QStringLiteral("the read at 0x%1 failed").arg(address, 0, 16));
        }
        bytes += row;
        reportTransfer(int(qint64(address) * 100 / end));
    }
    QSaveFile file(m_output);
    const QByteArray hex = programAsHex(bytes);
    if (!file.open(QIODevice::WriteOnly) || file.write(hex) != hex.size() || !file.commit())
        return fail(FileAccessFailed, QStringLiteral("%1 could not be written").arg(m_output));
    m_result.ok = true;
    return true;
}

QByteArray PanelRun::programAsHex(const QByteArray &fileBytes)
{
    QByteArray bytes = fileBytes;
    // The bootloader keeps its own jump at 0 and the application's at 0x100
    // (file bytes 0x200): a file gives the application's at 0, where the
    // bootloader takes it from again.
    if (bytes.size() >= 0x208)
        bytes.replace(0, 8, bytes.mid(0x200, 8));
    return IntelHexDump::fromFileBytes(bytes);
}
