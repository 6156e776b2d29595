#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>

// Faults the virtual panel can be told to show. Row numbers count the row
// writes (command 0x02) received since start, from 1; -1 means off.
struct PanelFaults
{
    bool probeSplit = false;        // probe reply in two parts with a pause between
    int probeSplitPauseMs = 200;
    bool probeDelayed = false;      // probe reply only after probeDelayMs
    int probeDelayMs = 2500;
    QByteArray probeReplyOverride;  // non-empty: sent instead of the probe reply (wrong, short, over-long)
    bool idMissing = false;         // no answer to 55 AA
    bool idTwoBytes = false;        // two bytes in answer to 55 AA
    bool eraseNoReply = false;      // erase requests get no answer
    int writeNoReplyAtRow = -1;     // that row write gets no answer (every try)
    int writeWrongReplyAtRow = -1;  // that row write is answered with a wrong reply
    qint64 corruptReadAddress = -1; // device address whose low byte reads back wrong
    int dropLineAtRow = -1;         // the pseudo-terminal is closed on that row write
    int badChecksumReplies = 0;     // the next N replies carry a bad checksum
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
