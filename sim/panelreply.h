#pragma once

#include <QByteArray>

// What the panel does in answer to one request: the bytes it puts on the
// line and the time it takes before and while sending them.
struct PanelReply
{
    QByteArray bytes;       // on the wire, already framed; empty: no answer
    int flashMs = 0;        // modelled flash operation before the answer (paced only)
    int delayMs = 0;        // extra pause before the answer (a fault; always kept)
    int splitAt = -1;       // > 0: pause after that many bytes...
    int splitPauseMs = 0;   // ...for this long (a fault; always kept)
    bool dropLine = false;  // close the line instead of answering
};
