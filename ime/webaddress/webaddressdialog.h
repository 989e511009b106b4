// The web-address management dialog "ZWWZ": both lists, one list-box line a record; add,
// delete, find, modify, star and merge; the lists are written when it closes.
#pragma once

#include <windows.h>

#include <cstddef>

// Leaves the web-address mode (its rows point into the lists the dialog edits), then runs
// the dialog modally, owned by owner.
INT_PTR OpenWebAddressDialog(HWND owner);
INT_PTR CALLBACK WebAddressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The list-box line of a record: the code padded with spaces to 14 bytes, the name to 24,
// then the address with its star. False when record is not a record.
bool webListLine(const char* record, char* line, size_t size);
