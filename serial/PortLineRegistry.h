// Every open port's line settings as the port found them, for a program that has to end at
// once (a second SIGINT, SIGTERM or SIGHUP while it is stopping): the ports' own Close never
// runs then, yet a serial console on one of them must not stay at 9600 baud raw.
//
// POSIX only. Open registers the descriptor with the settings it found; Close unregisters it
// before it puts the settings back itself.
#pragma once

#include <termios.h>

namespace norvane {

// False when the registry is full (the port works all the same; only the emergency restore
// misses it).
bool RegisterPortLine(int fd, const termios& found);
void UnregisterPortLine(int fd);

// Puts every registered line back as it was found. Async-signal-safe: lock-free atomics and
// tcsetattr only, so a signal handler may call it right before _exit.
void RestoreAllPortLines();

}  // namespace norvane
