#include "device/updateengine.h"

#include "device/connection.h"
#include "firmware/crc32.h"
#include "firmware/deviceprofile.h"
#include "firmware/firmwareimage.h"
#include "picboot/picboot.h"

#include <QDebug>

UpdateEngine::UpdateEngine(Connection &link, const Progress &progress, const std::atomic<bool> *stop)
    : m_link(link)
    , m_progress(progress)
    , m_stop(stop)
    , m_retriesBefore(qMax(0, link.retries()))
{
    m_link.setStopFlag(stop);
}

QString UpdateEngine::phaseName(Phase phase)
{
    static const char *const names[PhaseCount] = {"identify", "erase", "write", "verify", "read", "start"};
    return QString::fromLatin1(names[phase]);
}

void UpdateEngine::begin(Phase phase)
{
    m_phaseClock.start();
    m_running = phase;
    reportShare(phase, phase == Erase || phase == Start ? -1 : 0);
}

void UpdateEngine::report(Phase phase, int percent) const
{
    if (m_progress)
        m_progress(phase, percent);
}

void UpdateEngine::reportShare(Phase phase, int percent) const
{
    report(phase, percent < 0 ? percent : m_shareFrom + percent * (m_shareTo - m_shareFrom) / 100);
}

void UpdateEngine::end(Phase phase)
{
    qint64 &ms = m_outcome.phaseMs[phase];
    ms = qMax<qint64>(ms, 0) + m_phaseClock.elapsed();
    m_running = PhaseCount;
    m_outcome.retries = qMax(0, m_link.retries() - m_retriesBefore);
}

// The library's failure, in the words an operator can act on.
QString UpdateEngine::why() const
{
    switch (m_link.lastLibraryError()) {
    case PICBOOT_ERR_IO: return QStringLiteral("the port went away (the cable pulled out?)");
    case PICBOOT_ERR_TIMEOUT:
    case PICBOOT_ERR_CHECKSUM:
    case PICBOOT_ERR_RETRIES: return QStringLiteral("the panel did not answer");
    case PICBOOT_ERR_COMMAND: return QStringLiteral("the panel's answer did not fit the request");
    default: return QStringLiteral("the bootloader library refused the request");
    }
}

bool UpdateEngine::fail(Phase phase, ErrorCode code, const QString &failure, qint64 at)
{
    // The time goes to the phase that ran (a write whose read-back differs
    // fails as a verify), and to none when the job stopped between phases.
    if (m_running != PhaseCount)
        end(m_running);
    m_outcome.ok = false;
    m_outcome.phase = phase;
    m_outcome.code = code;
    m_outcome.failure = failure;
    m_outcome.failedAt = at;
    m_outcome.libraryError = m_link.lastLibraryError();
    qDebug().noquote() << QStringLiteral("Update of %1 failed in its %2 phase: %3, %4 (bootloader library result %5).")
                              .arg(m_link.portName(), phaseName(phase))
                              .arg(code == NoError ? QStringLiteral("no error code") : QStringLiteral("error %1").arg(int(code)))
                              .arg(failure)
                              .arg(m_outcome.libraryError);
    if (m_outcome.libraryError == PICBOOT_ERR_IO)
        qDebug().noquote() << QStringLiteral("The line to %1 failed and its link was closed. Unplug the panel's USB "
                                             "cable, plug it in again, and search again.").arg(m_link.portName());
    return false;
}

// Asked to stop: the panel stays in its bootloader, whatever phase is next.
bool UpdateEngine::stopped(Phase phase)
{
    if (!m_stop || !*m_stop)
        return false;
    m_outcome.interrupted = true;
    fail(phase, NoError, QStringLiteral("interrupted before the %1").arg(phaseName(phase)));
    return true;
}

bool UpdateEngine::update(const FirmwareImage &image, Ending ending, Check check)
{
    return erase() && writeAndStart(image, ending, check);
}

bool UpdateEngine::erase()
{
    if (stopped(Erase))
        return false;
    begin(Erase);
    if (!m_link.erase())
        return fail(Erase, EraseFailed, QStringLiteral("the erase failed: %1").arg(why()));
    end(Erase);
    return true;
}

bool UpdateEngine::writeAndStart(const FirmwareImage &image, Ending ending, Check check)
{
    if (transfer(image, Write) && check == WholeMemory)
        checkErased(image, Write);
    return finish(ending);
}

bool UpdateEngine::verify(const FirmwareImage &image, Ending ending)
{
    // One phase, one progress: the written blocks' share of the rows first.
    const DeviceProfile &profile = m_link.profile();
    const qint64 rows = profile.protectedStart() / profile.rowAddresses();
    m_shareTo = int(image.bytesToWrite(profile) / profile.writeBlockBytes * 100 / qMax<qint64>(1, rows));
    const bool written = transfer(image, Verify);
    m_shareFrom = m_shareTo;
    m_shareTo = 100;
    if (written)
        checkErased(image, Verify);
    m_shareFrom = 0;
    return finish(ending);
}

// The rest of the memory, read as the written blocks were; a cell there that
// is not erased fails the job as a block that differs does.
bool UpdateEngine::checkErased(const FirmwareImage &image, Phase after)
{
    if (stopped(Verify))
        return false;
    begin(Verify);
    m_outcome.checked = WholeMemory;
    m_link.setProgress([this](int percent) { reportShare(Verify, percent); });
    const bool done = m_link.verifyErased(image);
    m_link.setProgress(Connection::Callback());
    const Connection::Transfer &transfer = m_link.lastTransfer();
    m_outcome.blocksVerified += transfer.blocksVerified;
    if (done) {
        end(Verify);
        return true;
    }
    const qint64 row = transfer.failedAt & ~qint64(m_link.profile().rowAddresses() - 1);
    if (transfer.interrupted) {
        m_outcome.interrupted = true;
        return fail(Verify, NoError, QStringLiteral("interrupted during verify at 0x%1").arg(row, 0, 16), row);
    }
    if (transfer.verifyFailed) {
        m_outcome.differsAt = transfer.failedAt;
        return fail(Verify, after == Write ? WriteFailed : NoError,
                    QStringLiteral("the flash at 0x%1 is not erased: expected erased, as the file gives nothing there")
                        .arg(transfer.failedAt, 0, 16),
                    row);
    }
    return fail(Verify, after == Write ? WriteFailed : ConnectionFailed,
                QStringLiteral("the block at 0x%1 could not be read back: %2").arg(row, 0, 16).arg(why()), row);
}

// Only a panel whose job succeeded is sent to its application: after an
// update, one whose every block verified. Any other stays in its
// bootloader, where a new search finds it again without opening the panel.
bool UpdateEngine::finish(Ending ending)
{
    if (!m_outcome.ok || ending == StayInBootloader)
        return m_outcome.ok;
    if (stopped(Start))
        return false;
    begin(Start);
    if (!m_link.sendWakeUpPacket())
        return fail(Start, WriteFailed, QStringLiteral("the wake-up packet could not be sent: %1").arg(why()));
    m_outcome.started = true;
    end(Start);
    return true;
}

bool UpdateEngine::transfer(const FirmwareImage &image, Phase phase)
{
    if (stopped(phase))
        return false;
    begin(phase);
    m_link.setProgress([this, phase](int percent) { reportShare(phase, percent); });
    const bool done = phase == Write ? m_link.write(image) : m_link.verify(image);
    m_link.setProgress(Connection::Callback());
    const Connection::Transfer &transfer = m_link.lastTransfer();
    m_outcome.blocksWritten += transfer.blocksWritten;
    m_outcome.blocksVerified += transfer.blocksVerified;
    if (transfer.blocksReadBack > 0)
        m_outcome.readBackCrc = transfer.readBackCrc;
    if (done) {
        end(phase);
        return true;
    }
    const DeviceProfile &profile = m_link.profile();
    const qint64 block = transfer.failedAt & ~qint64(profile.rowAddresses() - 1);
    if (transfer.interrupted) {
        m_outcome.interrupted = true;
        return fail(phase, NoError, QStringLiteral("interrupted during %1 at 0x%2").arg(phaseName(phase)).arg(block, 0, 16),
                    block);
    }
    if (transfer.verifyFailed) {
        m_outcome.differsAt = transfer.failedAt;
        // Differing from the file is a failed update, not by itself a failed write.
        return fail(Verify, phase == Write ? WriteFailed : NoError,
                    QStringLiteral("the block at 0x%1 differs from the file at 0x%2").arg(block, 0, 16).arg(transfer.failedAt, 0, 16),
                    block);
    }
    if (transfer.failedAt < 0)
        return fail(phase, WriteFailed, QStringLiteral("the link to the panel is closed"));
    if (transfer.readFailed)
        return fail(phase, phase == Write ? WriteFailed : ConnectionFailed,
                    QStringLiteral("the block at 0x%1 could not be read back: %2").arg(block, 0, 16).arg(why()), block);
    return fail(phase, WriteFailed, QStringLiteral("the block at 0x%1 did not write: %2").arg(block, 0, 16).arg(why()), block);
}

bool UpdateEngine::read(QByteArray *fileBytes, Ending ending)
{
    if (stopped(Read))
        return false;
    begin(Read);
    const DeviceProfile &profile = m_link.profile();
    const quint32 end = profile.protectedStart();
    fileBytes->clear();
    fileBytes->reserve(int(end * profile.bytesPerAddress));
    // The CRC of the rows a file saved from this read would write, as read:
    // an update of that file returns the same for them where the panel
    // holds the same, so the two records can be compared.
    quint32 crc = 0;
    for (quint32 address = profile.programStart; address < end; address += profile.rowAddresses()) {
        if (m_stop && *m_stop) {
            m_outcome.interrupted = true;
            return fail(Read, NoError, QStringLiteral("interrupted during read at 0x%1").arg(address, 0, 16), address);
        }
        const QByteArray row = m_link.read(address, profile.readInstructions());
        if (row.size() != int(profile.writeBlockBytes))
            return fail(Read, ConnectionFailed, QStringLiteral("the read at 0x%1 failed: %2").arg(address, 0, 16).arg(why()),
                        address);
        *fileBytes += row;
        bool blank = true;
        for (int k = 0; k < row.size() && blank; ++k)
            blank = FirmwareImage::isPhantom(quint64(k)) || quint8(row.at(k)) == 0xFF;
        if (!blank)
            crc = crc32(row, crc);
        report(Read, int(qint64(address) * 100 / end));
    }
    m_outcome.readBackCrc = crc;
    this->end(Read);
    return finish(ending);
}
