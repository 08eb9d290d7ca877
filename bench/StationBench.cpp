// norvane-station-bench: the station (norvane-console --station) with eight devices at the
// wire's pace on eight ports, against one device alone, printing the figures as Markdown:
// wall time, CPU time per device and peak memory of the program. Each run starts fresh
// simulators (norvane-devsim --pace, OS devices) and the program as a child of its own, whose
// resource use the system reports at its end.
//   norvane-station-bench              runs the comparison
//   norvane-station-bench console ...  is norvane-console carrying the benchmark's OS image
// Every port is named with --port; every NORVANE_COMn is empty.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/SystemJob.h"
#include "app/console/Console.h"
#include "bench/BenchSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestImages.h"

namespace norvane::bench {
namespace {

constexpr int kPorts = 8;

// 64 KiB below and 16 KiB above the first mebibyte: about 7 s on the wire at 115200 baud.
const std::vector<uint8_t>& BenchImage() {
    static const std::vector<uint8_t> image = test::OsTestImage(0x4000, 0xFFFF, "OS 4.00", 11);
    return image;
}

struct RunFigures {
    int status = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakMiB = 0;
    int programmed = 0;
};

// Runs this program as the console with `args`, to its end.
RunFigures RunConsoleChild(const std::vector<std::string>& args, const std::string& outPath) {
    std::vector<std::string> argv{"/proc/self/exe", "console"};
    argv.insert(argv.end(), args.begin(), args.end());
    test::ChildOptions options;
    options.output = test::ChildStream::ToFile(outPath);
    options.errors = test::ChildStream::ToFile("/dev/null");
    RunFigures figures;
    const double start = MonotonicSeconds();
    test::ChildProcess child(argv, options);
    const std::optional<int> status = child.Wait(std::chrono::minutes(10));
    if (!status) {
        return figures;
    }
    const rusage& usage = child.Usage();
    figures.wallSeconds = MonotonicSeconds() - start;
    figures.status = *status;
    figures.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    figures.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
    FILE* out = std::fopen(outPath.c_str(), "r");
    char line[4096];
    while (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) {
        figures.programmed += std::string(line).find(R"("event":"result")") != std::string::npos &&
                              std::string(line).find(R"("status":0,)") != std::string::npos;
    }
    if (out != nullptr) {
        std::fclose(out);
    }
    return figures;
}

// `devices` fresh simulators, then the console on their ports.
RunFigures Run(int devices, bool station) {
    std::vector<std::unique_ptr<Child>> simulators;
    std::vector<std::string> args{"--json"};
    if (station) {
        args.push_back("--station");
    }
    for (int i = 0; i < devices; ++i) {
        simulators.push_back(std::make_unique<Child>());
        const std::string serial = "B" + std::to_string(100 + i);
        // Each greets a second after its start, when the program surely listens, and then only
        // every 3 s: a missed first greeting would cost a run 3 s.
        if (!simulators.back()->Start({NORVANE_DEVSIM_PATH, "--kind", "OS", "--pace", "--serial",
                                       serial, "--first-greeting-ms", "1000", "--greeting-ms",
                                       "3000"})) {
            return {};
        }
        args.push_back("--port");
        args.push_back(simulators.back()->ReadLine(5000));
    }
    const RunFigures figures = RunConsoleChild(args, TempPath(station ? "station" : "single"));
    for (auto& simulator : simulators) {
        simulator->Stop();
    }
    return figures;
}

void Figure(const char* name, double value) {
    std::fprintf(stderr, "FIGURE %s %.4f\n", name, value);
}

int Compare() {
    for (int n = 1; n <= kPorts; ++n) {
        setenv(("NORVANE_COM" + std::to_string(n)).c_str(), "", 1);
    }
    const RunFigures alone = Run(1, false);
    const RunFigures station = Run(kPorts, true);
    const double wallRatio = station.wallSeconds / alone.wallSeconds;
    const double cpuRatio = (station.cpuSeconds / kPorts) / alone.cpuSeconds;
    std::printf("### Station: %d devices at the wire's pace on %d ports, against one alone\n\n",
                kPorts, kPorts);
    std::printf(
        "OS image of 64 KiB below and 16 KiB above the first mebibyte, 115200 baud; "
        "`norvane-console --json` (the benchmark's own build of it, with that image), "
        "against `norvane-devsim --pace` devices.\n\n");
    std::printf("| Figure | one device alone | station of %d | ratio | goal |\n", kPorts);
    std::printf("|---|---|---|---|---|\n");
    std::printf("| exit status, devices programmed | %d, %d | %d, %d | | 0, all |\n", alone.status,
                alone.programmed, station.status, station.programmed);
    std::printf("| wall time (start to exit) | %.3f s | %.3f s | **%.3f** | <= 1.05 (%s) |\n",
                alone.wallSeconds, station.wallSeconds, wallRatio,
                wallRatio <= 1.05 ? "met" : "**missed**");
    std::printf(
        "| CPU time per device (user + system) | %.3f s | %.3f s | **%.3f** | <= 1.2 "
        "(%s) |\n",
        alone.cpuSeconds, station.cpuSeconds / kPorts, cpuRatio,
        cpuRatio <= 1.2 ? "met" : "**missed**");
    std::printf("| peak resident memory | %.1f MiB | %.1f MiB | %.2f | |\n\n", alone.peakMiB,
                station.peakMiB, station.peakMiB / alone.peakMiB);
    Figure("station-wall-ratio", wallRatio);
    Figure("station-cpu-per-device-ratio", cpuRatio);
    Figure("station-peak-mib", station.peakMiB);
    Figure("station-alone-peak-mib", alone.peakMiB);
    Figure("station-result-ok", station.status == 0 && station.programmed == kPorts ? 1 : 0);
    return station.status == 0 && alone.status == 0 ? 0 : 1;
}

}  // namespace
}  // namespace norvane::bench

int main(int argc, char** argv) {
    using namespace norvane;
    if (argc > 1 && std::string(argv[1]) == "console") {
        JobEnvironment environment = SystemJobEnvironment();
        environment.loadImage = [] { return ImageSpan(bench::BenchImage()); };
        return RunConsole(std::vector<std::string>(argv + 2, argv + argc), std::move(environment));
    }
    return bench::Compare();
}
