// The console's standard output: whether a person watches it on a terminal, how wide that is,
// and the set-up a run needs before it writes anything.
#pragma once

namespace norvane {

struct ConsoleOutput {
    bool terminal = false;     // a terminal, not a file or a pipe
    bool cursorMoves = false;  // it takes the escape sequences that move the cursor up
};

// Sets the outputs up for a run and says what standard output is. A reader that goes away (a
// script's pipe closed early) must not end the program in the middle of a run, with a device
// half-written: the job goes on to its end and the exit status says that its report was lost.
// Text goes out as UTF-8.
ConsoleOutput PrepareConsoleOutput();

// The terminal's width in columns now (it may change during a run); 0 when it does not say.
int TerminalColumns();

}  // namespace norvane
