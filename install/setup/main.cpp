// qxsetup's entry: a windowless program; on Windows a GUI-subsystem one, so that running
// it opens no console. On the host the stand-in supplies the main that calls WinMain.
#include "setup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) { return setupMain(commandLine); }
