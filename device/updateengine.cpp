#include "device/updateengine.h"

#include "device/connection.h"
#include "firmware/deviceprofile.h"
#include "firmware/firmwareimage.h"

#include <QDateTime>
#include <QDebug>

UpdateEngine::UpdateEngine(Connection &link, const Progress &progress)
    : m_link(link)
    , m_progress(progress)
{
}

QString UpdateEngine::phaseName(Phase phase)
{
    static const char *const names[PhaseCount] = {"identify", "erase", "write", "verify", "read", "start"};
    return QString::fromLatin1(names[phase]);
}

void UpdateEngine::begin(Phase phase)
{
    m_phaseStart = QDateTime::currentMSecsSinceEpoch();
    report(phase, phase == Erase || phase == Start ? -1 : 0);
}

void UpdateEngine::report(Phase phase, int percent) const
{
    if (m_progress)
        m_progress(phase, percent);
}

void UpdateEngine::end(Phase phase)
{
    m_outcome.phaseMs[phase] += QDateTime::currentMSecsSinceEpoch() - m_phaseStart;
    m_outcome.retries = qMax(0, m_link.retries());
}

bool UpdateEngine::fail(Phase phase, ErrorCode code, const QString &failure, qint64 at)
{
    end(phase);
    m_outcome.ok = false;
    m_outcome.phase = phase;
    m_outcome.code = code;
    m_outcome.failure = failure;
    m_outcome.failedAt = at;
    qDebug().noquote() << QStringLiteral("Update of %1 failed in its %2 phase: error %3, %4.")
                              .arg(m_link.portName(), phaseName(phase))
                              .arg(int(code))
                              .arg(failure);
    return false;
}

bool UpdateEngine::update(const FirmwareImage &image)
{
    return erase() && writeAndStart(image);
}

bool UpdateEngine::erase()
{
    begin(Erase);
    if (!m_link.erase())
        return fail(Erase, EraseFailed, QStringLiteral("the erase failed"));
    end(Erase);
    return true;
}

bool UpdateEngine::writeAndStart(const FirmwareImage &image)
{
    if (!transfer(image, Write))
        return false;
    // Only a panel whose every block verified is sent to its application: a
    // half-written one stays in its bootloader, where a new search finds it
    // again without opening the panel.
    begin(Start);
    if (!m_link.sendWakeUpPacket())
        return fail(Start, WriteFailed, QStringLiteral("the wake-up packet could not be sent"));
    m_outcome.started = true;
    end(Start);
    return true;
}


bool UpdateEngine::transfer(const FirmwareImage &image, Phase phase)
{
    begin(phase);
    m_link.setProgress([this, phase](int percent) { report(phase, percent); });
    const bool done = phase == Write ? m_link.write(image) : m_link.verify(image);
    m_link.setProgress(Connection::Callback());
    const Connection::Transfer &transfer = m_link.lastTransfer();
    m_outcome.blocksWritten += transfer.blocksWritten;
    m_outcome.blocksVerified += transfer.blocksVerified;
    if (done) {
        end(phase);
        return true;
    }
    const QString what = phase == Write ? QStringLiteral("write and verify") : QStringLiteral("verify");
    return fail(transfer.verifyFailed ? Verify : phase, WriteFailed,
                transfer.failedAt >= 0 ? QStringLiteral("the block at 0x%1 did not %2").arg(transfer.failedAt, 0, 16).arg(what)
                                       : QStringLiteral("the write failed"),
                transfer.failedAt);
}

bool UpdateEngine::read(QByteArray *fileBytes)
{
    begin(Read);
    const DeviceProfile profile;
    const quint32 end = profile.protectedStart();
    fileBytes->clear();
    fileBytes->reserve(int(end * profile.bytesPerAddress));
    for (quint32 address = profile.programStart; address < end; address += profile.rowAddresses()) {
        const QByteArray row = m_link.read(address, profile.readInstructions());
        if (row.size() != int(profile.writeBlockBytes))
            return fail(Read, ConnectionFailed, QStringLiteral("the read at 0x%1 failed").arg(address, 0, 16), address);
        *fileBytes += row;
        report(Read, int(qint64(address) * 100 / end));
    }
    this->end(Read);
    return true;
}
