#pragma once

// Marks the process as one of ours that is running, where the system keeps
// such marks (on Windows a named mutex, "BootloaderWizard.Running", in the
// session's namespace): the installer will not replace the programs under a
// wizard or a bench tool that runs. Held until the process ends. Nothing
// elsewhere.
namespace RunningMark {
void hold();
}
