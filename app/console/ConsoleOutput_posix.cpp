// POSIX: SIGPIPE ignored, so that a closed pipe is a failed write; the terminal's width from
// the terminal driver. Terminals here take the usual escape sequences.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "app/console/ConsoleOutput.h"

namespace norvane {

ConsoleOutput PrepareConsoleOutput() {
    signal(SIGPIPE, SIG_IGN);
    const bool terminal = isatty(STDOUT_FILENO) != 0;
    return {terminal, terminal};
}

int TerminalColumns() {
    winsize size{};
    return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

}  // namespace norvane
