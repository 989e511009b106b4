// The module's own dialogs, one instance of each: their handles live in `windows`.
#pragma once

#include <windows.h>

// True, with the dialog brought forward, when it is open already.
bool DialogAlreadyOpen(HWND dialog);
// The focus is in one of the module's own dialogs: keys typed there switch no mode.
bool ModuleDialogFocused();
