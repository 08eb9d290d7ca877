// SIGINT, SIGTERM, SIGHUP and SIGQUIT ask the program to stop the way Esc does: the job aborts
// with the protocol's own pauses and every port is released with its line settings put back.
// They come from a script, a terminal or logging out, so the program then ends without
// waiting for OK.
//
// Install once, before the job starts. On Windows (SignalAbort_win32.cpp) the console's Ctrl+C,
// Ctrl+Break and close events take the signals' place.
#pragma once

#include <functional>

namespace norvane {

// The first of these signals calls `onAbort` with its number, once, on a watcher thread of its
// own (never in the handler): the caller marshals it to its own loop and sets the job's abort
// flag there. A second signal of the same kind while stopping puts every open port's line
// settings back (and clears their exclusive flags) and ends the program at once with
// _exit(18). A signal that was ignored when the program started (nohup, a background job)
// stays ignored.
//
// `gentleSignals` is how many signals of the first one's kind reach `onAbort` before the next
// one ends the program at once: a station takes a first one as "no new device", a second as
// "abort the devices in progress", and only a third as the fast exit.
void InstallSignalAbort(std::function<void(int signal)> onAbort, int gentleSignals = 1);

}  // namespace norvane
