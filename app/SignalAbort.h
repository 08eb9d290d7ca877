// SIGINT, SIGTERM, SIGHUP and SIGQUIT ask the program to stop the way Esc does: the job aborts
// with the protocol's own pauses and every port is released with its line settings put back.
// They come from a script, a terminal or logging out, so the program then ends without
// waiting for OK.
//
// POSIX only; install once, before the job starts.
#pragma once

#include <functional>

namespace norvane {

// The first of these signals calls `onAbort` with its number, once, on a watcher thread of its
// own (never in the handler): the caller marshals it to its own loop and sets the job's abort
// flag there. A second signal of the same kind while stopping puts every open port's line
// settings back (and clears their exclusive flags) and ends the program at once with
// _exit(18). A signal that was ignored when the program started (nohup, a background job)
// stays ignored.
void InstallSignalAbort(std::function<void(int signal)> onAbort);

}  // namespace norvane
