// The keyword-query dialog "ZX": a keyword, and OK enters the web-address mode.
#pragma once

#include <windows.h>

// Runs the dialog modally, owned by owner; its handle is in windows.keywordDialog while it
// exists. True after OK: what the windows show changed (the caller relayouts the
// composition window and repaints the status bar).
bool OpenKeywordDialog(HWND owner);
INT_PTR CALLBACK KeywordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
