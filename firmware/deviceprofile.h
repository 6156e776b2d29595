#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// Every fact of the one supported controller, PIC24FJ128GA106, and of the
// panel family around it, as the bootloader and the panel's own
// identification see them. Nothing else in the program spells these numbers;
// the bootloader library's wire layer (picboot/) and the virtual panel keep
// their own, as the far ends of the line do.
struct DeviceProfile
{
    quint32 deviceId = 0x1008;          // DEVID as the part reads it at deviceIdAddress
    QString name = QStringLiteral("PIC24FJ128GA106");
    quint32 programStart = 0;
    quint32 programEnd = 0x157FF;       // last program address
    quint32 ignoreAddress1 = 0x100;     // the bootloader keeps the application's reset jump here...
    quint32 ignoreAddress2 = 0x102;     // ...and here
    quint32 bytesPerAddress = 2;        // image bytes per device address
    quint32 eraseBlockBytes = 2048;     // one page, 0x400 addresses
    quint32 readUnitBytes = 4;          // one instruction, the unit a read counts in
    quint32 writeBlockBytes = 256;      // one row, 0x80 addresses
    quint32 deviceParam1 = 2;           // copied into every write and read-back request
    quint32 deviceParam2 = 2;

    quint32 deviceIdAddress = 0xFF0000;
    quint32 bootloaderJump = 0;         // the bootloader's own jump, words 0 and 2, rewritten as it writes
    quint32 configFirst = 0x157FA;      // the three configuration words, in the protected page
    int resetJumpBytes = 8;             // the reset jump, two words, as a file lays it out
    quint8 eraseRetries = 5;
    int bitRate = 115200;

    // The panel's identification, before its bootloader link is opened: a
    // framed read of one instruction at deviceIdAddress, which only this
    // bootloader answers with exactly probeReply, then the panel's own
    // question, answered with one raw byte, its model.
    QByteArray probeRequest = QByteArray::fromHex("555501010000ffff04");
    QByteArray probeReply = QByteArray::fromHex("555501010000ff08100000e704");
    QByteArray idRequest = QByteArray::fromHex("55aa");

    // The last page holds the bootloader and the configuration words: never
    // erased, never written.
    quint32 protectedStart() const { return programEnd + 1 - eraseBlockBytes / bytesPerAddress; }
    // The most one read request returns: one row, as a write.
    int readInstructions() const { return int(writeBlockBytes / readUnitBytes); }
    quint32 rowAddresses() const { return writeBlockBytes / bytesPerAddress; }
    // Seconds one block takes on the line: a row written and read back, or a
    // row read alone, each request and reply with its framing.
    double blockSeconds(bool writing) const
    {
        const int framed = int(writeBlockBytes) + 9;  // STX STX, header, data, checksum, ETX
        return (writing ? 2 * framed + 14 : framed + 9) * 10.0 / bitRate;
    }
    // Where the moved reset jump lies as a file lays the flash out.
    quint32 keptResetJumpByte() const { return ignoreAddress1 * bytesPerAddress; }

    // A smaller part of the family: its program memory ends where ours holds
    // code, and its last words, its configuration, would land there. Files
    // built for it show it by data in those words with nothing above them.
    struct SmallerPart
    {
        int kilobytes;
        quint32 end;  // first device address past its program memory
    };
    static const QVector<SmallerPart> &smallerParts();
    // The size of the smaller part whose configuration words hold `address`; 0 none.
    static int smallerPartAt(qint64 address);
    // The words before `end` a part of the family keeps its configuration in
    // (two, or three on the newer families).
    static constexpr quint32 configSpan = 6;

    // The panel models, by the byte a panel answers to 55 AA; empty for a
    // byte no known model has.
    static QString modelName(int id);
    // The controller every known panel model carries: what a file is
    // checked against and how a port is probed before any panel answered.
    static const DeviceProfile &supported();
    // The profile of a panel that answered `id`; null for a byte no known
    // model has.
    static const DeviceProfile *forModel(int id);
};
