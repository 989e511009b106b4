// Kernel odds and ends the system uses: last error, system directory, beeps, key state,
// memory blocks and the l-string routines.
#pragma once

#include "winapi/base.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#define ZeroMemory(d, n) memset((d), 0, (n))
#define FillMemory(d, n, v) memset((d), (v), (n))
#define CopyMemory(d, s, n) memcpy((d), (s), (n))
#define MoveMemory(d, s, n) memmove((d), (s), (n))

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

extern "C" {
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);

// QX_HOME/system on the host; created when first asked for.
UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);
// The host's environment; APPDATA, which a Linux environment lacks, is QX_HOME/appdata,
// the user's own folder as Windows names it (made by whoever first writes there).
DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);

// Recorded for tests and host programs (winapi_host.h); no sound is made.
BOOL WINAPI Beep(DWORD dwFreq, DWORD dwDuration);
BOOL WINAPI MessageBeep(UINT uType);

// Key state: set by tests and host programs through winapi_host.h.
SHORT WINAPI GetKeyState(int nVirtKey);
SHORT WINAPI GetAsyncKeyState(int vKey);
BOOL WINAPI GetKeyboardState(PBYTE lpKeyState);
BOOL WINAPI SetKeyboardState(LPBYTE lpKeyState);

// number * numerator / denominator, rounded; -1 on a zero denominator or an overflow.
int WINAPI MulDiv(int number, int numerator, int denominator);

DWORD WINAPI GetTickCount(void);
// The time now as a file time (100 ns since 1601, UTC), the clock files' times are set by.
void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
void WINAPI Sleep(DWORD dwMilliseconds);
DWORD WINAPI GetCurrentProcessId(void);
DWORD WINAPI GetCurrentThreadId(void);

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags);
LPVOID WINAPI GlobalLock(HGLOBAL hMem);
BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
SIZE_T WINAPI GlobalSize(HGLOBAL hMem);
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
HLOCAL WINAPI LocalFree(HLOCAL hMem);

int WINAPI lstrlenA(LPCSTR lpString);
LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2);
LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2);
int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);
// Windows' formatter: %s %c %d %i %u %x %X %% with '-', '0', width, precision and the
// 'l'/'h' sizes (l is 32 bits, as on Windows); output limited to 1024 bytes.
int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...);
int WINAPI wvsprintfA(LPSTR buffer, LPCSTR format, va_list arglist);

void WINAPI OutputDebugStringA(LPCSTR lpOutputString);

// A program's own start, called with the command line after the program's name by the
// stand-in's main (target winapimain), as Windows' C runtime calls it.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);
}

#define lstrlen lstrlenA
#define lstrcpy lstrcpyA
#define lstrcpyn lstrcpynA
#define lstrcat lstrcatA
#define lstrcmp lstrcmpA
#define lstrcmpi lstrcmpiA
#define wsprintf wsprintfA
#define wvsprintf wvsprintfA

// fopen takes '\' as a path separator too, as Windows' C library does: programs linked
// with the stand-in have it bound to the stand-in's at link time (see winapi/CMakeLists.txt).
