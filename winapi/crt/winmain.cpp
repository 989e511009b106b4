// The C runtime's start of a Windows program: main hands WinMain the command line after
// the program's name, as Windows does, for programs written with a WinMain.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return WinMain(GetModuleHandleA(nullptr), nullptr, line.data(), SW_SHOWDEFAULT);
}
