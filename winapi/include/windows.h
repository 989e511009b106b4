// winapi: the Linux stand-in for <windows.h>. Only what this system uses is declared;
// names, values and layouts are Windows' own, so the same sources compile against the
// real SDK. Each area lives in its own header under winapi/.
#pragma once

#include "winapi/base.h"      // types, handles, macros, error codes
#include "winapi/registry.h"  // Reg* over the persisted tree under QX_HOME
#include "winapi/library.h"   // LoadLibraryA and resources of PE files
#include "winapi/system.h"    // system directory, beeps, key state, strings

#if __has_include("winapi/user.h")
#include "winapi/user.h"      // windows, messages, timers, menus, message boxes
#endif
#include "winapi/dialogs.h"   // dialog manager, templates, standard controls
#include "winapi/files.h"     // moving, copying and deleting files
#include "winapi/filemapping.h"  // reading files through read-only mappings
#if __has_include("winapi/gdi.h")
#include "winapi/gdi.h"       // device contexts, pens, brushes, bitmaps, fonts, text
#endif
#if __has_include("winapi/layouts.h")
#include "winapi/layouts.h"   // GetVersionExA, keyboard layouts, ImmInstallIMEA
#endif

#include "imm.h"              // as Windows' own windows.h does
