#include "app/SignalAbort.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

#include "serial/PortLineRegistry.h"

namespace norvane {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};  // SIGQUIT: Ctrl+\ on a terminal
// The status of "Programming interrupted", the result a signal asks for.
constexpr int kExitInterrupted = 18;

int wakePipe[2] = {-1, -1};
std::atomic<int> firstSignal{0};
// Signals of the first one's kind that still reach the callback (InstallSignalAbort).
std::atomic<int> gentleLeft{0};

void Notify(int signal) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = write(wakePipe[1], &number, 1);
    errno = savedErrno;
}

// Async-signal-safe: an atomic, write, tcsetattr and ioctl (in the registry) and _exit.
void OnSignal(int signal) {
    int expected = 0;
    if (firstSignal.compare_exchange_strong(expected, signal)) {
        gentleLeft.fetch_sub(1);
        Notify(signal);
        return;
    }
    if (expected == signal && gentleLeft.fetch_sub(1) > 0) {
        Notify(signal);
        return;
    }
    if (expected == signal) {
        // Asked twice: no more waiting for the protocol's pauses.
        RestoreAllPortLines();
        _exit(kExitInterrupted);
    }
    // A signal of another kind while stopping: the stop is already under way.
}

void WatchForSignal(const std::function<void(int)>& onAbort) {
    unsigned char number = 0;
    for (;;) {
        const ssize_t got = read(wakePipe[0], &number, 1);
        if (got == 1) {
            onAbort(number);
            continue;  // a station takes more than one
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return;
    }
}

}  // namespace

void InstallSignalAbort(std::function<void(int signal)> onAbort, int gentleSignals) {
    gentleLeft = gentleSignals;
    if (pipe2(wakePipe, O_CLOEXEC) != 0) {
        return;  // the signals keep their default: ending the program
    }
    std::thread(WatchForSignal, std::move(onAbort)).detach();
    for (const int signal : kSignals) {
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
}

}  // namespace norvane
