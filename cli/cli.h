#pragma once

#include <QStringList>

#include <cstdio>
#include <functional>

// The commands of bootloader-cli, callable in-process (the tests do) with the
// program's arguments after its name. Returns the exit status: 0 when every
// panel named or found did what was asked, 1 when any failed, 2 for a usage
// error or a file that does not load (nothing is erased then), and 128 plus
// the signal's number when interrupted (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).
class Cli
{
public:
    // beginRun runs once the arguments hold and a command starts: the
    // program opens its run log there, so --help and a usage error leave none.
    static int run(const QStringList &arguments, std::FILE *out = stdout, std::FILE *err = stderr,
                   const std::function<void()> &beginRun = std::function<void()>());
    static QString help();
};
