#pragma once

// What the wizard settles before Qt starts: the same for the program and the
// tools that run the real wizard (the demo, the screenshots).
namespace ProgramStart {

// Qt's high-DPI scaling, at the screen's own factor: 150 % stays 150 %, not
// 200 %, so the window keeps its layout and everything in it scales
// together, the style sheet's pixel sizes and the texts in points alike.
void scaleWithTheScreen();

// Qt's plugin path variables that other Qt software left in the system's
// environment are not ours: a broken platform plugin there would keep the
// wizard from starting. On Windows the plugins come from the program's own
// folder only; elsewhere the system's Qt is used as the system set it up.
void ignoreOutsidePluginPaths();

// Output for a console where there is one to write to: a Windows program
// built for windows has none unless it takes its parent's (typed in cmd);
// where the output is redirected, or on other systems, nothing changes.
void useParentConsole();

} // namespace ProgramStart
