#pragma once

#include <QByteArray>
#include <QString>

// A POSIX pseudo-terminal: the panel holds the master side, clients open the
// slave by its path as they would open a serial port.
//
// The slave is put in raw mode at once (no echo, no line editing) and the
// panel keeps a slave descriptor of its own open for the terminal's whole
// life. Without it the master would see a hang-up each time the last client
// closes the port, which clients do several times in one session.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool open();
    void close();
    bool isOpen() const { return m_master >= 0; }

    int masterFd() const { return m_master; }
    QString slavePath() const { return m_path; }

    // What a serial driver does when its last user closes the port: unread
    // input is thrown away and exclusive use ends. Our own slave descriptor
    // keeps the terminal from ever being released, so the panel does it.
    void releaseByClients();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};
