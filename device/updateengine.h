#pragma once

#include "device/errorcodes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

#include <array>
#include <atomic>
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
    // What the panel is left in once the job has succeeded.
    enum Ending { StartApplication, StayInBootloader };
    // What an update reads back: the blocks it wrote, or the whole program
    // memory below the protected page, erased where the file gives nothing.
    enum Check { WrittenBlocks, WholeMemory };

    struct Outcome
    {
        bool ok = true;
        Phase phase = Erase;      // the phase that failed, when not ok
        ErrorCode code = NoError; // the failure's code in the wizard's table; none for a verify that differs
        QString failure;          // what failed, in words
        qint64 failedAt = -1;     // device address of the first block that failed
        qint64 differsAt = -1;    // where that block read back other than the file
        int libraryError = 0;     // the bootloader library's result that failed, 0 none
        bool interrupted = false; // stopped as asked, at a block boundary
        int blocksWritten = 0;
        int blocksVerified = 0;
        int retries = 0;          // requests the bootloader library sent again
        qint64 readBackCrc = -1;  // CRC-32 of what the panel returned when read back or read, -1 nothing read
        std::array<qint64, PhaseCount> phaseMs = {-1, -1, -1, -1, -1, -1};  // each phase's time; -1 where it did not run
        bool started = false;     // the panel left its bootloader for the application
        Check checked = WrittenBlocks;  // how much of the memory was read back and compared
    };

    using Progress = std::function<void(Phase phase, int percent)>;

    // `stop`, when given, is read before each block and each phase: once
    // true, the engine stops there and leaves the panel in its bootloader.
    explicit UpdateEngine(Connection &link, const Progress &progress = Progress(),
                          const std::atomic<bool> *stop = nullptr);

    // Erase, write and verify, start.
    bool update(const FirmwareImage &image, Ending ending = StartApplication, Check check = WrittenBlocks);
    bool erase();
    // Write and verify every block (and with WholeMemory the rest of the
    // memory, erased), and start the application only when all did.
    bool writeAndStart(const FirmwareImage &image, Ending ending = StartApplication, Check check = WrittenBlocks);
    // Read back the whole memory and compare, writing nothing.
    bool verify(const FirmwareImage &image, Ending ending = StayInBootloader);
    // The program memory below the protected page, in file layout.
    bool read(QByteArray *fileBytes, Ending ending = StayInBootloader);

    const Outcome &outcome() const { return m_outcome; }
    static QString phaseName(Phase phase);

private:
    bool transfer(const FirmwareImage &image, Phase phase);
    bool checkErased(const FirmwareImage &image, Phase after);
    bool finish(Ending ending);
    bool stopped(Phase phase);
    bool fail(Phase phase, ErrorCode code, const QString &failure, qint64 at = -1);
    void begin(Phase phase);
    void end(Phase phase);
    void report(Phase phase, int percent) const;
    void reportShare(Phase phase, int percent) const;
    QString why() const;

    Connection &m_link;
    Progress m_progress;
    const std::atomic<bool> *m_stop;
    Outcome m_outcome;
    QElapsedTimer m_phaseClock;  // steady: a clock set meanwhile moves no phase time
    int m_retriesBefore = 0;     // the link's resends before this engine, not its own
    Phase m_running = PhaseCount;  // the phase whose time runs, PhaseCount none
    // A pass that is one part of its phase (a verify's written blocks, then
    // the rest) reports its own 0..99 within this share of the phase's.
    int m_shareFrom = 0;
    int m_shareTo = 100;
};
