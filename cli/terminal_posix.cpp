#include "cli/terminal.h"

#include <cstdlib>
#include <cstring>

#include <unistd.h>

bool outputIsTerminal()
{
    const char *term = std::getenv("TERM");
    return ::isatty(STDOUT_FILENO) && !(term && std::strcmp(term, "dumb") == 0);
}

void useUtf8Output()
{
}

QString turnQuickEditOff()
{
    return QString();
}

QString restoreConsoleInput()
{
    return QString();
}
