#pragma once

#include "device/deviceprofile.h"
#include "picboot/picboot.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>
#include <vector>

struct ImageBlock;

// One open bootloader link to one panel: erase, write in 256-byte blocks with
// read-back, keep-alive and close.
class Connection
{
public:
    using Callback = std::function<void(int)>;

    // Progress values passed to the callback during write(), besides 0..99.
    enum Progress { Ended = -1, WriteFailed = -2, VerifyFailed = -3 };

    Connection(const QString &location, int handle, int id);

    bool close();
    bool erase();
    bool write(const QVector<QByteArray> &image);
    // Reads every block the image would write back and compares, writing
    // nothing; reports progress as write() does.
    bool verify(const QVector<QByteArray> &image);
    // The device address of the first block that failed to write or verify
    // in the last write() or verify(), -1 when none did.
    qint64 firstFailedAddress() const { return m_firstFailed; }
    // Up to 64 instructions from `address`, four bytes each, the fourth 0;
    // empty when the read failed.
    QByteArray read(quint32 address, int instructions);
    bool verifyWrite(PicRequest &request, const unsigned char *data);
    // The keep-alive read, with a short answer time of its own; false when
    // the panel did not answer, after which it is not woken again.
    bool wakeUp();
    bool awake() const { return m_awake; }
    bool sendWakeUpPacket();
    void setCallback(const Callback &callback);
    QString portName() const;
    int id() const;
    int handle() const;
    QString location() const;
    bool writeFile(const QString &path);
    int readDeviceId(int handle);

    // First device address of the last page, which holds the bootloader and
    // the configuration words: never erased, never written.
    quint32 protectedStart() const;

    // Reads an Intel HEX file into a program memory image; never null, owned
    // by the caller, empty on every failure.
    static QVector<QByteArray> *parseHexFile(const QString &path, int *failedLine = nullptr);

private:
    void report(int value) const;
    bool linkOpen(const char *operation) const;
    bool transfer(const QVector<QByteArray> &image, bool writing);
    int readDeviceIdArea(int handle, std::vector<unsigned char> *buffer, int retries) const;
    bool verifyBlock(PicRequest &request, const unsigned char *data, quint32 *firstMismatch);

    QString m_location;
    QString m_portName;
    int m_handle = 0;
    DeviceProfile m_profile;
    Callback m_callback;
    int m_id = -1;
    // OpenPIC may hand out 0 as a valid handle, so "closed" cannot be told by
    // the handle alone; after close() no call may reach another link.
    bool m_open = true;
    bool m_awake = true;
    qint64 m_firstFailed = -1;
    // The file's reset jump (its words at 0 and 2, 8 file bytes), which the
    // bootloader keeps at 0x100/0x102; empty while the image gives none.
    QByteArray m_resetJump;
};
