#include "device/runningmark.h"

void RunningMark::hold()
{
}
