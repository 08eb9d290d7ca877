// make-demo-firmware <output.bin>: writes the demo "TV" firmware image.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "tools/generators/DemoFirmware.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make-demo-firmware <output.bin>\n";
        return 2;
    }
    const std::vector<uint8_t> image = norvane::gen::BuildDemoFirmware();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::cerr << "make-demo-firmware: cannot write " << argv[1] << "\n";
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
