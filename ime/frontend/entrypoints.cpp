// The IME interface: the module's description, the exports that answer with a fixed
// value (selection and notifications reach the UI window instead) and the entry point.
#include "core/engine.h"

#include <imm.h>
#include <commctrl.h>
#include "frontend/imeexports.h"
#include "frontend/uiwindow.h"
#include "ui/ui.h"

#include <cstring>

// UI_CLASS: the class of the UI window the manager creates for each thread.
extern "C" BOOL WINAPI ImeInquire(LPIMEINFO lpIMEInfo, LPSTR lpszUIClass, DWORD dwSystemInfoFlags) {
    (void)dwSystemInfoFlags;
    if (!lpIMEInfo) return FALSE;
    lpIMEInfo->dwPrivateDataSize = 100;
    lpIMEInfo->fdwProperty = IME_PROP_KBD_CHAR_FIRST | IME_PROP_IGNORE_UPKEYS | IME_PROP_NEED_ALTKEY;
    lpIMEInfo->fdwConversionCaps = IME_CMODE_NATIVE | IME_CMODE_FULLSHAPE | IME_CMODE_NOCONVERSION | IME_CMODE_SYMBOL;
    lpIMEInfo->fdwSentenceCaps = 0;
    lpIMEInfo->fdwUICaps = UI_CAP_ROT90;
    lpIMEInfo->fdwSCSCaps = 0;
    lpIMEInfo->fdwSelectCaps = 0;
    if (lpszUIClass) std::memcpy(lpszUIClass, UI_CLASS, sizeof UI_CLASS);
    return TRUE;
}

extern "C" BOOL WINAPI ImeConfigure(HKL, HWND, DWORD, LPVOID) { return TRUE; }

extern "C" DWORD WINAPI ImeConversionList(HIMC, LPCSTR, LPCANDIDATELIST, DWORD, UINT) { return 0; }

extern "C" BOOL WINAPI ImeDestroy(UINT) { return TRUE; }

extern "C" UINT WINAPI ImeEnumRegisterWord(REGISTERWORDENUMPROCA, LPCSTR, DWORD, LPCSTR, LPVOID) { return 0; }

extern "C" LRESULT WINAPI ImeEscape(HIMC, UINT, LPVOID) { return 0; }

extern "C" UINT WINAPI ImeGetRegisterWordStyle(UINT, LPSTYLEBUFA) { return 0; }

extern "C" BOOL WINAPI ImeRegisterWord(LPCSTR, DWORD, LPCSTR) { return FALSE; }

extern "C" BOOL WINAPI ImeSelect(HIMC, BOOL) { return TRUE; }

extern "C" BOOL WINAPI ImeSetActiveContext(HIMC, BOOL) { return TRUE; }

extern "C" BOOL WINAPI ImeSetCompositionString(HIMC, DWORD, LPCVOID, DWORD, LPCVOID, DWORD) { return FALSE; }

extern "C" BOOL WINAPI ImeUnregisterWord(LPCSTR, DWORD, LPCSTR) { return FALSE; }

extern "C" BOOL WINAPI NotifyIME(HIMC, DWORD, DWORD, DWORD) { return TRUE; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    moduleInstance = instance;
    if (reason == DLL_PROCESS_ATTACH) {
        InitCommonControls();
        RegisterUiClasses();
    } else if (reason == DLL_PROCESS_DETACH) {
        EndOpenDialogs();
    }
    return TRUE;
}
