// norvane.exe: finds the device on a serial port and writes the embedded firmware image into
// it. The exit status tells scripts the outcome (see RunProgrammerDialog).
#include <cstdlib>
#include <span>
#include <string>

#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "app/PortArguments.h"
#include "app/Startup.h"
#include "app/UiTrace.h"
#include "app/win32/ProgrammerDlg_win32.h"
#include "platform/Win32.h"
#include "strings/MultiStrings.h"

namespace {

bool Writable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// A window program has no console of its own: the answer goes to the standard handle the
// starter gave us, else to the console of the command prompt we were started from, else
// into a message box.
void Answer(const norvane::CommandReply& reply) {
    std::string text;
    for (const char c : reply.text) {
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    HANDLE out = GetStdHandle(reply.toStandardError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    bool ownHandle = false;
    if (!Writable(out) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
        ownHandle = true;
    }
    DWORD written = 0;
    if (Writable(out) &&
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        if (ownHandle) {
            CloseHandle(out);
        }
        return;
    }
    MessageBoxA(nullptr, reply.text.c_str(), "Norvane",
                MB_OK | (reply.toStandardError ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace norvane;

    // Everything the window shows comes from the string table: without it, stop before the
    // window opens and before any port is touched.
    if (const auto error = LoadStringTable(StringTableResource(), TheStrings())) {
        const std::string text = "norvane: " + *error;
        MessageBoxA(nullptr, text.c_str(), "Norvane", MB_OK | MB_ICONERROR);
        return kExitBadStrings;
    }
    AboutLines about = AboutLinesFrom(VersionInfoOfProgram(), TheStrings());
    const auto arguments = std::span<const char* const>(__argv + 1, __argc > 0 ? __argc - 1 : 0);
    const CommandLine command = ParseCommandLine(arguments);
    PortChoice ports = PortsFromArguments(command.ports);
    auto reply = ReplyTo(command, TheStrings(), about);
    if (!reply) {
        reply = RefusalOf(ports, TheStrings(), kWindowProgram);
    }
    if (reply) {
        Answer(*reply);
        return reply->exitStatus;
    }

    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    UiTrace trace = UiTrace::FromEnvironment();
    const int status = RunProgrammerDialog(instance, TheStrings(), std::move(about), trace,
                                           std::move(ports.ports));
    trace.Line("exit", std::to_string(status));
    return status;
}
