// The Windows program's main window (dialog 102) and about box (dialog 100).
#pragma once

#include "platform/Win32.h"
#include "serial/PortList.h"

namespace norvane {

class MultiStrings;
class UiTrace;
struct AboutLines;
class VersionInfo;

// Shows the main window, which starts the programming job on `ports` at once, and runs it
// until it has closed. Returns the program's exit status (ExitStatusOf; 1 when no result
// arrived).
int RunProgrammerDialog(HINSTANCE instance, const MultiStrings& strings, AboutLines about,
                        UiTrace& trace, PortList ports);

// Centres a dialog on its owner, or on the screen's work area when it has none.
void CenterDialog(HWND dialog);

// The values the about box shows, from the program's own version information block.
VersionInfo VersionInfoOfProgram();

// Shows the about box, modal to `owner`. While it is up, `*open` holds its window.
void RunAboutBox(HINSTANCE instance, HWND owner, const AboutLines& lines, UiTrace& trace,
                 HWND* open);

}  // namespace norvane
