// The exports of the IME interface, as the Input Method Manager calls them.
#pragma once

#include <windows.h>
#include <imm.h>
#include <imedev.h>

#include "core/exported.h"

extern "C" {
QX_EXPORTED BOOL WINAPI ImeInquire(LPIMEINFO lpIMEInfo, LPSTR lpszUIClass, DWORD dwSystemInfoFlags);
QX_EXPORTED BOOL WINAPI ImeProcessKey(HIMC hIMC, UINT uKey, LPARAM lKeyData, CONST LPBYTE lpbKeyState);
QX_EXPORTED UINT WINAPI ImeToAsciiEx(UINT uVirtKey, UINT uScanCode, CONST LPBYTE lpbKeyState,
                                     LPTRANSMSGLIST lpTransBuf, UINT fuState, HIMC hIMC);
QX_EXPORTED BOOL WINAPI ImeConfigure(HKL hKL, HWND hWnd, DWORD dwMode, LPVOID lpData);
QX_EXPORTED DWORD WINAPI ImeConversionList(HIMC hIMC, LPCSTR lpSource, LPCANDIDATELIST lpDest, DWORD dwBufLen,
                                           UINT uFlag);
QX_EXPORTED BOOL WINAPI ImeDestroy(UINT uReserved);
QX_EXPORTED UINT WINAPI ImeEnumRegisterWord(REGISTERWORDENUMPROCA lpfnEnumProc, LPCSTR lpszReading,
                                            DWORD dwStyle, LPCSTR lpszString, LPVOID lpData);
QX_EXPORTED LRESULT WINAPI ImeEscape(HIMC hIMC, UINT uEscape, LPVOID lpData);
QX_EXPORTED UINT WINAPI ImeGetRegisterWordStyle(UINT nItem, LPSTYLEBUFA lpStyleBuf);
QX_EXPORTED BOOL WINAPI ImeRegisterWord(LPCSTR lpszReading, DWORD dwStyle, LPCSTR lpszString);
QX_EXPORTED BOOL WINAPI ImeSelect(HIMC hIMC, BOOL fSelect);
QX_EXPORTED BOOL WINAPI ImeSetActiveContext(HIMC hIMC, BOOL fFlag);
QX_EXPORTED BOOL WINAPI ImeSetCompositionString(HIMC hIMC, DWORD dwIndex, LPCVOID lpComp, DWORD dwCompLen,
                                                LPCVOID lpRead, DWORD dwReadLen);
QX_EXPORTED BOOL WINAPI ImeUnregisterWord(LPCSTR lpszReading, DWORD dwStyle, LPCSTR lpszString);
QX_EXPORTED BOOL WINAPI NotifyIME(HIMC hIMC, DWORD dwAction, DWORD dwIndex, DWORD dwValue);
BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved);
}
