#include "library/driverdetection.h"

bool detectDrivers() { return false; }
