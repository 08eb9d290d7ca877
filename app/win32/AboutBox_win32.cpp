// The about box: product version, build and copyright read at run time from the program's own
// version information.
#include <string>

#include "app/AboutBox.h"
#include "app/UiTrace.h"
#include "app/win32/ProgrammerDlg_win32.h"
#include "app/win32/resource.h"
#include "platform/Win32.h"

namespace norvane {
namespace {

struct AboutState {
    const AboutLines& lines;
    UiTrace& trace;
    HWND* open;
};

void SetItemText(HWND box, int id, const std::string& text) {
    SetDlgItemTextA(box, id, text.c_str());
}

INT_PTR CALLBACK AboutProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* state = reinterpret_cast<AboutState*>(lParam);
            const AboutLines& lines = state->lines;
            *state->open = box;
            SetItemText(box, IDC_ABOUT_VERSION, lines.version);
            SetItemText(box, IDC_ABOUT_BUILD, lines.build);
            SetItemText(box, IDC_ABOUT_COPYRIGHT, lines.copyright);
            SetWindowTextA(box, lines.caption.c_str());
            state->trace.Line("about caption", lines.caption);
            state->trace.Line("about version", lines.version);
            state->trace.Line("about build", lines.build);
            state->trace.Line("about copyright", lines.copyright);
            CenterDialog(box);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(box, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void RunAboutBox(HINSTANCE instance, HWND owner, const AboutLines& lines, UiTrace& trace,
                 HWND* open) {
    AboutState state{lines, trace, open};
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, AboutProc,
                    reinterpret_cast<LPARAM>(&state));
    *open = nullptr;
    trace.Line("about-closed");
}

}  // namespace norvane
