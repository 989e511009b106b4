// Dialogs: only their end so far. The module ends an open dialog when it is unloaded;
// without a modal loop in the stand-in yet, ending a dialog is destroying its window.
#include <windows.h>

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    (void)result;
    if (dialog == nullptr || !IsWindow(dialog)) return FALSE;
    return DestroyWindow(dialog);
}
