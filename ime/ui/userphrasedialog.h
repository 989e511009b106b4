// The dialog "自造词组" (template "TJXC"): the user's phrases of the current mode listed
// whole, added under a code the dialog proposes, deleted, and backed up or restored.
#pragma once

#include <windows.h>

#include "core/engine.h"

#include <cstdint>

// What the open dialog keeps: the phrase file and the rules of the mode it opened in,
// the phrase box's last accepted text and the GBK lookup it switched off.
struct UserPhraseDialogState {
    char path[QX_PATH_SIZE] = {};
    int32_t pinyin = 0;              // opened in pinyin mode: no proposal, codes of initials
    int32_t savedGbkLookup = 0;      // restored when the dialog closes
    char previousPhrase[25] = {};    // the phrase box before the last change
};
extern UserPhraseDialogState userPhraseDialog;

// Opens the dialog modally, owned by owner, unless it is open already or web-address mode
// is on. Returns when it closes: 1, or 0 when it did not open.
INT_PTR OpenUserPhraseDialog(HWND owner);
INT_PTR CALLBACK UserPhraseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The code box has the keyboard focus: its letters are typed as they are, not converted.
bool UserPhraseCodeBoxFocused();

