#pragma once

#include <QString>

class QLockFile;

// One wizard at a time for a user: a second one (a double click too many)
// would fight the first for the serial ports, and Windows lets one program
// at a time hold a COM port. A second wizard opens no port: it brings the
// first to the front where the system lets it, and ends.
class SingleInstance
{
public:
    // True when no other wizard of this user runs; the claim holds until the
    // process ends. False when one does; *raised says whether its window
    // was brought to the front.
    static bool claim(bool *raised);

private:
    // The window of the process `pid`, brought to the front; false where the
    // system does not let a program do that.
    static bool raise(qint64 pid);
};
