// Helpers shared by the benchmark programs: child processes, pseudo-terminals, the port
// variables, resource use of this process, and the device simulator's report.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace norvane::bench {

// A child process with its standard output on a pipe (or on `stdio` for all three).
class Child {
public:
    Child() = default;
    // Starts `args` with `extraEnvironment` ("NAME=value") added. stdio < 0: stdout on a pipe.
    bool Start(const std::vector<std::string>& args,
               const std::vector<std::string>& extraEnvironment = {}, int stdio = -1,
               const std::string& folder = "");
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    std::string ReadLine(int timeoutMs);
    // SIGTERM, then waits; the exit status (128 + the signal that killed it), or -1.
    int Stop();
    // Waits up to `timeoutMs` for the child to end; its exit status (128 + the signal that
    // killed it), or -1 (still running).
    int Wait(int timeoutMs);
    pid_t Pid() const { return process_.Pid(); }
    // CPU seconds (user + system) and peak resident set (KiB) of the running child.
    double CpuSeconds() const;
    double MainThreadCpuSeconds() const;  // its first thread alone (a GUI's toolkit thread)
    long PeakRssKiB() const;
    long RssKiB() const;

private:
    test::ChildProcess process_;  // started the one way the tests start theirs
};

// A pseudo-terminal pair: the master kept here, the slave's path for a program to open.
struct Pty {
    int master = -1;
    std::string slavePath;
};
// Raw 8N1 at `speed` (a termios code). The master is non-blocking.
Pty OpenPty(unsigned speed);
void ClosePty(Pty* pty);

// NORVANE_COM1..8: `paths[i]` for COMi+1, empty for the rest. No real port is ever named.
void SetPorts(const std::vector<std::string>& paths);

double MonotonicSeconds();
double ProcessCpuSeconds();  // user + system of this process, all threads
long ProcessPeakRssKiB();    // VmHWM
long ProcessRssKiB();        // VmRSS

// One "phase" line of the simulator's report.
struct PhaseFigures {
    uint64_t at = 0;
    uint64_t count = 0;
    uint64_t first = 0;
    uint64_t last = 0;
};
struct DeviceLog {
    std::string final;
    std::map<std::string, PhaseFigures> phases;
    std::vector<std::pair<uint64_t, std::string>> sent;  // (time, record text)
    uint64_t received = 0;
};
DeviceLog ReadDeviceLog(const std::string& path);

// Wire time in seconds of `bytes` at `speed`, 10 bits per byte.
double WireSeconds(uint64_t bytes, uint32_t speed);

std::string TempPath(const std::string& stem);

}  // namespace norvane::bench
