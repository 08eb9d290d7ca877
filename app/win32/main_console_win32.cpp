// norvane-console.exe: norvane for a console window or a script on Windows. Finds the device,
// writes the embedded firmware image into it, prints what happens and exits with the outcome's
// status. The version information is the executable's own version block.
#include "app/SystemJob.h"
#include "app/console/Console.h"
#include "app/win32/ProgrammerDlg_win32.h"

int main(int argc, char** argv) {
    return norvane::RunConsole(std::vector<std::string>(argv + 1, argv + argc),
                               norvane::SystemJobEnvironment(), norvane::VersionInfoOfProgram());
}
