#pragma once

// What a bench needs from the system while panels are written: the PC kept
// awake (the operator only plugs cables, and the idle timer counts keyboard
// and mouse), and a shutdown or a logoff held off, with the reason shown,
// for as long as writes run.
class BenchGuard
{
public:
    BenchGuard();
    ~BenchGuard();
    BenchGuard(const BenchGuard &) = delete;
    BenchGuard &operator=(const BenchGuard &) = delete;

    // The panels being written now; while there are any, a shutdown waits.
    void setPanelsWriting(int count);
};
