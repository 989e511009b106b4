// qxsetup's entry: a windowless program; on Windows a GUI-subsystem one, so that running
// it opens no console.
#include "setup.h"

#include <string>

#ifdef _WIN32
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    return setupMain(commandLine);
}
#else
int main(int argc, char** argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return setupMain(line.c_str());
}
#endif
