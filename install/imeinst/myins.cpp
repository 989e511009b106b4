// imeinst: myins installs an IME file through the Input Method Manager.
#include <windows.h>
#include <imm.h>

#include <cstdio>
#include <cstring>

namespace {

const char layoutText[] = "Tessel";

enum { fileNameSize = 256 };

}  // namespace

extern "C" int WINAPI myins(DWORD, DWORD, LPCSTR fileName) {
    // A name that does not fit is refused rather than cut: a shortened name would install
    // some other file.
    char file[fileNameSize];
    size_t length = 0;
    while (fileName && length < fileNameSize && fileName[length]) ++length;
    if (!fileName || length == fileNameSize) {
        fputs("Installation failed.\n", stdout);
        fflush(stdout);
        return -1;
    }
    memcpy(file, fileName, length + 1);

    HKL layout = ImmInstallIMEA(file, layoutText);
    if (layout == NULL) {
        fputs("Installation failed.\n", stdout);
        fflush(stdout);
        return -1;
    }
    printf("Successfully installed %s(%s).", layoutText, file);
    fflush(stdout);
    return 0;
}
