// norvane-console: norvane for a terminal or a script. Finds the device, writes the embedded
// firmware image into it, prints what happens and exits with the outcome's status.
#include "app/SystemJob.h"
#include "app/console/Console.h"

int main(int argc, char** argv) {
    return norvane::RunConsole(std::vector<std::string>(argv + 1, argv + argc),
                               norvane::SystemJobEnvironment());
}
