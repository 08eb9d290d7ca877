// The about box: product version, build and copyright read at run time from the program's own
// version information.
#include <cstdio>
#include <cstdlib>
#include <optional>
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

// The program's version information block, read from its own file.
class FileVersionInfo {
public:
    FileVersionInfo() {
        char path[1000] = {};
        if (GetModuleFileNameA(nullptr, path, sizeof path) == 0) {
            return;
        }
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
        if (size == 0) {
            return;
        }
        data_ = std::malloc(size);
        if (data_ != nullptr && !GetFileVersionInfoA(path, 0, size, data_)) {
            std::free(data_);
            data_ = nullptr;
        }
    }
    ~FileVersionInfo() { std::free(data_); }
    FileVersionInfo(const FileVersionInfo&) = delete;
    FileVersionInfo& operator=(const FileVersionInfo&) = delete;

    // A value of the first language and code page the block lists.
    std::optional<std::string> Query(const char* name) const {
        if (data_ == nullptr) {
            return std::nullopt;
        }
        WORD* translation = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(data_, "\\VarFileInfo\\Translation",
                            reinterpret_cast<void**>(&translation), &length) ||
            length < 2 * sizeof(WORD)) {
            return std::nullopt;
        }
        char path[80];
        std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                      translation[1], name);
        char* value = nullptr;
        if (!VerQueryValueA(data_, path, reinterpret_cast<void**>(&value), &length) ||
            value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    }

private:
    void* data_ = nullptr;
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

VersionInfo VersionInfoOfProgram() {
    const FileVersionInfo file;
    VersionInfo info;
    for (const char* name : {"ProductVersion", "PrivateBuild", "LegalCopyright"}) {
        if (const auto value = file.Query(name)) {
            info.Set(name, *value);
        }
    }
    return info;
}

void RunAboutBox(HINSTANCE instance, HWND owner, const AboutLines& lines, UiTrace& trace,
                 HWND* open) {
    AboutState state{lines, trace, open};
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, AboutProc,
                    reinterpret_cast<LPARAM>(&state));
    *open = nullptr;
    trace.Line("about-closed");
}

}  // namespace norvane
