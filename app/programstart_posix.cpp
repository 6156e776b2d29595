#include "app/programstart.h"

void ProgramStart::ignoreOutsidePluginPaths()
{
}

void ProgramStart::useParentConsole()
{
}
