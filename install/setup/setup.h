// qxsetup: registers the input method as a keyboard layout of this machine and user
// (or removes it), and loads or unloads the layout at once.
#pragma once

#include <windows.h>

#include <string>

// Decimal number of the preload entry holding `identifier` (TRUE) or, when no entry holds
// it, the first free number (FALSE). `windowsNt` chooses the list's registry shape: values
// of one key on Windows NT, one subkey per entry on Windows 95/98.
BOOL findPreloadEntry(LPCSTR identifier, BOOL windowsNt, LPSTR number, DWORD numberSize);

// What qxsetup prints after installing (GBK): the folder where the typist's phrase files
// and address lists are kept, as the module decides it (the system directory while it can
// be written, else the user's own %APPDATA%\qx). No window shows it: a console that runs
// the program, or a file its output goes to, does.
std::string userFilesNotice();

// Whole program: installs, or uninstalls when the command line is the switch.
// Always returns 0: registry failures are not reported.
int setupMain(LPCSTR commandLine);
