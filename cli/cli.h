#pragma once

#include <QStringList>

#include <cstdio>

// The commands of bootloader-cli, callable in-process (the tests do) with the
// program's arguments after its name. Returns the exit status: 0 when every
// panel named or found did what was asked, 1 when any failed, 2 for a usage
// error or a file that does not load (nothing is erased then).
class Cli
{
public:
    static int run(const QStringList &arguments, std::FILE *out = stdout, std::FILE *err = stderr);
    static QString help();
};
