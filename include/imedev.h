// IME-developer records and functions: the input context as the manager hands it to an
// IME, its composition-string and other blocks, the message list ImeToAsciiEx fills and
// IMEINFO. MinGW-w64's <imm.h> lacks these though libimm32 exports the functions; the
// host's stand-in lacks them too, so both builds take them from here. Layouts are the
// documented ones; the sizes are checked below for x86 and x64.
#pragma once

#include <windows.h>
#include <imm.h>

#include <cstddef>

#ifndef IME_PROP_END_UNLOAD
#define IME_PROP_END_UNLOAD 0x00000001
#endif
#ifndef IME_PROP_KBD_CHAR_FIRST
#define IME_PROP_KBD_CHAR_FIRST 0x00000002
#endif
#ifndef IME_PROP_IGNORE_UPKEYS
#define IME_PROP_IGNORE_UPKEYS 0x00000004
#endif
#ifndef IME_PROP_NEED_ALTKEY
#define IME_PROP_NEED_ALTKEY 0x00000008
#endif
#ifndef IME_PROP_NO_KEYS_ON_CLOSE
#define IME_PROP_NO_KEYS_ON_CLOSE 0x00000010
#endif
#ifndef UI_CAP_SOFTKBD
#define UI_CAP_SOFTKBD 0x00010000
#endif
#ifndef IMMGWL_IMC
#define IMMGWL_IMC 0
#endif
#ifndef IMMGWL_PRIVATE
#define IMMGWL_PRIVATE (sizeof(LONG))
#endif
#ifndef IMMGWLP_IMC
#define IMMGWLP_IMC 0
#endif
#ifndef IMMGWLP_PRIVATE
#define IMMGWLP_PRIVATE (sizeof(LONG_PTR))
#endif
#ifndef INIT_STATUSWNDPOS
#define INIT_STATUSWNDPOS 0x00000001
#endif
#ifndef INIT_CONVERSION
#define INIT_CONVERSION 0x00000002
#endif
#ifndef INIT_SENTENCE
#define INIT_SENTENCE 0x00000004
#endif
#ifndef INIT_LOGFONT
#define INIT_LOGFONT 0x00000008
#endif
#ifndef INIT_COMPFORM
#define INIT_COMPFORM 0x00000010
#endif
#ifndef INIT_SOFTKBDPOS
#define INIT_SOFTKBDPOS 0x00000020
#endif
#ifndef IME_SYSINFO_WINLOGON
#define IME_SYSINFO_WINLOGON 0x0001
#endif
#ifndef IME_SYSINFO_WOW16
#define IME_SYSINFO_WOW16 0x0002
#endif

typedef struct tagCOMPOSITIONSTRING {
    DWORD dwSize;
    DWORD dwCompReadAttrLen;
    DWORD dwCompReadAttrOffset;
    DWORD dwCompReadClauseLen;
    DWORD dwCompReadClauseOffset;
    DWORD dwCompReadStrLen;
    DWORD dwCompReadStrOffset;
    DWORD dwCompAttrLen;
    DWORD dwCompAttrOffset;
    DWORD dwCompClauseLen;
    DWORD dwCompClauseOffset;
    DWORD dwCompStrLen;
    DWORD dwCompStrOffset;
    DWORD dwCursorPos;
    DWORD dwDeltaStart;
    DWORD dwResultReadClauseLen;
    DWORD dwResultReadClauseOffset;
    DWORD dwResultReadStrLen;
    DWORD dwResultReadStrOffset;
    DWORD dwResultClauseLen;
    DWORD dwResultClauseOffset;
    DWORD dwResultStrLen;
    DWORD dwResultStrOffset;
    DWORD dwPrivateSize;
    DWORD dwPrivateOffset;
} COMPOSITIONSTRING, *PCOMPOSITIONSTRING, *LPCOMPOSITIONSTRING;

typedef struct tagCANDIDATEINFO {
    DWORD dwSize;
    DWORD dwCount;
    DWORD dwOffset[32];
    DWORD dwPrivateSize;
    DWORD dwPrivateOffset;
} CANDIDATEINFO, *PCANDIDATEINFO, *LPCANDIDATEINFO;

typedef struct tagGUIDELINE {
    DWORD dwSize;
    DWORD dwLevel;
    DWORD dwIndex;
    DWORD dwStrLen;
    DWORD dwStrOffset;
    DWORD dwPrivateSize;
    DWORD dwPrivateOffset;
} GUIDELINE, *PGUIDELINE, *LPGUIDELINE;

typedef struct tagINPUTCONTEXT {
    HWND hWnd;
    BOOL fOpen;
    POINT ptStatusWndPos;
    POINT ptSoftKbdPos;
    DWORD fdwConversion;
    DWORD fdwSentence;
    union {
        LOGFONTA A;
        LOGFONTW W;
    } lfFont;
    COMPOSITIONFORM cfCompForm;
    CANDIDATEFORM cfCandForm[4];
    HIMCC hCompStr;
    HIMCC hCandInfo;
    HIMCC hGuideLine;
    HIMCC hPrivate;
    DWORD dwNumMsgBuf;
    HIMCC hMsgBuf;
    DWORD fdwInit;
    DWORD dwReserve[3];
} INPUTCONTEXT, *PINPUTCONTEXT, *LPINPUTCONTEXT;

typedef struct tagTRANSMSG {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
} TRANSMSG, *PTRANSMSG, *LPTRANSMSG;

typedef struct tagTRANSMSGLIST {
    UINT uMsgCount;
    TRANSMSG TransMsg[1];
} TRANSMSGLIST, *PTRANSMSGLIST, *LPTRANSMSGLIST;

typedef struct tagIMEINFO {
    DWORD dwPrivateDataSize;
    DWORD fdwProperty;
    DWORD fdwConversionCaps;
    DWORD fdwSentenceCaps;
    DWORD fdwUICaps;
    DWORD fdwSCSCaps;
    DWORD fdwSelectCaps;
} IMEINFO, *PIMEINFO, *LPIMEINFO;

static_assert(sizeof(COMPOSITIONSTRING) == 100, "COMPOSITIONSTRING layout");
static_assert(sizeof(CANDIDATEINFO) == 144, "CANDIDATEINFO layout");
static_assert(sizeof(IMEINFO) == 28, "IMEINFO layout");
static_assert(sizeof(INPUTCONTEXT) == (sizeof(void*) == 8 ? 352 : 320), "INPUTCONTEXT layout");
static_assert(offsetof(INPUTCONTEXT, hCompStr) == (sizeof(void*) == 8 ? 288 : 280),
              "INPUTCONTEXT layout");
static_assert(sizeof(TRANSMSG) == (sizeof(void*) == 8 ? 24 : 12), "TRANSMSG layout");
static_assert(offsetof(TRANSMSGLIST, TransMsg) == sizeof(void*), "TRANSMSGLIST layout");

extern "C" {
LPINPUTCONTEXT WINAPI ImmLockIMC(HIMC hIMC);
BOOL WINAPI ImmUnlockIMC(HIMC hIMC);
DWORD WINAPI ImmGetIMCLockCount(HIMC hIMC);
HIMCC WINAPI ImmCreateIMCC(DWORD dwSize);
HIMCC WINAPI ImmDestroyIMCC(HIMCC hIMCC);
LPVOID WINAPI ImmLockIMCC(HIMCC hIMCC);
BOOL WINAPI ImmUnlockIMCC(HIMCC hIMCC);
DWORD WINAPI ImmGetIMCCLockCount(HIMCC hIMCC);
HIMCC WINAPI ImmReSizeIMCC(HIMCC hIMCC, DWORD dwSize);
DWORD WINAPI ImmGetIMCCSize(HIMCC hIMCC);
BOOL WINAPI ImmGenerateMessage(HIMC hIMC);
}
