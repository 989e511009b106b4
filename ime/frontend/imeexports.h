// The exports of the IME interface, as the Input Method Manager calls them.
#pragma once

#include <windows.h>
#include <imm.h>
#include <imedev.h>

extern "C" {
BOOL WINAPI ImeInquire(LPIMEINFO lpIMEInfo, LPSTR lpszUIClass, DWORD dwSystemInfoFlags);
BOOL WINAPI ImeProcessKey(HIMC hIMC, UINT uKey, LPARAM lKeyData, CONST LPBYTE lpbKeyState);
UINT WINAPI ImeToAsciiEx(UINT uVirtKey, UINT uScanCode, CONST LPBYTE lpbKeyState, LPTRANSMSGLIST lpTransBuf,
                         UINT fuState, HIMC hIMC);
BOOL WINAPI ImeConfigure(HKL hKL, HWND hWnd, DWORD dwMode, LPVOID lpData);
DWORD WINAPI ImeConversionList(HIMC hIMC, LPCSTR lpSource, LPCANDIDATELIST lpDest, DWORD dwBufLen, UINT uFlag);
BOOL WINAPI ImeDestroy(UINT uReserved);
UINT WINAPI ImeEnumRegisterWord(REGISTERWORDENUMPROCA lpfnEnumProc, LPCSTR lpszReading, DWORD dwStyle,
                                LPCSTR lpszString, LPVOID lpData);
LRESULT WINAPI ImeEscape(HIMC hIMC, UINT uEscape, LPVOID lpData);
UINT WINAPI ImeGetRegisterWordStyle(UINT nItem, LPSTYLEBUFA lpStyleBuf);
BOOL WINAPI ImeRegisterWord(LPCSTR lpszReading, DWORD dwStyle, LPCSTR lpszString);
BOOL WINAPI ImeSelect(HIMC hIMC, BOOL fSelect);
BOOL WINAPI ImeSetActiveContext(HIMC hIMC, BOOL fFlag);
BOOL WINAPI ImeSetCompositionString(HIMC hIMC, DWORD dwIndex, LPCVOID lpComp, DWORD dwCompLen, LPCVOID lpRead,
                                    DWORD dwReadLen);
BOOL WINAPI ImeUnregisterWord(LPCSTR lpszReading, DWORD dwStyle, LPCSTR lpszString);
BOOL WINAPI NotifyIME(HIMC hIMC, DWORD dwAction, DWORD dwIndex, DWORD dwValue);
BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved);
}
