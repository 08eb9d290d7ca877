#include "tests/app/GuiSession.h"

#include <fcntl.h>
#include <sys/stat.h>
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

namespace norvane::test {
namespace {

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

ChildProcess StartChild(const std::vector<std::string>& argv,
                        const std::map<std::string, std::string>& env,
                        const std::string& stdoutPath, const std::string& stderrPath) {
    ChildOptions options;
    // The test's environment less anything that could reach a real port or another display.
    options.environment = EnvironmentWith(env, {"DISPLAY=", "WAYLAND_DISPLAY=", "NORVANE_"});
    options.input = ChildStream::ToFile("/dev/null");
    options.output = ChildStream::ToFile(stdoutPath);
    options.errors = ChildStream::ToFile(stderrPath);
    options.ownProcessGroup = true;
    return ChildProcess(argv, options);
}

XDisplay::XDisplay() {
    // Xvfb writes its display's number to our pipe on its output once it takes connections.
    ChildOptions options;
    options.input = ChildStream::ToFile("/dev/null");
    options.output = ChildStream::ToPipe();
    options.errors = ChildStream::ToFile("/dev/null");
    server_ = ChildProcess(
        {"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
        options);
    const std::string number = server_.ReadLine(20s);
    if (number.empty()) {
        throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
    }
    // Not `":" + number`: at -O3 GCC 12 takes the copy inside that operator for an
    // overlapping one (-Wrestrict, a false positive of that compiler), failing Release.
    name_ = std::string(":").append(number);
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
    for (ChildProcess& device : devices_) {
        device.Stop();
    }
}

std::string GuiSession::StartDevice(const std::vector<std::string>& args) {
    const std::string index = std::to_string(devices_.size());
    const std::string out = folder_ + "/devsim" + index + ".out";
    // The device greets once, 50 ms after the program has opened the line: a greeting never
    // meets the program's "START" (a periodic one could, and the job would end with an
    // invalid reply). Options in `args` come later and win.
    std::vector<std::string> argv{NORVANE_DEVSIM_PATH, "--greet-on-open", "--first-greeting-ms",
                                  "50"};
    argv.insert(argv.end(), args.begin(), args.end());
    devices_.push_back(StartChild(argv, {}, out, folder_ + "/devsim" + index + ".err"));
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
    program_ = StartChild(argv, env, folder_ + "/norvane.out", folder_ + "/norvane.err");
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
