// norvane-console carrying an OS image instead of the build's own: the program runs one image
// per build, and the guest tests need an OS job beside the TV one without a second build of
// everything. Only where the image comes from differs; the rest is the program's own wiring.
#include "app/SystemJob.h"
#include "app/console/Console.h"
#include "tests/support/TestImages.h"

int main(int argc, char** argv) {
    using namespace norvane;
    // A lower region of 32 blocks (twice the driver's 4 KiB queue) and an upper one of 4: the
    // speed switch and both erases, in a few seconds at 115200 baud.
    static const std::vector<uint8_t> image = test::OsTestImage(0x400, 0x1FFF, "OS 3.10", 7);
    JobEnvironment environment = SystemJobEnvironment();
    environment.loadImage = [] { return ImageSpan(image); };
    return RunConsole(std::vector<std::string>(argv + 1, argv + argc), std::move(environment));
}
