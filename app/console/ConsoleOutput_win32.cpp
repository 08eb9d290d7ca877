// Windows: the console shows UTF-8 once its output code page says so (the code page belongs to
// the console window, so the one found is put back at exit); it moves the cursor on escape
// sequences only with virtual terminal processing on (Windows 10 and later), without which the
// station prints plain lines. A closed pipe already fails the write here.
#include <cstdlib>

#include "app/console/ConsoleOutput.h"
#include "platform/Win32.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace norvane {

namespace {

UINT foundCodePage = 0;

void PutCodePageBack() {
    SetConsoleOutputCP(foundCodePage);
}

}  // namespace

ConsoleOutput PrepareConsoleOutput() {
    foundCodePage = GetConsoleOutputCP();
    if (foundCodePage != 0 && foundCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        std::atexit(PutCodePageBack);
    }
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(out, &mode)) {
        return {false, false};  // a file or a pipe
    }
    const bool moves = SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    return {true, moves};
}

int TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace norvane
