// The main window on Win32: dialog template 102, a DialogView over ProgrammerDlg. It draws
// what the logic tells it and forwards close requests, keys and the system menu's item to it;
// the job's messages are queued by ProgrammerDlg and applied when a wake-up message reaches
// the dialog, whichever message loop (ours, the about box's, a message box's) delivers it.
//
// It runs modeless under a message loop of our own, so that keys can be looked at before the
// dialog manager sees them: Esc asks to close, Enter is swallowed.
#include "app/win32/ProgrammerDlg_win32.h"

#include <string>

#include "app/AboutBox.h"
#include "app/ProgrammerDlg.h"
#include "app/ResultBoxPlacement.h"
#include "app/UiTrace.h"
#include "app/win32/resource.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

// Posted by the worker's side of ProgrammerDlg: messages are waiting in its queue.
constexpr UINT kWakeMessage = WM_APP + 1;

int LabelId(uint32_t target) {
    static const int ids[] = {IDC_STATUS_TEXT, IDC_VERSION_TEXT, IDC_DEVICE_TEXT, IDC_SERIAL_TEXT};
    return ids[target];
}

const char* LabelName(uint32_t target) {
    static const char* const names[] = {"status", "version", "device", "serial"};
    return names[target];
}

std::string RectText(const RECT& r) {
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top);
}

// A message box opens centred over its owner, on the device fields: a CBT hook moves it (and,
// when the box needs the room, the owner), as it is activated, to where PlaceResultBox says.
// The hook runs inside the system's activation, so everything but the box's own size is looked
// up before the box opens.
struct BoxPlacement {
    HWND ownerWindow = nullptr;
    ScreenRect owner;
    ScreenRect workArea;
    HHOOK hook = nullptr;
    RECT placed{};
    RECT ownerPlaced{};
};
BoxPlacement* placement = nullptr;  // user-interface thread only, while the box opens

ScreenRect ScreenRectOf(const RECT& r) {
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

LRESULT CALLBACK PlaceBoxHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && placement != nullptr) {
        const HWND box = reinterpret_cast<HWND>(wParam);
        RECT own{};
        GetWindowRect(box, &own);
        const ResultBoxPlace at = PlaceResultBox(placement->owner, own.right - own.left,
                                                 own.bottom - own.top, placement->workArea);
        constexpr UINT kMoveOnly = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
        if (at.mainWindow.x != placement->owner.x || at.mainWindow.y != placement->owner.y) {
            SetWindowPos(placement->ownerWindow, nullptr, at.mainWindow.x, at.mainWindow.y, 0, 0,
                         kMoveOnly);
        }
        SetWindowPos(box, nullptr, at.box.x, at.box.y, 0, 0, kMoveOnly);
        GetWindowRect(box, &placement->placed);
        GetWindowRect(placement->ownerWindow, &placement->ownerPlaced);
        UnhookWindowsHookEx(placement->hook);
        placement->hook = nullptr;
        placement = nullptr;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class ProgrammerWindow final : public DialogView {
public:
    ProgrammerWindow(HINSTANCE instance, const MultiStrings& strings, AboutLines about,
                     UiTrace& trace)
        : instance_(instance),
          strings_(strings),
          trace_(trace),
          dialog_(*this, strings, std::move(about)) {
        icon_ = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
        smallIcon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME),
                                                   IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), 0));
    }

    ~ProgrammerWindow() override {
        // Never leave the job running behind the window: ask it to stop and wait for it,
        // while the window its wake-ups go to still exists.
        dialog_.OnCloseRequest();
        dialog_.JoinWorker();
        if (window_ != nullptr) {
            DestroyWindow(window_);
        }
        if (smallIcon_ != nullptr) {
            DestroyIcon(smallIcon_);
        }
    }
    ProgrammerWindow(const ProgrammerWindow&) = delete;
    ProgrammerWindow& operator=(const ProgrammerWindow&) = delete;

    void SetPorts(PortList ports) { dialog_.SetPorts(std::move(ports)); }

    int Run() {
        window_ = CreateDialogParamA(instance_, MAKEINTRESOURCEA(IDD_NORVANE_DIALOG), nullptr,
                                     DialogProc, reinterpret_cast<LPARAM>(this));
        if (window_ == nullptr) {
            trace_.Line("window", "could not be created");
            return 1;
        }
        ShowWindow(window_, SW_SHOW);
        trace_.Line("window", "shown");
        const HWND window = window_;
        dialog_.SetWake([window] { PostMessageA(window, kWakeMessage, 0, 0); });
        dialog_.Start();

        MSG message;
        while (!ended_) {
            const BOOL got = GetMessageA(&message, nullptr, 0, 0);
            if (got == 0 || got == -1) {
                break;
            }
            if (PreTranslate(message)) {
                continue;
            }
            if (IsDialogMessageA(window_, &message)) {
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        dialog_.JoinWorker();
        return dialog_.ExitStatus();
    }

    // DialogView
    void SetLabel(uint32_t target, const std::string& text) override {
        SetDlgItemTextA(window_, LabelId(target), text.c_str());
        trace_.Line(std::string("label ") + LabelName(target), ItemText(LabelId(target)));
    }

    void SetProgress(const ProgressState& progress) override {
        SendDlgItemMessageA(window_, IDC_PROGRESS, PBM_SETRANGE32, 0, progress.upper);
        SendDlgItemMessageA(window_, IDC_PROGRESS, PBM_SETPOS,
                            static_cast<WPARAM>(progress.position), 0);
        trace_.Line("progress",
                    std::to_string(progress.position) + "/" + std::to_string(progress.upper));
    }

    void ShowResultBox(const ResultBox& result) override {
        if (openAbout_ != nullptr) {
            // The job is over: the about box makes way for the result. Its loop ends only
            // after the message box's, so hide it now as well.
            EndDialog(openAbout_, IDCANCEL);
            ShowWindow(openAbout_, SW_HIDE);
        }
        std::string text = result.message;
        if (!result.detail.empty()) {
            text += "\n\n" + result.detail;
        }
        trace_.Line("message-kind", result.success ? "information" : "error");
        trace_.Line("message", result.message);
        if (!result.detail.empty()) {
            trace_.Line("message-detail", result.detail);
        }
        BoxPlacement place;
        place.ownerWindow = window_;
        RECT owner{};
        GetWindowRect(window_, &owner);
        place.owner = ScreenRectOf(owner);
        place.ownerPlaced = owner;
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoA(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
        place.workArea = ScreenRectOf(monitor.rcWork);
        place.hook = SetWindowsHookExA(WH_CBT, PlaceBoxHook, nullptr, GetCurrentThreadId());
        placement = place.hook != nullptr ? &place : nullptr;
        MessageBoxA(window_, text.c_str(), strings_.Text(IDS_CAPTION),
                    MB_OK | (result.success ? MB_ICONINFORMATION : MB_ICONERROR));
        if (place.hook != nullptr) {
            UnhookWindowsHookEx(place.hook);  // the box never came to be activated
        }
        placement = nullptr;
        trace_.Line("message-rect", RectText(place.placed));
        trace_.Line("window-rect", RectText(place.ownerPlaced));
        trace_.Line("message-closed");
    }

    void ShowAboutBox(const AboutLines& lines) override {
        RunAboutBox(instance_, window_, lines, trace_, &openAbout_);
    }

    void CloseWindow() override {
        if (ended_) {
            return;
        }
        ended_ = true;
        trace_.Line("closed");
        ShowWindow(window_, SW_HIDE);
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<ProgrammerWindow*>(lParam);
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            self->window_ = window;
            self->OnInitDialog();
            return TRUE;
        }
        auto* self = reinterpret_cast<ProgrammerWindow*>(GetWindowLongPtrA(window, DWLP_USER));
        return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
    }

    void OnInitDialog() {
        const DialogTexts texts = DialogTextsFrom(strings_);
        // The item's text comes from the string table, in the user's language; string 101 of
        // the resources holds the English one for tools that read the program's resources.
        if (HMENU menu = GetSystemMenu(window_, FALSE)) {
            if (!texts.aboutItem.empty()) {
                AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
                AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, texts.aboutItem.c_str());
            }
            char shown[256] = {};
            GetMenuStringA(menu, IDM_ABOUTBOX, shown, sizeof shown, MF_BYCOMMAND);
            trace_.Line("menu", shown);
        }
        SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
        SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

        SetWindowTextA(window_, texts.caption.c_str());
        SetDlgItemTextA(window_, IDC_STATUS_GROUP, texts.statusGroup.c_str());
        SetDlgItemTextA(window_, IDC_VERSION_GROUP, texts.versionGroup.c_str());
        SetDlgItemTextA(window_, IDC_DEVICE_GROUP, texts.deviceGroup.c_str());
        SetDlgItemTextA(window_, IDC_SERIAL_GROUP, texts.serialGroup.c_str());
        trace_.Line("caption", texts.caption);
        CenterDialog(window_);
    }

    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM) {
        switch (message) {
            case kWakeMessage:
                dialog_.DispatchPending();
                return TRUE;
            case WM_SYSCOMMAND:
                if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                    dialog_.OnAbout();
                    return TRUE;
                }
                return FALSE;
            case WM_PAINT:
                if (IsIconic(window_)) {
                    PaintMinimised();
                    return TRUE;
                }
                return FALSE;
            case WM_QUERYDRAGICON:
                return reinterpret_cast<INT_PTR>(icon_);
            case WM_CLOSE:
                OnCloseRequest();
                return TRUE;
            case WM_COMMAND:
                // The dialog manager's cancel (there is no button): a close request like any
                // other.
                if (LOWORD(wParam) == IDCANCEL) {
                    OnCloseRequest();
                    return TRUE;
                }
                return FALSE;
            case WM_HELP:
                dialog_.OnKey(DialogKey::Help);
                SetWindowLongPtrA(window_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            default:
                return FALSE;
        }
    }

    void OnCloseRequest() {
        const bool mayClose = dialog_.OnCloseRequest();
        trace_.Line("close-request", mayClose ? "closing" : "refused, abort requested");
        if (mayClose) {
            CloseWindow();
        }
    }

    // The keys the window treats before the dialog manager. True when the message is used up.
    bool PreTranslate(const MSG& message) {
        if (message.message != WM_KEYDOWN ||
            (message.hwnd != window_ && !IsChild(window_, message.hwnd))) {
            return false;
        }
        if (message.wParam == VK_ESCAPE) {
            OnCloseRequest();
            return true;
        }
        // Enter never reaches the dialog manager: it presses no default button and never
        // closes the window.
        return message.wParam == VK_RETURN && dialog_.OnKey(DialogKey::Enter);
    }

    void PaintMinimised() {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window_, &paint);
        SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client;
        GetClientRect(window_, &client);
        const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(dc, x, y, icon_);
        EndPaint(window_, &paint);
    }

    // What a control shows, read back for the trace.
    std::string ItemText(int id) const {
        char text[256] = {};
        GetDlgItemTextA(window_, id, text, sizeof text);
        return text;
    }

    HINSTANCE instance_;
    const MultiStrings& strings_;
    UiTrace& trace_;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;
    HWND openAbout_ = nullptr;
    bool ended_ = false;
    ProgrammerDlg dialog_;  // last: its worker is joined before the window goes
};

}  // namespace

void CenterDialog(HWND dialog) {
    RECT area{};
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner == nullptr || !IsWindowVisible(owner) || IsIconic(owner) ||
        !GetWindowRect(owner, &area)) {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT box{};
    GetWindowRect(dialog, &box);
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(dialog, nullptr, x > 0 ? x : 0, y > 0 ? y : 0, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int RunProgrammerDialog(HINSTANCE instance, const MultiStrings& strings, AboutLines about,
                        UiTrace& trace, PortList ports) {
    ProgrammerWindow window(instance, strings, std::move(about), trace);
    window.SetPorts(std::move(ports));
    return window.Run();
}

}  // namespace norvane
