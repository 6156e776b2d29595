#pragma once

#include <QString>

// Sends every debug line to the console and, for each run, to a file of its
// own, so that a technician can mail the log of a failed update to support.
// Only the last few run logs are kept.
namespace DebugLog {

constexpr int KeptRuns = 20;

// The folder the program's run logs go to: "logs" in the user's local
// application-data folder.
QString defaultFolder();

// Opens a new run log in `folder`, removes the oldest run logs beyond
// `keep` (by time; never one that another run still writes), and installs
// the message handler. Returns the new file's path, or
// an empty string when the file could not be made (the console still gets
// every line).
QString install(const QString &folder, int keep = KeptRuns);

// Restores the previous handler and closes the run log.
void uninstall();

// Put before every line the calling thread writes: the bench tool names the
// panel each of its threads works on.
void setThreadPrefix(const QString &prefix);

} // namespace DebugLog
