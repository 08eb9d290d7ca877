// make-strings [--windows-1252] <source.txt> <output.bin>: builds the "STRINGS" resource from
// its source text (UTF-8); with --windows-1252, the Windows program's, in that code page.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/generators/StringTableSource.h"
#include "tools/generators/Windows1252.h"

int main(int argc, char** argv) {
    const bool windows = argc == 4 && std::strcmp(argv[1], "--windows-1252") == 0;
    if (windows) {
        ++argv;
        --argc;
    }
    if (argc != 3) {
        std::cerr << "usage: make-strings [--windows-1252] <source.txt> <output.bin>\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "make-strings: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();

    std::string error;
    auto source = norvane::gen::ParseStringTableSource(text.str(), &error);
    if (!source || (windows && !norvane::gen::RecodeToWindows1252(*source, &error))) {
        std::cerr << argv[1] << ": " << error << "\n";
        return 1;
    }
    const std::vector<uint8_t> bytes = norvane::gen::BuildStringTable(*source);

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "make-strings: cannot write " << argv[2] << "\n";
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
