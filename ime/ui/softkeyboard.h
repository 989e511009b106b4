// Soft keyboards: thirteen layouts of symbols on the 48 character keys, the translation of
// a key while one is on, its menu and its window.
#pragma once

#include <windows.h>
#include <imedev.h>

#include <cstddef>

constexpr int SOFT_LAYOUT_COUNT = 13;
constexpr int SOFT_KEY_COUNT = 48;

// [shifted][layout][key index]: a GBK symbol, lead byte first; "  " for none.
extern const unsigned char SOFT_SYMBOLS[2][SOFT_LAYOUT_COUNT][SOFT_KEY_COUNT][2];

// The key index of a virtual key: Space 0, digits 1-10, letters 11-36, ; = , - . / 37-42,
// ` 43, [ \ ] ' 44-47, any other key 0.
int SoftKeyIndex(UINT vk);

// Translates a key while a soft keyboard is on. Returns 0 (nothing written) when the
// character code is not 32-126; otherwise 1, having written the symbol of the current
// layout as WM_IME_CHAR, WM_IME_STARTCOMPOSITION and WM_IME_ENDCOMPOSITION after the
// *count messages already in list, or, for a key without a symbol (or a list without room
// for three), beeped and written nothing. keyState is the keyboard state (VK_SHIFT's 0x80
// bit chooses the shifted symbols); null counts as no key down.
int TranslateSoftKey(UINT character, UINT vk, const BYTE* keyState, LPTRANSMSGLIST list, UINT* count);

// Whether the key filter takes vk for the soft keyboard: the character keys and the
// numeric keypad, without Ctrl or Alt.
bool SoftKeyboardKey(UINT vk, bool ctrlOrAlt);

// Turns the soft keyboard on with a layout (0-12), or off: `softKeyboard`, the conversion
// mode's IME_CMODE_SOFTKBD and the window follow. Needs the application's input context;
// without one nothing changes.
void TurnSoftKeyboardOn(int layout);
void TurnSoftKeyboardOff();

// The layouts' menu (resource 200) for the status bar, with an item that turns the soft
// keyboard off; the choice is acted on here, never sent as a command (1280 is also the
// status menu's first item).
void OpenSoftKeyboardMenu(HWND owner, int x, int y);

// The soft-keyboard window (class ZOZ_SOFTKBDCLS): the current layout's symbols on a
// keyboard picture; a click on a key types its symbol.
void ShowSoftKeyboardWindow(bool show);
void DestroySoftKeyboardWindow();
void PaintSoftKeyboard(HDC dc, const RECT& client);
// The key under a point of the window's client area, or -1.
int SoftKeyAt(int x, int y);
LRESULT CALLBACK SoftKeyboardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

inline constexpr char SOFT_KEYBOARD_CLASS[] = "ZOZ_SOFTKBDCLS";
