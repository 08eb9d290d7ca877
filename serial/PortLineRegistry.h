// Every open port of this process: its line settings as the port found them, its device and
// the name it was opened under.
//
// A program that has to end at once (a second stop signal while it is stopping) puts every
// line back from here: the ports' own Close never runs then, yet a serial console on one of
// them must not stay at 9600 baud raw, nor keep its exclusive flag (a pseudo-terminal keeps
// TIOCEXCL until someone clears it, so every later opener would be refused). And an Open can
// tell that a second name leads to a device the process has open already (NORVANE_COM1 set to
// COM5's default device).
//
// POSIX only. Open registers the descriptor once the line is its own; Close unregisters it
// before it puts the settings back itself.
#pragma once

#include <sys/stat.h>
#include <termios.h>

#include <optional>
#include <string>

namespace norvane {

// False when the registry is full (the port works all the same; only the emergency restore
// and the check for a second name miss it). `node` is the device's (fstat of `fd`); `name` is
// kept up to 127 bytes.
bool RegisterPortLine(int fd, const termios& found, const struct stat& node,
                      const std::string& name);
void UnregisterPortLine(int fd);

// The name under which this process has the device of `node` open (posix::SameDevice); none
// when it has not.
std::optional<std::string> OpenPortNamed(const struct stat& node);

// Puts every registered line back as it was found and clears its exclusive flag.
// Async-signal-safe: lock-free atomics, tcsetattr and ioctl only, so a signal handler may call
// it right before _exit.
void RestoreAllPortLines();

}  // namespace norvane
