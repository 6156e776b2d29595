#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <vector>

// Program memory of the PIC24FJ128GA106 as its bootloader presents it.
// Addresses are program addresses: two address units per 24-bit instruction.
// Outside the bootloader's reach the bytes travel in the file layout: low,
// middle, upper, then a phantom 0.
//
// Flash behaves as flash does: an erase sets a whole page to ones, and
// programming can only clear bits, so programming over a page that was not
// erased leaves the AND of old and new contents.
//
// The bootloader guards itself: the last page (its own code and the
// configuration words) is never erased or programmed, and the reset jump at
// 0x0/0x2 always points at the bootloader. The application's reset jump,
// written by the host at 0x0/0x2, is programmed at 0x100/0x102 instead, and
// host data for 0x100/0x102 is ignored so it cannot clobber that jump.
class FlashModel
{
public:
    static constexpr quint32 kProgramEnd = 0x15800;
    static constexpr quint32 kPageSize = 0x400;          // address units per erase page
    static constexpr quint32 kRowSize = 0x80;            // address units per write row
    static constexpr int kRowDataBytes = 256;            // file-layout bytes per row
    static constexpr quint32 kProtectedStart = 0x15400;
    static constexpr quint32 kAppResetAddress = 0x100;   // where the application's jump is kept
    static constexpr quint32 kDeviceIdAddress = 0xFF0000;
    static constexpr quint32 kDeviceId = 0x001008;
    // GOTO 0x15400, the bootloader's entry in the protected page.
    static constexpr quint32 kBootJumpLow = 0x045400;
    static constexpr quint32 kBootJumpHigh = 0x000001;
    static constexpr quint32 kErased = 0xFFFFFF;

    FlashModel();

    // Both take an address already checked for alignment and range. They
    // return false when the page or row is protected and was left alone.
    bool erasePage(quint32 address);
    bool writeRow(quint32 address, const QByteArray &data);

    // The 24-bit word at an even address: flash, the device ID, or 0 where
    // nothing is implemented (as the part reads unimplemented memory).
    quint32 instruction(quint32 address) const;

    // 4 bytes per instruction from an even address, in file layout.
    QByteArray read(quint32 address, int instructions) const;
    QByteArray fileBytes() const;                       // all of program memory
    void fill(quint8 value);
    // A cell that does not take a value: programming leaves the instruction
    // at this address as it was. -1 for none.
    void setStuckAddress(qint64 address) { m_stuck = address; }
    // The instruction at this device address keeps what it held through an erase.
    void setEraseMissAddress(qint64 address) { m_eraseMiss = address; }

private:
    void program(quint32 index, quint32 word);

    std::vector<quint32> m_words;                       // one per instruction
    qint64 m_stuck = -1;
    qint64 m_eraseMiss = -1;
};
