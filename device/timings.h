#pragma once

// Every wait the program makes on a clock, in one place, so that a test can
// shorten it; the program never changes them.
struct Timings
{
    int answerMs = 2000;          // a port's answer to the probe and to 55 AA
    int probeGraceMs = 1000;      // beyond the two answers, to open and close a port being probed
    int linkTimeoutMs = 3000;     // silence allowed inside a bootloader reply
    int linkOpenTries = 4;        // opens of the link after the probe, for a driver slow to let the port go...
    int linkOpenRetryMs = 250;    // ...this long apart
    int eraseMsPerPage = -1;      // extra wait per erased page; -1 the library's own
    int keepAliveMs = 10000;      // between two keep-alive passes
    int keepAliveAnswerMs = 300;  // a keep-alive read; a healthy panel answers in a few ms
    int scanDisplayMs = 2000;     // the search stays on screen at least this long
    int wakeUpPauseMs = 1000;     // after the wake-up packet, for the panel to start its firmware
    int fileIdleMs = 10000;       // a firmware file read from a pipe may be silent this long
    int watchPollMs = 1000;       // between two looks at the serial ports when watching for panels

    static Timings &current();
};
