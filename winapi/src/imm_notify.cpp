// The Input Method Manager's side of a status change, as Windows does it: the IME is told
// first (NotifyIME with NI_CONTEXTUPDATED), then the context's UI window gets
// WM_IME_NOTIFY. Messages an IME generates are sent to the context's window.
#include "screen_state.h"

#include <imm.h>

#include <cstdio>

#include "internal.h"

namespace {

WinapiNotifyIme boundNotifyIme = nullptr;

// The IMC_ value that NotifyIME receives for each notification the UI window receives.
DWORD contextUpdateFor(DWORD imn) {
    switch (imn) {
    case IMN_SETCONVERSIONMODE: return IMC_SETCONVERSIONMODE;
    case IMN_SETSENTENCEMODE: return IMC_SETSENTENCEMODE;
    case IMN_SETOPENSTATUS: return IMC_SETOPENSTATUS;
    case IMN_SETCANDIDATEPOS: return IMC_SETCANDIDATEPOS;
    case IMN_SETCOMPOSITIONFONT: return IMC_SETCOMPOSITIONFONT;
    case IMN_SETCOMPOSITIONWINDOW: return IMC_SETCOMPOSITIONWINDOW;
    case IMN_SETSTATUSWINDOWPOS: return IMC_SETSTATUSWINDOWPOS;
    }
    return 0;
}

}  // namespace

void winapiImmBindIme(WinapiNotifyIme notifyIme) { boundNotifyIme = notifyIme; }

void winapiImmNotify(HIMC context, DWORD imnCode) {
    if (boundNotifyIme) {
        if (DWORD imc = contextUpdateFor(imnCode)) boundNotifyIme(context, NI_CONTEXTUPDATED, 0, imc);
    }
    HWND ui = winapiImmUiWindow(context);
    if (ui && IsWindow(ui)) SendMessageA(ui, WM_IME_NOTIFY, imnCode, 0);
}

void winapiImmSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    char text[96];
    std::snprintf(text, sizeof text, "%p %04x %lx %lx", static_cast<void*>(window), message,
                  static_cast<unsigned long>(wParam), static_cast<unsigned long>(lParam));
    winapiRecordEvent("ime-message", text);
    if (IsWindow(window)) SendMessageA(window, message, wParam, lParam);
}
