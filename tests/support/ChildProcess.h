// A program that a test or a benchmark starts as a child process, started one way for all of
// them (posix_spawn):
// - every signal at its default and none blocked in the child: a test run from a shell's
//   background job inherits SIGINT and SIGQUIT ignored, and the program keeps a stop signal
//   that it was started with ignored;
// - its standard streams where the caller says: inherited, a file, a descriptor, or (output
//   only) a pipe the caller reads lines from;
// - one report of how it ended: the exit status, or 128 + the signal that killed it, as a shell
//   reports it; nothing while it still runs; and the resources it used (CPU, peak memory).
// Header only: the benchmarks, which build without the tests, use it too.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace norvane::test {

// Where one of the child's standard streams goes.
struct ChildStream {
    enum Kind { Inherited, File, Descriptor, Pipe };
    Kind kind = Inherited;
    std::string path;  // File: read for input; created (truncated) for output and errors
    int fd = -1;       // Descriptor

    static ChildStream ToFile(std::string path) { return {File, std::move(path), -1}; }
    static ChildStream ToDescriptor(int fd) { return {Descriptor, {}, fd}; }
    static ChildStream ToPipe() { return {Pipe, {}, -1}; }  // output only: ReadLine
};

struct ChildOptions {
    // The child's whole environment ("NAME=value"); none: this process's own.
    std::optional<std::vector<std::string>> environment;
    ChildStream input, output, errors;
    std::string folder;            // its working folder; empty: this process's
    bool ownProcessGroup = false;  // a group of its own, out of the terminal's reach
};

// This process's environment with `set` put in and every entry that starts with one of
// `drop` left out ("DISPLAY=" drops DISPLAY, "NORVANE_" every NORVANE_ variable).
inline std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& set,
                                                const std::vector<std::string>& drop = {}) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool keep = set.count(text.substr(0, text.find('='))) == 0;
        for (const std::string& prefix : drop) {
            keep = keep && text.rfind(prefix, 0) != 0;
        }
        if (keep) {
            environment.push_back(text);
        }
    }
    for (const auto& [name, value] : set) {
        environment.push_back(name + "=" + value);
    }
    return environment;
}

class ChildProcess {
public:
    ChildProcess() = default;
    // Starts `argv` (argv[0] without a '/' is looked up in PATH); Started() says whether it
    // could be.
    explicit ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options = {}) {
        Start(argv, options);
    }
    ~ChildProcess() { Kill(); }  // a child still running is killed and reaped
    ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }
    ChildProcess& operator=(ChildProcess&& other) noexcept {
        if (this != &other) {
            Kill();
            pid_ = std::exchange(other.pid_, -1);
            output_ = std::exchange(other.output_, -1);
            status_ = std::exchange(other.status_, std::nullopt);
            usage_ = other.usage_;
        }
        return *this;
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    bool Signal(int signal) { return Started() && !status_ && kill(pid_, signal) == 0; }

    // How it ended: its exit status, or 128 + the signal that killed it; none while it still
    // runs once `timeout` has passed (or when it never started).
    std::optional<int> Wait(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Started() && !status_) {
            int raw = 0;
            if (wait4(pid_, &raw, WNOHANG, &usage_) == pid_) {
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            } else if (std::chrono::steady_clock::now() >= deadline) {
                break;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        return status_;
    }
    bool Running() { return Started() && !Wait(std::chrono::milliseconds(0)); }
    // What the system counted for it, once it has ended (Wait gave a status).
    const rusage& Usage() const { return usage_; }

    // SIGTERM, and SIGKILL when it has not ended within `grace`; how it ended.
    std::optional<int> Stop(std::chrono::milliseconds grace = std::chrono::seconds(3)) {
        if (Signal(SIGTERM) && !Wait(grace)) {
            Signal(SIGKILL);
        }
        return Wait(std::chrono::seconds(10));
    }

    // The next line of its output (ChildStream::ToPipe) without the line break; empty when
    // none came within `timeout` or the output ended.
    std::string ReadLine(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string line;
        while (line.empty() || line.back() != '\n') {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready{output_, POLLIN, 0};
            char c = 0;
            if (output_ < 0 || left.count() <= 0 ||
                poll(&ready, 1, static_cast<int>(left.count())) <= 0 || read(output_, &c, 1) != 1) {
                return {};
            }
            line += c;
        }
        line.pop_back();
        return line;
    }

private:
    void Start(const std::vector<std::string>& argv, const ChildOptions& options) {
        std::vector<std::string> argStore(argv);
        std::vector<char*> args;
        for (std::string& a : argStore) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        std::vector<std::string> envStore =
            options.environment ? *options.environment : EnvironmentWith({});
        std::vector<char*> env;
        for (std::string& e : envStore) {
            env.push_back(e.data());
        }
        env.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int pipeEnds[2] = {-1, -1};
        const ChildStream* streams[3] = {&options.input, &options.output, &options.errors};
        for (int target = 0; target < 3; ++target) {
            const ChildStream& stream = *streams[target];
            if (stream.kind == ChildStream::File) {
                const int flags = target == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC;
                posix_spawn_file_actions_addopen(&actions, target, stream.path.c_str(), flags,
                                                 0644);
            } else if (stream.kind == ChildStream::Descriptor) {
                posix_spawn_file_actions_adddup2(&actions, stream.fd, target);
            } else if (stream.kind == ChildStream::Pipe && target == 1 &&
                       pipe2(pipeEnds, O_CLOEXEC) == 0) {
                posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
            }
        }
        if (!options.folder.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, options.folder.c_str());
        }
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t all;
        sigset_t none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes, &all);
        posix_spawnattr_setsigmask(&attributes, &none);
        short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
        if (options.ownProcessGroup) {
            posix_spawnattr_setpgroup(&attributes, 0);
            flags |= POSIX_SPAWN_SETPGROUP;
        }
        posix_spawnattr_setflags(&attributes, flags);
        if (posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), env.data()) != 0) {
            pid_ = -1;
        }
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        if (pipeEnds[1] >= 0) {
            close(pipeEnds[1]);
            output_ = pipeEnds[0];
        }
    }

    void Kill() {
        if (Started() && !status_) {
            kill(pid_, SIGKILL);
            Wait(std::chrono::seconds(10));
        }
        if (output_ >= 0) {
            close(output_);
            output_ = -1;
        }
    }

    pid_t pid_ = -1;
    int output_ = -1;
    std::optional<int> status_;
    rusage usage_{};
};

}  // namespace norvane::test
