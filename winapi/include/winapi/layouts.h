// winapi: system version, keyboard layouts and IME installation.
//
// GetVersionExA answers Windows NT (5.0) unless the environment variable QX_WINVER says
// otherwise: "95" or "98" answer Windows 95/98 (VER_PLATFORM_WIN32_WINDOWS), "fail" makes
// the call fail. It is read at every call, so a program and its children can switch.
//
// Keyboard layouts are the keys under HKEY_LOCAL_MACHINE
// "SYSTEM\CurrentControlSet\Control\Keyboard Layouts"; the loaded ones form a list of the
// process, as each Windows session has its own.
#pragma once

#include "winapi/base.h"

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

#define KLF_ACTIVATE 0x00000001
#define KLF_SUBSTITUTE_OK 0x00000002
#define KLF_REORDER 0x00000008
#define KLF_REPLACELANG 0x00000010
#define KLF_NOTELLSHELL 0x00000080
#define KL_NAMELENGTH 9

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA versionInformation);

// The layout registered under `layoutId` (eight hex digits), added to the loaded list;
// NULL when no such layout is registered.
HKL WINAPI LoadKeyboardLayoutA(LPCSTR layoutId, UINT flags);
// Removes a loaded layout; FALSE when it was not loaded.
BOOL WINAPI UnloadKeyboardLayout(HKL layout);
// The loaded layouts (their number when count is 0).
int WINAPI GetKeyboardLayoutList(int count, HKL* layouts);

// Registers an IME module as a layout, as the Input Method Manager does: the layout
// already naming the same file, or the next free E0xx0804 identifier, with "Ime File"
// (the file's base name) and "Layout Text". A file that cannot be loaded or has no
// ImeInquire export is refused (NULL). The layout is loaded as well.
HKL WINAPI ImmInstallIMEA(LPCSTR imeFileName, LPCSTR layoutText);
