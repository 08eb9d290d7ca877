// The Windows program's main window (dialog 102) and about box (dialog 100).
#pragma once

#include "platform/Win32.h"

namespace norvane {

class CMultiStrings;
class UiTrace;

// Shows the main window, which starts the programming job at once, and runs it until it has
// closed. Returns the program's exit status: 0 after a successful programming, the string id
// of the result's message otherwise, 1 for a result without a message (or none at all).
int RunProgrammerDialog(HINSTANCE instance, const CMultiStrings& strings, UiTrace& trace);

// Centres a dialog on its owner, or on the screen's work area when it has none, as dialogs of
// this program have always opened.
void CenterDialog(HWND dialog);

// Shows the about box, modal to `owner`.
void RunAboutBox(HINSTANCE instance, HWND owner, const CMultiStrings& strings, UiTrace& trace);

}  // namespace norvane
