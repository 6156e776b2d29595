#pragma once

#include "firmware/deviceprofile.h"
#include "picboot/picboot.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <vector>

class FirmwareImage;

// One open bootloader link to one panel: erase, write in 256-byte blocks with
// read-back, keep-alive and close.
class Connection
{
public:
    using Callback = std::function<void(int)>;

    // Progress values passed to the callback during write(), besides 0..99.
    enum Progress { Ended = -1, WriteFailed = -2, VerifyFailed = -3 };

    // What the last write() or verify() did. Our own code reads it here: the
    // callback's values mix progress with the outcome.
    struct Transfer
    {
        bool verifyFailed = false;  // a block read back wrong; else one did not write or read, or the image was bad
        bool readFailed = false;    // a block could not be read back
        qint64 failedAt = -1;       // device address of the first block that failed
        int blocksWritten = 0;
        int blocksVerified = 0;
        bool interrupted = false;   // stopped at a block boundary, as asked; failedAt the next block
        int blocksReadBack = 0;
        quint32 readBackCrc = 0;    // CRC-32 of what the panel returned for those blocks, in order
    };

    Connection(const QString &location, int handle, int id,
               const DeviceProfile &profile = DeviceProfile::supported());

    bool close();
    bool erase();
    // The image as text lines, checked and placed into blocks first.
    bool write(const QVector<QByteArray> &image);
    bool write(const FirmwareImage &image);
    // Reads every block the image would write back and compares, writing
    // nothing; reports progress as write() does.
    bool verify(const FirmwareImage &image);
    // Reads every row below the protected page that the image leaves out and
    // checks it erased; the result in lastTransfer(), progress as verify().
    bool verifyErased(const FirmwareImage &image);
    const Transfer &lastTransfer() const { return m_transfer; }
    // Our own code's progress, 0..99, beside the callback: the wizard's page
    // holds that.
    void setProgress(const Callback &progress) { m_progress = progress; }
    // Requests the bootloader library sent again on this link, -1 unknown.
    int retries() const;
    // The bootloader library's result of the last call that failed.
    int lastLibraryError() const { return m_libraryError; }
    // Checked before each block: once it reads true, write() and verify()
    // stop there and the panel stays in its bootloader.
    void setStopFlag(const std::atomic<bool> *stop) { m_stop = stop; }
    // Up to 64 instructions from `address`, four bytes each, the fourth 0;
    // empty when the read failed.
    QByteArray read(quint32 address, int instructions);
    // The keep-alive read, with a short answer time of its own; false when
    // the panel did not answer, after which it is not woken again.
    bool wakeUp();
    bool answersKeepAlive() const { return m_answersKeepAlive; }
    bool sendWakeUpPacket();
    void setCallback(const Callback &callback) { m_callback = callback; }
    QString portName() const { return m_portName; }
    int id() const { return m_id; }
    QString location() const { return m_location; }

    // First device address of the last page, which holds the bootloader and
    // the configuration words: never erased, never written.
    quint32 protectedStart() const { return m_profile.protectedStart(); }
    const DeviceProfile &profile() const { return m_profile; }

    // Named by the design, kept whole, but called by nothing in the
    // programs (the tests use them): the read-back of one block, a write
    // from a file of image lines, the device ID read, and the HEX reader
    // under its first name (FirmwareImage::load is the programs' way in).
    bool verifyWrite(PicRequest &request, const unsigned char *data);
    bool writeFile(const QString &path);
    int readDeviceId(int handle);
    int handle() const { return m_handle; }
    // Reads an Intel HEX file into a program memory image; never null, owned
    // by the caller, empty on every failure.
    static QVector<QByteArray> *parseHexFile(const QString &path, int *failedLine = nullptr);

private:
    void report(int value) const;
    // A request record with this link's device parameters.
    PicRequest makeRequest(quint8 command, quint32 address, int bytes) const;
    bool linkOpen(const char *operation) const;
    bool transfer(const FirmwareImage &image, bool writing);
    void noteResetJump(const FirmwareImage &image);
    int readDeviceIdArea(int handle, std::vector<unsigned char> *buffer, int retries) const;
    int quickRead();
    bool verifyBlock(PicRequest &request, const unsigned char *data, quint32 *firstMismatch);
    // A row as read against what it should hold, word by word, but where the
    // bootloader keeps its own jump and the application's.
    bool matches(const QByteArray &read, const unsigned char *expected, quint32 rowAddress,
                 quint32 *firstMismatch) const;

    QString m_location;
    QString m_portName;
    int m_handle = 0;
    DeviceProfile m_profile;
    Callback m_callback;
    Callback m_progress;
    int m_id = -1;
    // OpenPIC may hand out 0 as a valid handle, so "closed" cannot be told by
    // the handle alone; after close() no call may reach another link.
    bool m_open = true;
    bool m_answersKeepAlive = true;
    Transfer m_transfer;
    int m_libraryError = 0;
    const std::atomic<bool> *m_stop = nullptr;
    // The file's reset jump (its words at 0 and 2, 8 file bytes), which the
    // bootloader keeps at 0x100/0x102; empty while the image gives none.
    QByteArray m_resetJump;
};
