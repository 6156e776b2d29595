#include "cli/interrupt.h"

#include <csignal>
#include <initializer_list>
#include <unistd.h>

namespace {
std::atomic<bool> g_requested{false};
std::atomic<int> g_signals{0};
std::atomic<int> g_status{0};

void onSignal(int number)
{
    const int count = ++g_signals;
    if (count >= 3)
        _exit(128 + number);
    if (count == 1)
        g_status = 128 + number;
    g_requested = true;
}
} // namespace

void Interrupt::watch()
{
    g_requested = false;
    g_signals = 0;
    g_status = 0;
    static const bool installed = [] {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        for (int number : {SIGINT, SIGTERM, SIGHUP})
            sigaction(number, &action, nullptr);
        // A reader that went away (| head, a dropped SSH session) makes
        // writes fail instead of ending the program mid-update.
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)installed;
}

const std::atomic<bool> &Interrupt::requested()
{
    return g_requested;
}

bool Interrupt::forced()
{
    return g_signals >= 2;
}

int Interrupt::exitStatus()
{
    return g_status;
}
