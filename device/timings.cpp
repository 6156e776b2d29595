#include "device/timings.h"

Timings &Timings::current()
{
    static Timings timings;
    return timings;
}
