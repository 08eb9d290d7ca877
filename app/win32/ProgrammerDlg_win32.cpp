// The main window: a dialog from template 102 that starts the programming job on a worker
// thread, shows what the job posts (WM_PROG_*), turns close requests into abort requests while
// the job runs, shows the result in a message box and closes.
//
// It runs modeless under a message loop of our own, so that keys can be looked at before the
// dialog manager sees them: Esc asks to close, Enter is swallowed.
#include "app/win32/ProgrammerDlg_win32.h"

#include <process.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "app/ProgrammerDlg.h"
#include "app/SystemJob.h"
#include "app/UiTrace.h"
#include "app/win32/resource.h"
#include "engine/Results.h"
#include "platform/NotifyWindow_win32.h"
#include "platform/Win32.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

struct DialogState {
    HINSTANCE instance = nullptr;
    const CMultiStrings* strings = nullptr;
    UiTrace* trace = nullptr;
    HWND window = nullptr;
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
    std::unique_ptr<Win32NotifyWindow> notify;
    std::atomic<int> abortFlag{0};
    HANDLE workerThread = nullptr;  // our duplicate: query and wait access
    std::optional<FlashResult> result;
    bool aboutOpen = false;
    bool ended = false;
};

DialogState* StateOf(HWND window) {
    return reinterpret_cast<DialogState*>(GetWindowLongPtrA(window, DWLP_USER));
}

int LabelId(WPARAM target) {
    switch (target) {
        case TextStatus:
            return IDC_STATUS_TEXT;
        case TextProgramVersion:
            return IDC_VERSION_TEXT;
        case TextDevice:
            return IDC_DEVICE_TEXT;
        case TextSerial:
            return IDC_SERIAL_TEXT;
        default:
            return 0;
    }
}

const char* LabelName(WPARAM target) {
    static const char* const names[] = {"status", "version", "device", "serial"};
    return target <= TextSerial ? names[target] : "?";
}

unsigned __stdcall WorkerProc(void* argument) {
    // The result travels with WM_PROG_DONE.
    ProgrammerThreadProc(static_cast<JobStart*>(argument));
    return 0;
}

// Asked of the thread object itself rather than of its exit code, which could be mistaken for
// STILL_ACTIVE.
bool WorkerRunning(const DialogState& state) {
    return state.workerThread != nullptr &&
           WaitForSingleObject(state.workerThread, 0) == WAIT_TIMEOUT;
}

void WaitForWorker(DialogState& state) {
    if (state.workerThread != nullptr) {
        WaitForSingleObject(state.workerThread, INFINITE);
    }
}

// Starts the job; our duplicate of the thread's handle is taken before the thread can run.
bool StartWorker(DialogState& state) {
    state.abortFlag = 0;
    auto* start = new JobStart{state.notify.get(), &state.abortFlag};  // the job deletes it
    const uintptr_t started =
        _beginthreadex(nullptr, 0, WorkerProc, start, CREATE_SUSPENDED, nullptr);
    if (started == 0) {
        delete start;
        return false;
    }
    HANDLE thread = reinterpret_cast<HANDLE>(started);
    const HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, thread, process, &state.workerThread,
                         THREAD_QUERY_INFORMATION | SYNCHRONIZE, FALSE, 0)) {
        state.workerThread = nullptr;
        TerminateThread(thread, 1);  // never resumed: the start record is still ours
        CloseHandle(thread);
        delete start;
        return false;
    }
    ResumeThread(thread);
    CloseHandle(thread);
    return true;
}

void OnInitDialog(HWND window, DialogState& state) {
    state.window = window;
    SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    const CMultiStrings& strings = *state.strings;

    if (HMENU menu = GetSystemMenu(window, FALSE)) {
        char item[256] = {};
        LoadStringA(state.instance, IDS_ABOUTBOX, item, sizeof item);
        if (item[0] != '\0') {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, item);
        }
        state.trace->Line("menu", item);
    }
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(state.icon));
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state.smallIcon));

    const DialogTexts texts = DialogTextsFrom(strings);
    SetWindowTextA(window, texts.caption.c_str());
    SetDlgItemTextA(window, IDC_STATUS_GROUP, texts.statusGroup.c_str());
    SetDlgItemTextA(window, IDC_VERSION_GROUP, texts.versionGroup.c_str());
    SetDlgItemTextA(window, IDC_DEVICE_GROUP, texts.deviceGroup.c_str());
    SetDlgItemTextA(window, IDC_SERIAL_GROUP, texts.serialGroup.c_str());
    state.trace->Line("caption", texts.caption);
    CenterDialog(window);

    state.notify = std::make_unique<Win32NotifyWindow>(window);
    if (!StartWorker(state)) {
        state.trace->Line("worker", "could not be started");
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
}

// One about box at a time: a second request (F1 comes as more than one WM_HELP under Wine)
// while one is up, or any after the result, does nothing.
void ShowAbout(HWND window, DialogState& state) {
    if (state.aboutOpen || state.result) {
        return;
    }
    state.aboutOpen = true;
    RunAboutBox(state.instance, window, *state.strings, *state.trace);
    state.aboutOpen = false;
}

void OnDone(HWND window, DialogState& state, FlashResult result) {
    if (state.result) {
        return;
    }
    state.result = result;
    state.trace->Line("done", std::to_string(result));
    if (const auto text = MessageOf(result, *state.strings)) {
        state.trace->Line("message", *text);
        MessageBoxA(window, text->c_str(), state.strings->Text(IDS_CAPTION), MB_OK);
        state.trace->Line("message-closed");
    }
    // The worker posts this message last and returns right after it: once it has, the close
    // below is never taken for an abort request.
    WaitForWorker(state);
    PostMessageA(window, WM_CLOSE, 0, 0);
}

void OnClose(DialogState& state) {
    if (WorkerRunning(state)) {
        state.abortFlag = 1;
        state.trace->Line("close-request", "refused, abort requested");
        return;
    }
    state.trace->Line("closed");
    state.ended = true;
}

void PaintMinimised(HWND window, const DialogState& state) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, state.icon);
    EndPaint(window, &paint);
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        OnInitDialog(window, *reinterpret_cast<DialogState*>(lParam));
        return TRUE;
    }
    DialogState* state = StateOf(window);
    if (state == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                ShowAbout(window, *state);
                return TRUE;
            }
            return FALSE;
        case WM_PAINT:
            if (IsIconic(window)) {
                PaintMinimised(window, *state);
                return TRUE;
            }
            return FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(state->icon);
        case WM_CLOSE:
            OnClose(*state);
            return TRUE;
        case WM_COMMAND:
            // The dialog manager's cancel (there is no button): a close request like any other.
            if (LOWORD(wParam) == IDCANCEL) {
                OnClose(*state);
                return TRUE;
            }
            return FALSE;
        case WM_HELP:
            ShowAbout(window, *state);
            SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_PROG_TEXT: {
            const int id = LabelId(wParam);
            if (id != 0) {
                const std::string text = OneLineOf(PostedText(lParam));
                SetDlgItemTextA(window, id, text.c_str());
                state->trace->Line(std::string("label ") + LabelName(wParam), text);
            }
            FreePostedText(lParam);
            SetWindowLongPtrA(window, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        case WM_PROG_PROGRESS:
            if (wParam == ProgressSetRange) {
                SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETRANGE32, 0, lParam);
                state->trace->Line("progress range", std::to_string(lParam));
            } else if (wParam == ProgressSetPosition) {
                SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(lParam),
                                    0);
            }
            SetWindowLongPtrA(window, DWLP_MSGRESULT, 0);
            return TRUE;
        case WM_PROG_DONE:
            OnDone(window, *state, static_cast<FlashResult>(wParam));
            SetWindowLongPtrA(window, DWLP_MSGRESULT, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

// The keys the window treats before the dialog manager. True when the message is used up.
bool PreTranslate(HWND window, MSG& message, bool* skipDialogManager) {
    *skipDialogManager = false;
    if (message.message != WM_KEYDOWN ||
        (message.hwnd != window && !IsChild(window, message.hwnd))) {
        return false;
    }
    if (message.wParam == VK_ESCAPE) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return true;
    }
    if (message.wParam == VK_RETURN) {
        // Not to the dialog manager: Enter never presses a default button or closes the window.
        *skipDialogManager = true;
    }
    return false;
}

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

int RunProgrammerDialog(HINSTANCE instance, const CMultiStrings& strings, UiTrace& trace) {
    DialogState state;
    state.instance = instance;
    state.strings = &strings;
    state.trace = &trace;
    state.icon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    state.smallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME),
                                                    IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), 0));

    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_NORVANE_DIALOG), nullptr,
                                     DialogProc, reinterpret_cast<LPARAM>(&state));
    if (window == nullptr) {
        trace.Line("window", "could not be created");
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    trace.Line("window", "shown");

    MSG message;
    while (!state.ended) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        bool skipDialogManager = false;
        if (PreTranslate(window, message, &skipDialogManager)) {
            continue;
        }
        if (!skipDialogManager && IsDialogMessageA(window, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }

    // Never leave the job running behind the window: ask it to stop and wait for it.
    state.abortFlag = 1;
    WaitForWorker(state);
    // Texts the job posted after the window's last look at its queue.
    while (PeekMessageA(&message, window, WM_PROG_TEXT, WM_PROG_TEXT, PM_REMOVE)) {
        FreePostedText(message.lParam);
    }
    DestroyWindow(window);
    if (state.workerThread != nullptr) {
        CloseHandle(state.workerThread);
    }
    if (state.smallIcon != nullptr) {
        DestroyIcon(state.smallIcon);
    }
    return state.result ? ExitStatusOf(*state.result) : 1;
}

}  // namespace norvane
