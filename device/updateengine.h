#pragma once

#include "device/errorcodes.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>

class Connection;
class FirmwareImage;

// The one update of a panel, under the wizard and the bench tool alike, on a
// link already open: erase, then write and read back every block, then start
// the application, which happens only once every block verified. A panel
// that failed stays in its bootloader, where the next search finds it.
// Progress goes to a function as it happens; the outcome is kept apart.
class UpdateEngine
{
public:
    // Identify is the front end's, before the link opens; the rest are ours.
    enum Phase { Identify, Erase, Write, Verify, Read, Start, PhaseCount };

    struct Outcome
    {
        bool ok = true;
        Phase phase = Erase;      // the phase that failed, when not ok
        ErrorCode code = NoError; // the failure's code in the wizard's table
        QString failure;          // what failed, in words
        qint64 failedAt = -1;     // device address of the first block that failed
        int blocksWritten = 0;
        int blocksVerified = 0;
        int retries = 0;          // requests the bootloader library sent again
        std::array<qint64, PhaseCount> phaseMs{};  // time each phase took; 0 where it did not run
        bool started = false;     // the panel left its bootloader for the application
    };

    using Progress = std::function<void(Phase phase, int percent)>;

    explicit UpdateEngine(Connection &link, const Progress &progress = Progress());

    // Erase, write and verify, start.
    bool update(const FirmwareImage &image);
    bool erase();
    // Write and verify every block; start the application only when all did.
    bool writeAndStart(const FirmwareImage &image);
    // Read back and compare, writing nothing; the panel stays in its bootloader.
    bool verify(const FirmwareImage &image) { return transfer(image, Verify); }
    // The program memory below the protected page, in file layout.
    bool read(QByteArray *fileBytes);

    const Outcome &outcome() const { return m_outcome; }
    static QString phaseName(Phase phase);

private:
    bool transfer(const FirmwareImage &image, Phase phase);
    bool fail(Phase phase, ErrorCode code, const QString &failure, qint64 at = -1);
    void begin(Phase phase);
    void report(Phase phase, int percent) const;
    void end(Phase phase);

    Connection &m_link;
    Progress m_progress;
    Outcome m_outcome;
    qint64 m_phaseStart = 0;
};
