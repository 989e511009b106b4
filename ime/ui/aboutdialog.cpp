// The about box "ABOUTBOX": the product's picture, its makers and their site. OK, Esc
// and the close box end it alike.
#include "core/engine.h"
#include "core/moduledialogs.h"
#include "ui/uiwindows.h"

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: windows.aboutDialog = dialog; return TRUE;
    case WM_DESTROY:
        if (windows.aboutDialog == dialog) windows.aboutDialog = nullptr;
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
        EndDialog(dialog, 1);
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != SC_CLOSE) return FALSE;
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

INT_PTR OpenAboutBox(HWND owner) {
    if (DialogAlreadyOpen(windows.aboutDialog)) return 0;
    return DialogBoxParamA(moduleInstance, "ABOUTBOX", owner, AboutDialogProc, 0);
}
