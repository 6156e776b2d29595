#include "app/singleinstance.h"

// The desktop decides which window comes to the front.
bool SingleInstance::raise(qint64)
{
    return false;
}
