// mbtool: compiles code-table sources into the binary table formats, wraps tables into
// resource-only libraries, and inspects those libraries.
#include "commands.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc >= 2) {
        const char* command = argv[1];
        if (!std::strcmp(command, "build")) return commandBuild(argc - 2, argv + 2);
        if (!std::strcmp(command, "pe")) return commandPe(argc - 2, argv + 2);
        if (!std::strcmp(command, "dump")) return commandDump(argc - 2, argv + 2);
        if (!std::strcmp(command, "verify")) return commandVerify(argc - 2, argv + 2);
        if (!std::strcmp(command, "lookup")) return commandLookup(argc - 2, argv + 2);
    }
    std::fprintf(stderr,
                 "usage: mbtool build --format packed|fixed|pymb|pycz [--skip-unencodable] IN.txt OUT.bin\n"
                 "       mbtool pe --machine x64|x86 OUT.dll NAME=FILE... [--mark NAME]\n"
                 "       mbtool dump LIBRARY NAME\n"
                 "       mbtool lookup LIBRARY NAME CODE\n"
                 "       mbtool verify LIBRARY\n");
    return 2;
}
