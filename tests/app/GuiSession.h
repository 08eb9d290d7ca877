// The pieces of a window test: a private Xvfb display, the device simulator on a
// pseudo-terminal, the program itself with every COM port pointed at a pty or at nothing,
// its trace of what the window shows (NORVANE_UI_TRACE), keys sent with xdotool and
// screenshots kept as test artefacts.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace norvane::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The program, a device or Xvfb, with its output and errors in files and its input empty.
ChildProcess StartChild(const std::vector<std::string>& argv,
                        const std::map<std::string, std::string>& env,
                        const std::string& stdoutPath, const std::string& stderrPath);

class XDisplay {
public:
    XDisplay();  // starts Xvfb on a free display
    ~XDisplay() { Stop(); }
    const std::string& Name() const { return name_; }
    // Ends the X server, closing every client's connection.
    void Stop() { server_.Stop(); }

private:
    ChildProcess server_;
    std::string name_;
};

// A window's place on the screen, as the X server has it.
struct WindowRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool Overlaps(const WindowRect& other) const {
        return x < other.x + other.width && other.x < x + width && y < other.y + other.height &&
               other.y < y + height;
    }
};

class GuiSession {
public:
    // `name` names the test's working folder and its screenshots.
    explicit GuiSession(std::string name);
    ~GuiSession();

    // Starts norvane-devsim with `args`, greeting once when the program has opened the line;
    // returns the pty path it serves.
    std::string StartDevice(const std::vector<std::string>& args);
    // Starts the program; `com1` is the path for COM1 (empty: no port), COM2..8 are empty.
    void StartProgram(const std::string& com1);
    // The same, run as the unprivileged user nobody (in no group), as an ordinary user would
    // run it; needs root.
    void StartProgramAsNobody(const std::string& com1);

    // Waits for the first trace line starting with `prefix` + " " (or equal to `prefix`)
    // after line `from`; returns its index, or -1 on timeout.
    int WaitForLine(const std::string& prefix, std::chrono::milliseconds timeout, int from = 0);
    // The text after "<prefix> " of line `index`.
    std::string TextOf(int index);
    std::vector<std::string> TraceLines();
    int CountLines(const std::string& prefix);

    // Runs xdotool with the given arguments on this display; true on exit status 0.
    bool Xdotool(const std::string& args);
    // Focuses the window and sends it the keys (xdotool key syntax).
    bool SendKeys(const std::string& windowId, const std::string& keys);
    // Sends the window manager's close request to the window.
    bool RequestClose(const std::string& windowId);
    // The window's rectangle on the screen; none when xdotool cannot tell.
    std::optional<WindowRect> Geometry(const std::string& windowId);
    // Saves a screenshot of the window ("root" for the whole screen) as artifacts/<name>.png.
    bool Screenshot(const std::string& windowId, const std::string& name);

    // How the program ended (ChildProcess::Wait); none while it runs after `timeout`.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
    // The X server goes away under the program, as when an X session ends.
    void StopDisplay() { display_.Stop(); }
    pid_t ProgramPid() const { return program_.Pid(); }
    std::string ProgramStderr();
    const std::string& Folder() const { return folder_; }

private:
    std::string Run(const std::string& command);
    void Start(std::vector<std::string> argv, const std::string& com1,
               std::map<std::string, std::string> env);

    std::string name_;
    std::string folder_;
    std::string tracePath_;
    XDisplay display_;
    std::vector<ChildProcess> devices_;
    ChildProcess program_;
};

std::string ReadFile(const std::string& path);
// The session's trace and the program's stderr, for a failed check's message.
std::string Dump(GuiSession& s);

}  // namespace norvane::test
