#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>

// Faults the virtual panel can be told to show. Row numbers count the row
// writes (command 0x02) received since start, from 1, retries included (the
// same count rowWrites() gives); -1 means off. The probe faults apply to
// every read at 0xFF0000, the keep-alive read included.
struct PanelFaults
{
    bool probeSplit = false;        // probe reply in two halves with a pause between
    int probeSplitPauseMs = 200;
    bool probeDelayed = false;      // probe reply only after probeDelayMs
    int probeDelayMs = 2500;
    QByteArray probeReplyOverride;  // non-empty: these raw bytes instead of the probe reply (wrong, short, over-long)
    bool idMissing = false;         // no answer to 55 AA
    bool idTwoBytes = false;        // the model byte twice in answer to 55 AA
    bool eraseNoReply = false;      // erase requests get no answer and erase nothing
    int writeNoReplyAtRow = -1;     // that row write gets no answer and is not written, nor are the host's
                                    // retries of it; a write to another row ends the fault
    int writeWrongReplyAtRow = -1;  // that row write is written but answered with payload FD instead of 02
    qint64 corruptReadAddress = -1; // device address whose instruction's low byte reads back inverted
                                    // (the flash itself stays right)
    int dropLineAtRow = -1;         // on that row write the pseudo-terminal is closed (clients see a
                                    // hang-up); the row is not written and the panel stops serving
    int badChecksumReplies = 0;     // the next N framed replies carry a checksum off by one
    qint64 stuckAddress = -1;       // device address whose instruction does not take a value (stays erased)
    qint64 eraseMissAddress = -1;   // device address whose instruction an erase misses (keeps its old value)
    int oddReplyCommand = -1;       // 1 a read (not of the device ID), 2 a row write, 3 an erase: ...
    int oddReplyOccurrence = 1;     // ...the Nth such request since the faults were set, retries included...
    int lateReplyMs = 0;            // ...is answered this much later than it would be...
    bool doubledReply = false;      // ...and, if set, twice
    bool silentAfterId = false;     // after answering 55 AA, the panel answers nothing more
    bool probeNoiseByte = false;    // the next probe reply is spoilt: a stray byte in place of its first
    bool noiseBeforeEveryReply = false;  // one stray byte before every framed reply, the probe's included,
                                         // as a bridge can give
    int noiseBytes = 0;             // random bytes before every bootloader reply but the probe's,
                                    // 0x55 among them now and then, sometimes twice in a row
};

struct PanelOptions
{
    int modelByte = 1;              // raw byte answered to 55 AA
    bool paced = true;              // replies at bitRate, flash operations take time
    int bitRate = 115200;           // 10 bits a byte on the wire
    int pageEraseMs = 20;           // per erase page (0x400 addresses)
    int rowWriteMs = 2;             // per row (0x80 addresses)
    PanelFaults faults;
};

// The panel's serial bootloader on a pseudo-terminal, for tests and the demo.
// It serves on a thread of its own; every accessor is thread-safe.
//
//     PanelOptions options;
//     options.paced = false;              // fast tests; keep pacing for timing
//     VirtualPanel panel(options);
//     QVERIFY(panel.start());
//     ... open panel.devicePath() as a serial port ...
//
// Requests the bootloader cannot carry out get no answer (the host times
// out, as after a lost packet) and count in rejectedRequests(): a read of
// more than 64 instructions or at an odd address; a write that is not one
// whole row (LEN 1, 256 data bytes), off a row boundary or past the end of
// program memory; an erase off a page boundary or reaching past the end; a
// command the part does not have (0x04 to 0x07 and others). Reads outside
// program memory give 0 as the part does, 0xFF0000 gives the device ID.
//
// The line behaves like a port: clients may open and close the path as often
// as they like; when the last one closes, unread input is thrown away and
// exclusive use (TIOCEXCL) ends, and what the panel would send while nobody
// holds the port is lost.
class VirtualPanel
{
public:
    static constexpr quint32 kProgramEnd = 0x15800;        // address units
    static constexpr quint32 kProtectedStart = 0x15400;    // last page, never erased or written

    explicit VirtualPanel(const PanelOptions &options = PanelOptions());
    ~VirtualPanel();
    VirtualPanel(const VirtualPanel &) = delete;
    VirtualPanel &operator=(const VirtualPanel &) = delete;

    bool start();                   // opens the pseudo-terminal and starts serving
    void stop();
    QString devicePath() const;     // the pseudo-terminal's path, e.g. /dev/pts/4

    void setFaults(const PanelFaults &faults);
    void setModelByte(int modelByte);
    void resetBootloader();         // back in the bootloader after a LEN 0 packet
    bool inBootloader() const;

    // Flash as the Intel HEX file lays it out: file byte address = 2 x device
    // address, 4 bytes per instruction, the phantom byte 0.
    QByteArray fileBytes() const;
    QByteArray readFlash(quint32 address, int instructions) const;
    void fillFlash(quint8 value);   // sets every instruction's three bytes
    bool dumpHex(const QString &path) const;

    QList<QByteArray> packets() const;  // unescaped payloads received, checksum excluded
    void clearPackets();
    // Waits until at least count packets are recorded (since the last
    // clearPackets()); for requests that get no answer, such as LEN 0.
    bool waitForPackets(int count, int timeoutMs) const;
    int rowWrites() const;              // valid row write requests, retries included
    int pageErases() const;             // pages erased (the protected page is not)
    int rejectedRequests() const;       // valid packets the bootloader could not carry out
    int idRequests() const;             // 55 AA received while in the bootloader
    bool lineDropped() const;           // the line was closed by the dropLineAtRow fault

private:
    class Private;
    std::unique_ptr<Private> d;
};
