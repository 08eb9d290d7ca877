// norvane.exe: finds the device on a serial port and writes the embedded firmware image into
// it. The exit status tells scripts the outcome (see RunProgrammerDialog).
#include <string>

#include "app/Startup.h"
#include "app/UiTrace.h"
#include "app/win32/ProgrammerDlg_win32.h"
#include "platform/Win32.h"
#include "strings/MultiStrings.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace norvane;

    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    // Everything the window shows comes from the string table: without it, stop before the
    // window opens and before any port is touched.
    if (const auto error = LoadStringTable(StringTableResource(), TheStrings())) {
        const std::string text = "norvane: " + *error;
        MessageBoxA(nullptr, text.c_str(), "Norvane", MB_OK | MB_ICONERROR);
        return kExitBadStrings;
    }
    UiTrace trace = UiTrace::FromEnvironment();
    const int status = RunProgrammerDialog(instance, TheStrings(), trace);
    trace.Line("exit", std::to_string(status));
    return status;
}
