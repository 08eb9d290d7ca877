// norvane-devsim: the flash device behind a pseudo-terminal, in real time.
// Prints the terminal's path on the first line of stdout, then serves until SIGTERM/SIGINT
// (or the end of the run with --exit-after-run).
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/simulator/DeviceModel.h"
#include "tools/simulator/DeviceSequence.h"
#include "tools/simulator/DevsimOptions.h"
#include "tools/simulator/PtyDevice.h"

namespace {

int g_stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
    const char byte = 1;
    const ssize_t written = write(g_stopPipe[1], &byte, 1);
    (void)written;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace norvane::sim;
    DevsimOptions options;
    std::string error;
    if (!ParseDevsimOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::cerr << "norvane-devsim: " << error << '\n' << DevsimUsage();
        return 2;
    }
    if (options.help) {
        std::cout << DevsimUsage();
        return 0;
    }
    if (pipe(g_stopPipe) != 0) {
        std::perror("norvane-devsim: pipe");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    DeviceModel model(options.config, options.faults);
    PtyDevice device(model);
    device.SetPaced(options.pace);
    if (options.phases) {
        device.SetTeller([](const std::string& line) { std::cout << line << std::endl; });
    }
    if (!device.Open(&error)) {
        std::cerr << "norvane-devsim: " << error << '\n';
        return 1;
    }
    DeviceSequence bed(model, options.sequence, device);
    std::cout << device.SlavePath() << std::endl;

    device.Run(g_stopPipe[0], options.exitAfterRun, options.lingerMicros);

    if (!options.logPath.empty()) {
        std::ofstream log(options.logPath);
        bed.WriteReport(log);
        if (!log) {
            std::cerr << "norvane-devsim: cannot write " << options.logPath << '\n';
            return 1;
        }
    }
    return 0;
}
