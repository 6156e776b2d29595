#pragma once

#include <QString>

// Where the firmware file dialog opens: the user's profile folder, as the
// platform names it.
QString hexFileStartFolder();
