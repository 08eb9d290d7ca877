#include "tests/app/GuiSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace norvane::test {
namespace {

// The test's environment less anything that could reach a real port or another display.
std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name.rfind("NORVANE_", 0) == 0 ||
            extra.count(name) != 0) {
            continue;
        }
        env.push_back(entry);
    }
    for (const auto& [name, value] : extra) {
        env.push_back(name + "=" + value);
    }
    return env;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Child::Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             const std::string& stdoutPath, const std::string& stderrPath) {
    std::vector<std::string> envStrings = ChildEnvironment(env);
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envStrings) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        setpgid(0, 0);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
}

Child::~Child() {
    Stop();
}

Child::Child(Child&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), status_(other.status_) {}

Child& Child::operator=(Child&& other) noexcept {
    if (this != &other) {
        Stop();
        pid_ = std::exchange(other.pid_, -1);
        status_ = other.status_;
    }
    return *this;
}

bool Child::Running() {
    return pid_ > 0 && !status_ && !Wait(0ms);
}

std::optional<int> Child::Wait(std::chrono::milliseconds timeout) {
    if (status_ || pid_ <= 0) {
        return status_;
    }
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int raw = 0;
        const pid_t done = waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
            return status_;
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(10ms);
    }
}

void Child::Stop() {
    if (pid_ <= 0 || status_) {
        return;
    }
    kill(pid_, SIGTERM);
    if (!Wait(3s)) {
        kill(pid_, SIGKILL);
        Wait(3s);
    }
}

XDisplay::XDisplay() {
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    const auto deadline = Clock::now() + 20s;
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
        if (poll(&p, 1, 100) > 0) {
            char buffer[32];
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            number.append(buffer, static_cast<size_t>(n));
        }
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
    }
    // Not `":" + number.substr(...)`: at -O3 GCC 12 takes the copy inside that operator for
    // an overlapping one (-Wrestrict, a false positive of that compiler), failing Release.
    name_ = std::string(":").append(number, 0, number.find('\n'));
}

XDisplay::~XDisplay() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int raw = 0;
        waitpid(pid_, &raw, 0);
    }
}

GuiSession::GuiSession(std::string name) : name_(std::move(name)) {
    folder_ = std::string(NORVANE_GUI_WORK_DIR) + "/" + name_;
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    std::filesystem::create_directories(NORVANE_ARTIFACT_DIR);
    tracePath_ = folder_ + "/trace.txt";
}

GuiSession::~GuiSession() {
    program_.Stop();
    devices_.clear();
}

std::string GuiSession::StartDevice(const std::vector<std::string>& args) {
    const std::string index = std::to_string(devices_.size());
    const std::string out = folder_ + "/devsim" + index + ".out";
    std::vector<std::string> argv{NORVANE_DEVSIM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    devices_.emplace_back(argv, std::map<std::string, std::string>{}, out,
                          folder_ + "/devsim" + index + ".err");
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
        const std::string text = ReadFile(out);
        const size_t end = text.find('\n');
        if (end != std::string::npos) {
            return text.substr(0, end);
        }
        std::this_thread::sleep_for(10ms);
    }
    return {};
}

void GuiSession::Start(std::vector<std::string> argv, const std::string& com1,
                       std::map<std::string, std::string> env) {
    env["DISPLAY"] = display_.Name();
    env["NO_AT_BRIDGE"] = "1";
    env["GDK_BACKEND"] = "x11";
    env["NORVANE_UI_TRACE"] = tracePath_;
    for (int n = 1; n <= 8; ++n) {
        env["NORVANE_COM" + std::to_string(n)] = (n == 1) ? com1 : "";
    }
    argv.push_back(NORVANE_APP_PATH);
    program_ = Child(argv, env, folder_ + "/norvane.out", folder_ + "/norvane.err");
}

void GuiSession::StartProgram(const std::string& com1) {
    Start({}, com1, {});
}

void GuiSession::StartProgramAsNobody(const std::string& com1) {
    // nobody may append to the trace and keep its toolkit's files in the test's folder.
    const std::string home = folder_ + "/home";
    std::filesystem::create_directories(home);
    if (chown(home.c_str(), 65534, 65534) != 0) {
        throw std::runtime_error("cannot give " + home + " to nobody: " + std::strerror(errno));
    }
    close(open(tracePath_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    chmod(tracePath_.c_str(), 0666);
    Start({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"}, com1,
          {{"HOME", home}, {"XDG_RUNTIME_DIR", home}});
}

std::vector<std::string> GuiSession::TraceLines() {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(tracePath_));
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

namespace {
bool Matches(const std::string& line, const std::string& prefix) {
    return line == prefix || line.rfind(prefix + " ", 0) == 0;
}
}  // namespace

int GuiSession::WaitForLine(const std::string& prefix, std::chrono::milliseconds timeout,
                            int from) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto lines = TraceLines();
        for (size_t i = static_cast<size_t>(std::max(from, 0)); i < lines.size(); ++i) {
            if (Matches(lines[i], prefix)) {
                return static_cast<int>(i);
            }
        }
        if (Clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(20ms);
    }
}

std::string GuiSession::TextOf(int index) {
    const auto lines = TraceLines();
    if (index < 0 || static_cast<size_t>(index) >= lines.size()) {
        return {};
    }
    const std::string& line = lines[index];
    // The event is one or two words: "label device Tarvik", "message-window 1234".
    for (const char* two : {"label ", "group ", "about "}) {
        if (line.rfind(two, 0) == 0) {
            const size_t second = line.find(' ', std::strlen(two));
            return second == std::string::npos ? std::string() : line.substr(second + 1);
        }
    }
    const size_t first = line.find(' ');
    return first == std::string::npos ? std::string() : line.substr(first + 1);
}

int GuiSession::CountLines(const std::string& prefix) {
    int count = 0;
    for (const auto& line : TraceLines()) {
        count += Matches(line, prefix) ? 1 : 0;
    }
    return count;
}

std::string GuiSession::Run(const std::string& command) {
    return "DISPLAY=" + display_.Name() + " " + command + " >>" + ShellQuote(folder_ + "/x.log") +
           " 2>&1";
}

bool GuiSession::Xdotool(const std::string& args) {
    return std::system(Run("xdotool " + args).c_str()) == 0;
}

bool GuiSession::SendKeys(const std::string& windowId, const std::string& keys) {
    return Xdotool("windowfocus --sync " + windowId + " key --clearmodifiers " + keys);
}

bool GuiSession::RequestClose(const std::string& windowId) {
    return std::system(Run(std::string(NORVANE_WM_CLOSE_PATH) + " " + windowId).c_str()) == 0;
}

std::optional<WindowRect> GuiSession::Geometry(const std::string& windowId) {
    const std::string path = folder_ + "/geometry.txt";
    const std::string command = "DISPLAY=" + display_.Name() +
                                " xdotool getwindowgeometry --shell " + windowId + " >" +
                                ShellQuote(path) + " 2>>" + ShellQuote(folder_ + "/x.log");
    if (std::system(command.c_str()) != 0) {
        return std::nullopt;
    }
    std::map<std::string, int> values;
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            values[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
        }
    }
    if (values.count("WIDTH") == 0 || values.count("HEIGHT") == 0) {
        return std::nullopt;
    }
    return WindowRect{values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
}

bool GuiSession::Screenshot(const std::string& windowId, const std::string& name) {
    const std::string path = std::string(NORVANE_ARTIFACT_DIR) + "/" + name + ".png";
    return std::system(Run("import -window " + windowId + " " + ShellQuote(path)).c_str()) == 0;
}

std::optional<int> GuiSession::WaitForExit(std::chrono::milliseconds timeout) {
    return program_.Wait(timeout);
}

std::string GuiSession::ProgramStderr() {
    return ReadFile(folder_ + "/norvane.err");
}

std::string Dump(GuiSession& s) {
    std::string text = "trace:\n";
    for (const auto& line : s.TraceLines()) {
        text += "  " + line + "\n";
    }
    return text + "stderr:\n" + s.ProgramStderr();
}

}  // namespace norvane::test
